// Evaluation cost of typical argument expressions, as the run time pays it for every bound
// argument at every 32-sample control period.
#include "loom/blocks/expr.hpp"

#include <benchmark/benchmark.h>

#include <optional>
#include <string_view>

namespace {

std::optional<std::size_t> lookup(std::string_view name) {
    if (name == "drive") return 0;
    if (name == "mode") return 1;
    if (name == "tone") return 2;
    if (name == "lfo") return 3;
    return std::nullopt;
}

void eval_text(benchmark::State& state, std::string_view text) {
    auto parsed = loom::Expr::parse(text, lookup);
    if (!parsed) {
        state.SkipWithError(parsed.error().c_str());
        return;
    }
    const loom::Expr expr = std::move(*parsed);
    float values[] = {12.0f, 1.0f, 4000.0f, 0.25f};
    const loom::expr::Context context{values, 48000.0f, 120.0f};
    for (auto _ : state) {
        benchmark::DoNotOptimize(values);
        benchmark::DoNotOptimize(loom::eval(expr, context));
    }
}

void parse_text(benchmark::State& state, std::string_view text) {
    for (auto _ : state) benchmark::DoNotOptimize(loom::Expr::parse(text, lookup));
}

} // namespace

BENCHMARK_CAPTURE(eval_text, Parameter, "drive");
BENCHMARK_CAPTURE(eval_text, ScaledParameter, "drive * 0.5 + 3");
BENCHMARK_CAPTURE(eval_text, GainFromDecibels, "db2lin(drive) * mix(0.5, 1, mode)");
BENCHMARK_CAPTURE(eval_text, ModulatedFrequency, "clamp(tone * semitones(lfo * 12), 20, rate / 2)");
BENCHMARK_CAPTURE(eval_text, Conditional, "if(mode >= 0.5, tanh(drive / 24), drive / 24)");
BENCHMARK_CAPTURE(eval_text, TempoSync, "sync(0.25) * (1 + lfo)");
BENCHMARK_CAPTURE(parse_text, ModulatedFrequency, "clamp(tone * semitones(lfo * 12), 20, rate / 2)");
