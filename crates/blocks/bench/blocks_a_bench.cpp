// Cost of the filter, harmonic equalizer and stereo blocks on a stereo frame: one `control`
// and one 32-sample `process` per iteration, reported per sample position (both channels).
// The blocks are made through the catalogue and called through `Block`, as the graph calls
// them.

#include "block_periods.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using loom::test::run_periods;

// Argument: the slope index; 0 is one section, 3 four.
void FilterLowPassSweeping(benchmark::State& state) {
    const float slope = static_cast<float>(state.range(0));
    run_periods(state, "filter", {0.0f, 300.0f, 0.7f, 0.0f, slope}, {0.0f, 6000.0f, 0.7f, 0.0f, slope});
}
BENCHMARK(FilterLowPassSweeping)->DenseRange(0, 3);

void FilterPeakSteady(benchmark::State& state) {
    run_periods(state, "filter", {4.0f, 2000.0f, 1.5f, 6.0f, 0.0f});
}
BENCHMARK(FilterPeakSteady);

void FilterHighShelfGliding(benchmark::State& state) {
    run_periods(state, "filter", {6.0f, 4000.0f, 0.7f, -6.0f, 0.0f}, {6.0f, 8000.0f, 2.0f, 9.0f, 0.0f});
}
BENCHMARK(FilterHighShelfGliding);

// The 17 arguments: every default but the given fundamental, harmonic count and gain.
std::vector<float> harmonic_args(float fundamental_hz, float harmonics, float gain_db) {
    std::vector<float> args;
    for (const loom::ArgInfo& arg : loom::find("harmonic_eq")->args) args.push_back(arg.default_value);
    args[0] = fundamental_hz;
    args[1] = harmonics;
    args[3] = gain_db;
    return args;
}

// Argument: the number of active bands.
void HarmonicEqSteady(benchmark::State& state) {
    run_periods(state, "harmonic_eq", harmonic_args(60.0f, static_cast<float>(state.range(0)), 6.0f));
}
BENCHMARK(HarmonicEqSteady)->Arg(1)->Arg(8)->Arg(32);

void HarmonicEqGliding(benchmark::State& state) {
    run_periods(state, "harmonic_eq", harmonic_args(60.0f, 32.0f, 6.0f), harmonic_args(90.0f, 32.0f, -6.0f));
}
BENCHMARK(HarmonicEqGliding);

// The defaults: no band is active.
void HarmonicEqIdle(benchmark::State& state) {
    run_periods(state, "harmonic_eq", harmonic_args(110.0f, 8.0f, 0.0f));
}
BENCHMARK(HarmonicEqIdle);

// Argument: the mode, 0 width to 4 swap.
void StereoSteady(benchmark::State& state) {
    run_periods(state, "stereo", {static_cast<float>(state.range(0)), 1.5f, -3.0f, 2.0f});
}
BENCHMARK(StereoSteady)->DenseRange(0, 4);

void StereoWidthGliding(benchmark::State& state) {
    run_periods(state, "stereo", {0.0f, 0.5f, -3.0f, 2.0f}, {0.0f, 1.8f, 1.0f, -4.0f});
}
BENCHMARK(StereoWidthGliding);

} // namespace
