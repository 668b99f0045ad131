// Cost of the delay, dynamics and tremolo blocks on a stereo frame: one `control` and one
// 32-sample `process` per iteration, reported per sample position (both channels). The
// blocks are made through the catalogue, configured with the first argument list and called
// through `Block`, as the graph calls them.

#include "block_periods.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using loom::test::run_periods;

// delay: time_ms, feedback, damp_hz, mode, mod_depth_ms, mod_rate_hz, max_ms.

void DelayEcho(benchmark::State& state) {
    run_periods(state, "delay", {250.0f, 0.35f, 8000.0f, 0.0f, 0.0f, 0.5f, 2000.0f});
}
BENCHMARK(DelayEcho);

void DelayChorusGliding(benchmark::State& state) {
    run_periods(state, "delay", {20.0f, 0.0f, 8000.0f, 0.0f, 3.0f, 0.8f, 2000.0f},
        {23.0f, 0.0f, 8000.0f, 0.0f, 3.0f, 0.8f, 2000.0f});
}
BENCHMARK(DelayChorusGliding);

void DelayPingPong(benchmark::State& state) {
    run_periods(state, "delay", {375.0f, 0.5f, 5000.0f, 1.0f, 0.0f, 0.5f, 2000.0f});
}
BENCHMARK(DelayPingPong);

// dynamics: mode, threshold_db, ratio, knee_db, attack_ms, release_ms, makeup_db,
// auto_makeup, detector, sidechain_hpf_hz, link, lookahead_ms, range_db.

void DynamicsCompressorPeak(benchmark::State& state) {
    run_periods(state, "dynamics", {0.0f, -18.0f, 4.0f, 6.0f, 10.0f, 120.0f, 0.0f, 0.0f, 0.0f, 10.0f, 1.0f, 0.0f, 80.0f});
}
BENCHMARK(DynamicsCompressorPeak);

void DynamicsRmsFilteredLookahead(benchmark::State& state) {
    run_periods(state, "dynamics", {0.0f, -24.0f, 3.0f, 6.0f, 5.0f, 80.0f, 0.0f, 1.0f, 1.0f, 100.0f, 0.5f, 5.0f, 80.0f},
        {0.0f, -20.0f, 3.0f, 6.0f, 5.0f, 80.0f, 0.0f, 1.0f, 1.0f, 150.0f, 0.5f, 5.0f, 80.0f});
}
BENCHMARK(DynamicsRmsFilteredLookahead);

void DynamicsGate(benchmark::State& state) {
    run_periods(state, "dynamics", {2.0f, -40.0f, 4.0f, 0.0f, 1.0f, 50.0f, 0.0f, 0.0f, 0.0f, 10.0f, 1.0f, 0.0f, 60.0f});
}
BENCHMARK(DynamicsGate);

// tremolo: rate_hz, depth, shape, stereo_phase. Argument: the shape index.
void TremoloGliding(benchmark::State& state) {
    const float shape = static_cast<float>(state.range(0));
    run_periods(state, "tremolo", {4.0f, 0.5f, shape, 180.0f}, {4.5f, 0.8f, shape, 180.0f});
}
BENCHMARK(TremoloGliding)->DenseRange(0, 1);

} // namespace
