#pragma once
// Offline processing through a graph description: the description compiled against the
// --set names as parameters, and a whole `Audio` run through the graph block by block.

#include "loom/core/result.hpp"
#include "loom/tool/audio.hpp"
#include "loom/tool/cli.hpp"
#include "loom/tool/progress.hpp"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loom::tool {

// A parameter of a description rendered from the command line.
struct GraphParam {
    std::string name;
    float value = 0.0f;
};

// The --set words as parameters: every VALUE must be a finite number.
Result<std::vector<GraphParam>> graph_params(std::span<const Setting> settings);

// Compiles `description` against the parameters, in the order given, each a Float parameter
// whose range takes any finite value, set to its value; prepares the graph for the input's
// rate and channel count and blocks of `block` frames and processes the whole input. The
// message is the reader's or compiler's, unchanged.
Result<Audio> render_graph(std::string_view description, std::span<const GraphParam> params, const Audio& input,
                           std::uint32_t block, Progress& progress);

} // namespace loom::tool
