#include "kiln/dsp.hpp"

#include "kiln/kiln.hpp"

#include "loom/core/fatal.hpp"

namespace kiln::dsp {

State State::make(std::span<const std::string_view> param_ids) {
    auto graph = loom::Graph::from_str(GRAPH, param_ids);
    if (!graph) loom::fatal("the graph was checked against the parameters when it was set: " + graph.error());
    return State{std::move(*graph)};
}

} // namespace kiln::dsp
