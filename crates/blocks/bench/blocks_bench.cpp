// Cost of the gain, shaper and one-pole blocks on a stereo frame: one `control` and one
// 32-sample `process` per iteration, reported per sample position (both channels). The
// blocks are made through the catalogue and called through `Block`, as the graph calls them.

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

// Runs periods of `block`, alternating the two argument lists when `glide` is set so that
// every period glides; the frame is refreshed from `input` so the signal stays in range.
void run(benchmark::State& state, std::string_view name, const std::vector<float>& a,
         const std::vector<float>& b, bool glide) {
    const std::unique_ptr<loom::Block> made = loom::find(name)->make();
    loom::Block& block = *made;
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

void GainSteady(benchmark::State& state) {
    run(state, "gain", {-6.0f, 0.3f, 0.0f}, {}, false);
}
BENCHMARK(GainSteady);

void GainGliding(benchmark::State& state) {
    run(state, "gain", {-6.0f, 0.3f, 0.0f}, {3.0f, -0.4f, 1.0f}, true);
}
BENCHMARK(GainGliding);

// Argument: the curve index.
void ShaperGliding(benchmark::State& state) {
    const float curve = static_cast<float>(state.range(0));
    run(state, "shaper", {curve, 12.0f, 0.1f, -6.0f}, {curve, 18.0f, 0.1f, -9.0f}, true);
}
BENCHMARK(ShaperGliding)->DenseRange(0, 4);

void ShaperSteady(benchmark::State& state) {
    run(state, "shaper", {0.0f, 12.0f, 0.1f, -6.0f}, {}, false);
}
BENCHMARK(ShaperSteady);

void OnePoleSweeping(benchmark::State& state) {
    run(state, "onepole", {0.0f, 800.0f}, {0.0f, 6000.0f}, true);
}
BENCHMARK(OnePoleSweeping);

} // namespace
