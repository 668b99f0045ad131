#include "loom/tool/graph_summary.hpp"

#include "loom/core/text.hpp"
#include "loom/tool/format.hpp"

#include <memory>
#include <variant>
#include <vector>

namespace loom::tool {

namespace {

std::string arg_text(const ArgValue& value) {
    if (const auto* n = std::get_if<double>(&value)) return format_number(*n);
    return "\"" + std::get<std::string>(value) + "\"";
}

struct Walker {
    std::string out;
    std::size_t blocks = 0;

    // `compiled` is the node the compiler made of `description`, or null when the shapes part.
    void node(const NodeSpec& description, const Node* compiled, const std::string& path, std::size_t depth,
              std::vector<std::string> extra) {
        // A node with bypass, mix or only is wrapped in a mix node around what it is.
        if (compiled != nullptr) {
            if (const auto* mix = std::get_if<std::unique_ptr<MixNode>>(&compiled->kind))
                compiled = *mix ? &(*mix)->node : nullptr;
        }
        if (description.bypass) extra.push_back("bypass: " + arg_text(*description.bypass));
        if (description.mix) extra.push_back("mix: " + arg_text(*description.mix));
        if (description.only) {
            std::vector<std::string> channels;
            for (const std::uint64_t c : *description.only) channels.push_back(std::to_string(c));
            extra.push_back("only: [" + join(channels, ", ") + "]");
        }

        std::string line = std::string(2 * depth, ' ') + path + ": ";
        std::vector<std::string> details;
        if (const auto* block = std::get_if<NodeSpec::Block>(&description.kind)) {
            ++blocks;
            line += block->name;
            for (const auto& [key, value] : block->args) details.push_back(key + ": " + arg_text(value));
            for (const auto& [meter, param] : block->meters) details.push_back("meter " + meter + " -> " + param);
            const auto* b = compiled != nullptr ? std::get_if<BlockNode>(&compiled->kind) : nullptr;
            if (b != nullptr && b->block && b->block->latency() > 0)
                details.push_back("latency " + std::to_string(b->block->latency()));
        } else if (const auto* chain = std::get_if<NodeSpec::Chain>(&description.kind)) {
            line += chain->nodes.empty() ? "empty chain" : "chain of " + std::to_string(chain->nodes.size());
        } else {
            const auto& parallel = std::get<NodeSpec::Parallel>(description.kind);
            line += "parallel of " + std::to_string(parallel.branches.size());
        }
        details.insert(details.end(), extra.begin(), extra.end());
        if (!details.empty()) line += " (" + join(details, ", ") + ")";
        out += line + "\n";

        if (const auto* chain = std::get_if<NodeSpec::Chain>(&description.kind)) {
            const auto* c = compiled != nullptr ? std::get_if<Chain>(&compiled->kind) : nullptr;
            for (std::size_t i = 0; i < chain->nodes.size(); ++i) {
                const Node* child = c != nullptr && i < c->nodes.size() ? &c->nodes[i] : nullptr;
                node(chain->nodes[i], child, path + ".chain[" + std::to_string(i) + "]", depth + 1, {});
            }
        } else if (const auto* parallel = std::get_if<NodeSpec::Parallel>(&description.kind)) {
            const auto* p = compiled != nullptr ? std::get_if<Parallel>(&compiled->kind) : nullptr;
            for (std::size_t i = 0; i < parallel->branches.size(); ++i) {
                const BranchSpec& branch = parallel->branches[i];
                const Node* child = p != nullptr && i < p->branches.size() ? &p->branches[i].node : nullptr;
                std::vector<std::string> gain;
                if (branch.gain_db) gain.push_back("branch gain_db: " + arg_text(*branch.gain_db));
                node(branch.node, child, path + ".parallel[" + std::to_string(i) + "]", depth + 1, std::move(gain));
            }
        }
    }
};

} // namespace

std::string summarise_graph(const GraphSpec& description, const Graph& graph, std::span<const std::string_view> params,
                            float sample_rate) {
    Walker w;
    for (std::size_t i = 0; i < description.modulators.size(); ++i) {
        const ModSpec& m = description.modulators[i];
        w.out += "modulators[" + std::to_string(i) + "]: " + m.id + " (shape: " + m.shape +
                 ", rate: " + arg_text(m.rate) + ")\n";
    }
    w.node(description.node, &graph.root_node(), "graph", 0, {});
    w.out += "parameters: " + (params.empty() ? std::string("none") : join(params, ", ")) + "\n";
    w.out += std::to_string(w.blocks) + (w.blocks == 1 ? " block, " : " blocks, ") +
             std::to_string(description.modulators.size()) + (description.modulators.size() == 1 ? " modulator, " : " modulators, ") +
             "latency " + std::to_string(graph.latency_samples()) + " samples at " + text::shortest(sample_rate) +
             " Hz\n";
    return w.out;
}

} // namespace loom::tool
