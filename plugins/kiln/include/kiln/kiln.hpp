#pragma once
// Kiln, a saturator: drive into a soft (tanh) or hard clipper, a one-pole tone low-pass and a
// click-free bypass. The type is its parameter table, its built-in graph description and the
// glue that hands every contract operation to the compiled graph.

#include "kiln/dsp.hpp"

#include "loom/core/param.hpp"
#include "loom/core/plugin.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace kiln {

// The parameter table, in index order: drive, mode, tone, bypass.
extern const std::array<loom::ParamInfo, 4> PARAMS;

// The signal path: a bypass around gain (drive), shaper (mode) and a tone low-pass.
inline constexpr std::string_view GRAPH =
    R"({"bypass":"bypass","chain":[{"block":"gain","args":{"gain_db":"drive"}},)"
    R"({"block":"shaper","args":{"curve":"mode"}},)"
    R"({"block":"onepole","args":{"type":"lowpass","freq":"tone"}}]})";

class Kiln {
public:
    // [main-thread] Builds the parameter set (64 channels at most) and compiles the graph.
    Kiln();

    static loom::Layout layout();
    // [any-thread] A new reference to the parameter set.
    loom::ParamSet params() const { return parameters; }
    // [main-thread]
    void prepare(const loom::PrepareContext& context) { state.graph.prepare(context); }
    // [audio-thread]
    void process(loom::Buffers buffers, const loom::ProcessContext& context) noexcept {
        state.graph.process(parameters, buffers, context);
    }
    std::uint32_t latency_samples() const noexcept { return state.graph.latency_samples(); }
    std::uint32_t tail_samples() const noexcept { return state.graph.tail_for(parameters); }

private:
    loom::ParamSet parameters;
    dsp::State state;
};

static_assert(loom::Plugin<Kiln>);

} // namespace kiln
