#pragma once
// The summary `loom check` prints for a description that compiles: the modulators, the node
// tree with each node's path (as the messages name it), block names and bindings as
// written, the parameter names, and the latency of the prepared graph.

#include "loom/blocks/graph.hpp"
#include "loom/blocks/graph_spec.hpp"

#include <span>
#include <string>
#include <string_view>

namespace loom::tool {

// `graph` must be `description` compiled against `params` and prepared at `sample_rate`.
std::string summarise_graph(const GraphSpec& description, const Graph& graph, std::span<const std::string_view> params,
                            float sample_rate);

} // namespace loom::tool
