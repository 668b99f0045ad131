#pragma once
// Kiln's processing state: the compiled graph, nothing else.

#include "loom/blocks/graph.hpp"

#include <span>
#include <string_view>

namespace kiln::dsp {

struct State {
    // [main-thread] Compiles the built-in description against the parameter ids, in table
    // order. The text was checked when it was written: a failure is a fatal stop.
    static State make(std::span<const std::string_view> param_ids);

    loom::Graph graph;
};

} // namespace kiln::dsp
