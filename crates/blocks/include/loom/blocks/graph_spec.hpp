#pragma once
// Graph descriptions: the checked shape of a description text (nodes in series and in
// parallel, bound arguments, meters, modulators). Names, values and expressions are left as
// written; the graph compiler checks them.

#include "loom/core/result.hpp"
#include "loom/core/value.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace loom {

// A bound argument as written: a number (a JSON boolean reads as 1 or 0) or a text (a
// parameter id, a choice name or an expression; the compiler decides which).
using ArgValue = std::variant<double, std::string>;

struct BranchSpec;

// One node of a description.
struct NodeSpec {
    // A processing block by name, with its arguments and meters in document order.
    struct Block {
        std::string name;
        std::vector<std::pair<std::string, ArgValue>> args;      // repeats kept
        std::vector<std::pair<std::string, std::string>> meters; // (meter name, parameter id)
    };
    // Nodes run one after the other; may be empty.
    struct Chain {
        std::vector<NodeSpec> nodes;
    };
    // Branches run side by side and summed; at least one.
    struct Parallel {
        std::vector<BranchSpec> branches;
    };

    std::optional<std::vector<std::uint64_t>> only; // channels worked on; absent means all
    std::variant<Block, Chain, Parallel> kind;
    std::optional<ArgValue> bypass; // 0.5 or more passes the input through
    std::optional<ArgValue> mix;    // share of the output against the input, 0 to 1
};

// One branch of a parallel node.
struct BranchSpec {
    NodeSpec node;
    std::optional<ArgValue> gain_db; // gain before summing
};

// One low-frequency modulator.
struct ModSpec {
    std::string id;              // the name expressions use
    std::string shape = "sine";  // wave shape name
    ArgValue rate = 1.0;         // cycles per second
};

// A whole description: the root node and the modulators in document order.
struct GraphSpec {
    NodeSpec node;
    std::vector<ModSpec> modulators;

    // [build] Reads a description text. A text that is not JSON gives "the graph is not valid
    // JSON: " and the JSON reader's message; otherwise as `from_json`.
    static Result<GraphSpec> from_str(std::string_view text);

    // [build] Reads a description from its JSON value, or gives the first fault as one message
    // that locates it by path ("graph.chain[2].parallel[0].node", "modulators[1]"). The
    // modulators are read before the nodes.
    static Result<GraphSpec> from_json(const Json& value);
};

// [build] Checks that `value` is an object whose keys are all in `allowed`: otherwise
// `path` " must be an object", or, for the first member in document order with another key,
// `path` " has an unknown key '" key "'. It can have: " and the allowed keys joined by ", ".
Result<void> only_keys(const Json& value, std::span<const std::string_view> allowed,
                       std::string_view path);

} // namespace loom
