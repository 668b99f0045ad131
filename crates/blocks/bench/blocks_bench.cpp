// Cost of the gain, shaper and one-pole blocks on a stereo frame: one `control` and one
// 32-sample `process` per iteration, reported per sample position (both channels). The
// blocks are made through the catalogue and called through `Block`, as the graph calls them.

#include "block_periods.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using loom::test::run_periods;

void GainSteady(benchmark::State& state) {
    run_periods(state, "gain", {-6.0f, 0.3f, 0.0f});
}
BENCHMARK(GainSteady);

void GainGliding(benchmark::State& state) {
    run_periods(state, "gain", {-6.0f, 0.3f, 0.0f}, {3.0f, -0.4f, 1.0f});
}
BENCHMARK(GainGliding);

// Argument: the curve index.
void ShaperGliding(benchmark::State& state) {
    const float curve = static_cast<float>(state.range(0));
    run_periods(state, "shaper", {curve, 12.0f, 0.1f, -6.0f}, {curve, 18.0f, 0.1f, -9.0f});
}
BENCHMARK(ShaperGliding)->DenseRange(0, 4);

void ShaperSteady(benchmark::State& state) {
    run_periods(state, "shaper", {0.0f, 12.0f, 0.1f, -6.0f});
}
BENCHMARK(ShaperSteady);

void OnePoleSweeping(benchmark::State& state) {
    run_periods(state, "onepole", {0.0f, 800.0f}, {0.0f, 6000.0f});
}
BENCHMARK(OnePoleSweeping);

} // namespace
