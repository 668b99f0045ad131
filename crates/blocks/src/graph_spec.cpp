#include "loom/blocks/graph_spec.hpp"

#include <cmath>
#include <limits>

namespace loom {

namespace {

// The keys each kind of object may carry, in the order messages list them. A node may carry
// `modulators` and `id` anywhere; only the top-level `modulators` is read, `id` never.
constexpr std::string_view NODE_KEYS[] = {"block", "args",   "meters",     "chain", "parallel",
                                          "bypass", "mix", "only", "modulators", "id"};
constexpr std::string_view BRANCH_KEYS[] = {"node", "gain_db"};
constexpr std::string_view MODULATOR_KEYS[] = {"id", "shape", "rate"};

std::string indexed(std::string_view path, std::string_view field, std::size_t index) {
    std::string out(path);
    out += field;
    out += '[';
    out += std::to_string(index);
    out += ']';
    return out;
}

std::string joined(std::string_view a, std::string_view b) {
    std::string out(a);
    out += b;
    return out;
}

// An argument value named `what` in messages: a boolean is 1 or 0, a number itself, a
// string a text.
Result<ArgValue> read_arg(const Json& value, std::string_view what) {
    ArgValue arg;
    if (const bool* b = value.as_bool()) {
        arg = *b ? 1.0 : 0.0;
    } else if (const double* n = value.as_number()) {
        arg = *n;
    } else if (const std::string* s = value.as_string()) {
        arg = *s;
    } else {
        return fail(joined(what, " must be a number or a string"));
    }
    return arg;
}

// An optional argument value: nothing when `key` is absent from `object`.
Result<std::optional<ArgValue>> read_optional_arg(const Json& object, std::string_view key,
                                                  std::string_view what) {
    const Json* value = object.get(key);
    if (value == nullptr) return std::optional<ArgValue>{};
    Result<ArgValue> arg = read_arg(*value, what);
    if (!arg) return std::unexpected(std::move(arg).error());
    return std::optional<ArgValue>{std::move(*arg)};
}

// A channel number: a whole, finite number from 0; beyond 64 bits it is the largest one.
std::optional<std::uint64_t> channel_number(const Json& value) {
    const double* n = value.as_number();
    if (n == nullptr || !std::isfinite(*n) || *n < 0.0 || std::floor(*n) != *n) return std::nullopt;
    constexpr double TWO_TO_64 = 18446744073709551616.0;
    if (*n >= TWO_TO_64) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(*n);
}

Result<std::vector<std::uint64_t>> read_only(const Json& value, std::string_view path) {
    const Json::Array* elements = value.as_array();
    if (elements == nullptr) return fail(joined(path, " only must be a list of channel numbers"));
    std::vector<std::uint64_t> channels;
    channels.reserve(elements->size());
    for (const Json& element : *elements) {
        const std::optional<std::uint64_t> channel = channel_number(element);
        if (!channel) return fail(joined(path, " only must hold whole channel numbers from 0"));
        channels.push_back(*channel);
    }
    return channels;
}

Result<NodeSpec> read_node(const Json& value, const std::string& path);

Result<NodeSpec::Block> read_block(const Json& object, const Json& name, std::string_view path) {
    NodeSpec::Block block;
    const std::string* text = name.as_string();
    if (text == nullptr) return fail(joined(path, " block must be a name"));
    block.name = *text;
    if (const Json* args = object.get("args")) {
        const Json::Object* members = args->as_object();
        if (members == nullptr) return fail(joined(path, " args must be an object"));
        for (const auto& [key, arg_value] : *members) {
            Result<ArgValue> arg = read_arg(arg_value, std::string(path) + " argument '" + key + "'");
            if (!arg) return std::unexpected(std::move(arg).error());
            block.args.emplace_back(key, std::move(*arg));
        }
    }
    if (const Json* meters = object.get("meters")) {
        const Json::Object* members = meters->as_object();
        if (members == nullptr) return fail(joined(path, " meters must be an object"));
        for (const auto& [key, param] : *members) {
            const std::string* id = param.as_string();
            if (id == nullptr) return fail(std::string(path) + " meter '" + key + "' must name a parameter");
            block.meters.emplace_back(key, *id);
        }
    }
    return block;
}

Result<NodeSpec::Chain> read_chain(const Json& value, const std::string& path) {
    const Json::Array* elements = value.as_array();
    if (elements == nullptr) return fail(joined(path, " chain must be a list"));
    NodeSpec::Chain chain;
    chain.nodes.reserve(elements->size());
    for (std::size_t i = 0; i < elements->size(); ++i) {
        Result<NodeSpec> node = read_node((*elements)[i], indexed(path, ".chain", i));
        if (!node) return std::unexpected(std::move(node).error());
        chain.nodes.push_back(std::move(*node));
    }
    return chain;
}

Result<BranchSpec> read_branch(const Json& value, const std::string& path) {
    Result<void> keys = only_keys(value, BRANCH_KEYS, path);
    if (!keys) return std::unexpected(std::move(keys).error());
    const Json* node_value = value.get("node");
    if (node_value == nullptr) return fail(path + " needs a node");
    BranchSpec branch;
    Result<std::optional<ArgValue>> gain = read_optional_arg(value, "gain_db", path + " gain_db");
    if (!gain) return std::unexpected(std::move(gain).error());
    branch.gain_db = std::move(*gain);
    Result<NodeSpec> node = read_node(*node_value, path + ".node");
    if (!node) return std::unexpected(std::move(node).error());
    branch.node = std::move(*node);
    return branch;
}

Result<NodeSpec::Parallel> read_parallel(const Json& value, const std::string& path) {
    const Json::Array* elements = value.as_array();
    if (elements == nullptr) return fail(path + " parallel must be a list of branches");
    if (elements->empty()) return fail(path + " parallel needs at least one branch");
    NodeSpec::Parallel parallel;
    parallel.branches.reserve(elements->size());
    for (std::size_t i = 0; i < elements->size(); ++i) {
        Result<BranchSpec> branch = read_branch((*elements)[i], indexed(path, ".parallel", i));
        if (!branch) return std::unexpected(std::move(branch).error());
        parallel.branches.push_back(std::move(*branch));
    }
    return parallel;
}

// node := object of NODE_KEYS with exactly one of block, chain and parallel.
// Checks in order: keys, bypass, mix, only, the kind.
Result<NodeSpec> read_node(const Json& value, const std::string& path) {
    Result<void> keys = only_keys(value, NODE_KEYS, path);
    if (!keys) return std::unexpected(std::move(keys).error());
    NodeSpec node;
    Result<std::optional<ArgValue>> bypass = read_optional_arg(value, "bypass", path + " bypass");
    if (!bypass) return std::unexpected(std::move(bypass).error());
    node.bypass = std::move(*bypass);
    Result<std::optional<ArgValue>> mix = read_optional_arg(value, "mix", path + " mix");
    if (!mix) return std::unexpected(std::move(mix).error());
    node.mix = std::move(*mix);
    if (const Json* only = value.get("only")) {
        Result<std::vector<std::uint64_t>> channels = read_only(*only, path);
        if (!channels) return std::unexpected(std::move(channels).error());
        node.only = std::move(*channels);
    }

    const Json* block = value.get("block");
    const Json* chain = value.get("chain");
    const Json* parallel = value.get("parallel");
    const int kinds = (block != nullptr) + (chain != nullptr) + (parallel != nullptr);
    if (kinds != 1) return fail(path + " must have exactly one of block, chain or parallel");
    if (block != nullptr) {
        Result<NodeSpec::Block> b = read_block(value, *block, path);
        if (!b) return std::unexpected(std::move(b).error());
        node.kind = std::move(*b);
    } else if (chain != nullptr) {
        Result<NodeSpec::Chain> c = read_chain(*chain, path);
        if (!c) return std::unexpected(std::move(c).error());
        node.kind = std::move(*c);
    } else {
        Result<NodeSpec::Parallel> p = read_parallel(*parallel, path);
        if (!p) return std::unexpected(std::move(p).error());
        node.kind = std::move(*p);
    }
    return node;
}

// modulator := object of MODULATOR_KEYS with a string id.
Result<ModSpec> read_modulator(const Json& value, const std::string& path) {
    Result<void> keys = only_keys(value, MODULATOR_KEYS, path);
    if (!keys) return std::unexpected(std::move(keys).error());
    ModSpec modulator;
    const Json* id = value.get("id");
    const std::string* id_text = id != nullptr ? id->as_string() : nullptr;
    if (id_text == nullptr) return fail(path + " needs an id");
    modulator.id = *id_text;
    if (const Json* shape = value.get("shape")) {
        if (const std::string* shape_text = shape->as_string()) modulator.shape = *shape_text;
    }
    if (const Json* rate = value.get("rate")) {
        Result<ArgValue> arg = read_arg(*rate, path + " rate");
        if (!arg) return std::unexpected(std::move(arg).error());
        modulator.rate = std::move(*arg);
    }
    return modulator;
}

} // namespace

Result<void> only_keys(const Json& value, std::span<const std::string_view> allowed,
                       std::string_view path) {
    const Json::Object* members = value.as_object();
    if (members == nullptr) return fail(joined(path, " must be an object"));
    for (const Json::Member& member : *members) {
        bool known = false;
        for (std::string_view key : allowed) known = known || key == member.first;
        if (known) continue;
        std::string message(path);
        message += " has an unknown key '";
        message += member.first;
        message += "'. It can have: ";
        for (std::size_t i = 0; i < allowed.size(); ++i) {
            if (i > 0) message += ", ";
            message += allowed[i];
        }
        return fail(std::move(message));
    }
    return {};
}

Result<GraphSpec> GraphSpec::from_str(std::string_view text) {
    Result<Json> json = parse(text);
    if (!json) return fail("the graph is not valid JSON: " + json.error());
    return from_json(*json);
}

Result<GraphSpec> GraphSpec::from_json(const Json& value) {
    GraphSpec spec;
    if (const Json* modulators = value.get("modulators")) {
        const Json::Array* elements = modulators->as_array();
        if (elements == nullptr) return fail("modulators must be a list");
        spec.modulators.reserve(elements->size());
        for (std::size_t i = 0; i < elements->size(); ++i) {
            Result<ModSpec> modulator = read_modulator((*elements)[i], indexed("", "modulators", i));
            if (!modulator) return std::unexpected(std::move(modulator).error());
            spec.modulators.push_back(std::move(*modulator));
        }
    }
    Result<NodeSpec> node = read_node(value, "graph");
    if (!node) return std::unexpected(std::move(node).error());
    spec.node = std::move(*node);
    return spec;
}

} // namespace loom
