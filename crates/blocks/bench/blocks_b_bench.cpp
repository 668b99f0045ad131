// Cost of the delay, dynamics and tremolo blocks on a stereo frame: one `control` and one
// 32-sample `process` per iteration, reported per sample position (both channels). The
// blocks are made through the catalogue, configured with the first argument list and called
// through `Block`, as the graph calls them.

#include "loom/blocks/catalogue.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

loom::Frame stereo_frame() {
    loom::Frame frame(2);
    frame.len = loom::FRAME_SIZE;
    for (std::size_t c = 0; c < 2; ++c)
        for (std::uint32_t j = 0; j < loom::FRAME_SIZE; ++j)
            frame.channels[c][j] = 0.8f * std::sin(0.3f * static_cast<float>(j) + static_cast<float>(c));
    return frame;
}

// Runs periods of `name`, alternating the two argument lists when `glide` is set so that
// every period glides; the frame is refreshed from `input` so the signal stays in range.
void run(benchmark::State& state, std::string_view name, const std::vector<float>& a, const std::vector<float>& b,
         bool glide) {
    const std::unique_ptr<loom::Block> made = loom::find(name)->make();
    loom::Block& block = *made;
    block.configure(a);
    block.prepare(48000.0f, 2);
    const loom::Frame input = stereo_frame();
    loom::Frame frame = input;
    bool flip = false;
    for (auto _ : state) {
        block.control(glide && flip ? b : a);
        flip = !flip;
        frame.channels = input.channels;
        block.process(frame, 0);
        benchmark::DoNotOptimize(frame.channels.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * loom::FRAME_SIZE,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// delay: time_ms, feedback, damp_hz, mode, mod_depth_ms, mod_rate_hz, max_ms.

void DelayEcho(benchmark::State& state) {
    run(state, "delay", {250.0f, 0.35f, 8000.0f, 0.0f, 0.0f, 0.5f, 2000.0f}, {}, false);
}
BENCHMARK(DelayEcho);

void DelayChorusGliding(benchmark::State& state) {
    run(state, "delay", {20.0f, 0.0f, 8000.0f, 0.0f, 3.0f, 0.8f, 2000.0f},
        {23.0f, 0.0f, 8000.0f, 0.0f, 3.0f, 0.8f, 2000.0f}, true);
}
BENCHMARK(DelayChorusGliding);

void DelayPingPong(benchmark::State& state) {
    run(state, "delay", {375.0f, 0.5f, 5000.0f, 1.0f, 0.0f, 0.5f, 2000.0f}, {}, false);
}
BENCHMARK(DelayPingPong);

// dynamics: mode, threshold_db, ratio, knee_db, attack_ms, release_ms, makeup_db,
// auto_makeup, detector, sidechain_hpf_hz, link, lookahead_ms, range_db.

void DynamicsCompressorPeak(benchmark::State& state) {
    run(state, "dynamics", {0.0f, -18.0f, 4.0f, 6.0f, 10.0f, 120.0f, 0.0f, 0.0f, 0.0f, 10.0f, 1.0f, 0.0f, 80.0f},
        {}, false);
}
BENCHMARK(DynamicsCompressorPeak);

void DynamicsRmsFilteredLookahead(benchmark::State& state) {
    run(state, "dynamics", {0.0f, -24.0f, 3.0f, 6.0f, 5.0f, 80.0f, 0.0f, 1.0f, 1.0f, 100.0f, 0.5f, 5.0f, 80.0f},
        {0.0f, -20.0f, 3.0f, 6.0f, 5.0f, 80.0f, 0.0f, 1.0f, 1.0f, 150.0f, 0.5f, 5.0f, 80.0f}, true);
}
BENCHMARK(DynamicsRmsFilteredLookahead);

void DynamicsGate(benchmark::State& state) {
    run(state, "dynamics", {2.0f, -40.0f, 4.0f, 0.0f, 1.0f, 50.0f, 0.0f, 0.0f, 0.0f, 10.0f, 1.0f, 0.0f, 60.0f}, {},
        false);
}
BENCHMARK(DynamicsGate);

// tremolo: rate_hz, depth, shape, stereo_phase. Argument: the shape index.
void TremoloGliding(benchmark::State& state) {
    const float shape = static_cast<float>(state.range(0));
    run(state, "tremolo", {4.0f, 0.5f, shape, 180.0f}, {4.5f, 0.8f, shape, 180.0f}, true);
}
BENCHMARK(TremoloGliding)->DenseRange(0, 1);

} // namespace
