// The graph compiler: checks a description against the parameter names, the modulators it
// declares and the block catalogue, makes the blocks and binds every argument. The first
// fault found is the one reported, as a message located by its path in the description.
#include "loom/blocks/catalogue.hpp"
#include "loom/blocks/graph.hpp"
#include "loom/core/text.hpp"

#include <cmath>
#include <limits>

namespace loom {

namespace {

// The bindings that are not block arguments are compiled against these descriptors.
constexpr ArgInfo RATE{.name = "rate", .unit = "Hz", .doc = "How many cycles each second.",
                       .min = 0.001f, .max = 200.0f, .default_value = 1.0f};
constexpr ArgInfo BRANCH_GAIN{.name = "gain_db", .unit = "dB", .doc = "", .min = -96.0f, .max = 48.0f,
                              .default_value = 0.0f};
constexpr ArgInfo VALUE{.name = "value", .unit = "", .doc = "", .min = 0.0f, .max = 1.0f, .default_value = 0.0f};

constexpr std::string_view SHAPES[] = {"sine", "triangle", "saw", "square", "random"};

// The compile-time context: the names expressions can use, in slot order, and the blocks
// descriptions can name.
struct Compiler {
    std::vector<std::string> modulators;
    std::span<const std::string_view> params;
    std::span<const BlockInfo* const> blocks;

    // The first block called `name` (exact comparison), or null.
    const BlockInfo* find_block(std::string_view name) const noexcept {
        for (const BlockInfo* b : blocks)
            if (b->name == name) return b;
        return nullptr;
    }

    // Parses an expression whose names are parameters first, then modulators.
    Result<Expr> parse(std::string_view text) const {
        return Expr::parse(text, [this](std::string_view name) -> std::optional<std::size_t> {
            for (std::size_t i = 0; i < params.size(); ++i)
                if (params[i] == name) return i;
            for (std::size_t i = 0; i < modulators.size(); ++i)
                if (modulators[i] == name) return params.size() + i;
            return std::nullopt;
        });
    }

    // Every parameter name, then every modulator name, joined by ", ".
    std::string names() const {
        std::string out;
        for (std::string_view p : params) append(out, p);
        for (const std::string& m : modulators) append(out, m);
        return out;
    }

    static void append(std::string& list, std::string_view name) {
        if (!list.empty()) list += ", ";
        list += name;
    }
};

template <class Names>
std::string joined(const Names& names) {
    std::string out;
    for (const auto& name : names) Compiler::append(out, name);
    return out;
}

// The nearest 32-bit float, infinite beyond the float range (as IEEE rounding gives).
float to_float(double value) noexcept {
    // Halfway between the largest float and 2^128: from there on the float is infinite.
    constexpr double LIMIT = 0x1.ffffffp127;
    if (value >= LIMIT) return std::numeric_limits<float>::infinity();
    if (value <= -LIMIT) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

std::string range_message(std::string_view path, float value, const ArgInfo& info) {
    std::string out = std::string(path) + " is " + text::shortest(value) + ", outside the range " +
                      text::shortest(info.min) + " to " + text::shortest(info.max);
    if (!info.unit.empty()) out += " " + std::string(info.unit);
    return out;
}

Result<Arg> range_checked(float value, const ArgInfo& info, std::string_view path) {
    if (!std::isfinite(value) || value < info.min || value > info.max) return fail(range_message(path, value, info));
    return Const{value};
}

Result<Arg> compile_arg(const ArgValue& value, const ArgInfo& info, const Compiler& compiler, std::string_view path) {
    if (const double* number = std::get_if<double>(&value)) return range_checked(to_float(*number), info, path);

    const std::string& written = std::get<std::string>(value);
    if (!info.choices.empty()) {
        const std::string_view trimmed = text::trim(written);
        for (std::size_t i = 0; i < info.choices.size(); ++i)
            if (text::equal_ignoring_ascii_case(trimmed, info.choices[i])) return Const{static_cast<float>(i)};
    }
    Result<Expr> parsed = compiler.parse(written);
    if (!parsed) {
        if (info.choices.empty())
            return fail(std::string(path) + ": " + parsed.error() + ". The names available are: " + compiler.names());
        return fail(std::string(path) + ": '" + written + "' is not one of " + joined(info.choices) +
                    " and not a valid expression (" + parsed.error() + ". The names available are: " +
                    compiler.names() + ")");
    }
    if (is_const(*parsed)) {
        const expr::Context context{{}, 48000.0f, 120.0f};
        return range_checked(eval(*parsed, context), info, path);
    }
    if (info.fixed)
        return fail(std::string(path) +
                    " is fixed when the plugin is built, so it must be a number and cannot follow a parameter");
    return Arg{std::move(*parsed)};
}

// A binding outside a block (branch gain, bypass, mix): a constant becomes an expression.
Result<std::optional<Expr>> compile_control(const std::optional<ArgValue>& value, const ArgInfo& info,
                                            const Compiler& compiler, std::string_view path) {
    if (!value) return std::optional<Expr>();
    Result<Arg> arg = compile_arg(*value, info, compiler, path);
    if (!arg) return fail(std::move(arg).error());
    if (const Const* c = std::get_if<Const>(&*arg)) return std::optional<Expr>(Expr::constant(c->value));
    return std::optional<Expr>(std::get<Expr>(std::move(*arg)));
}

Result<Node> compile_node(const NodeSpec& description, const Compiler& compiler, const std::string& path);

Result<Node> compile_block(const NodeSpec::Block& description, const Compiler& compiler, const std::string& path) {
    const BlockInfo* info = compiler.find_block(description.name);
    if (info == nullptr) {
        std::vector<std::string_view> names;
        for (const BlockInfo* b : compiler.blocks) names.push_back(b->name);
        return fail(path + ": there is no block called '" + description.name + "'. The blocks are: " + joined(names));
    }

    std::vector<std::string_view> arg_names;
    for (const ArgInfo& a : info->args) arg_names.push_back(a.name);
    for (const auto& [key, value] : description.args) {
        bool known = false;
        for (std::string_view name : arg_names) known = known || name == key;
        if (!known)
            return fail(path + ": the block '" + description.name + "' has no argument '" + key +
                        "'. Its arguments are: " + joined(arg_names));
    }

    BlockNode node;
    std::vector<float> configure_values;
    for (const ArgInfo& a : info->args) {
        const ArgValue* bound = nullptr;
        for (const auto& [key, value] : description.args)
            if (key == a.name) {
                bound = &value;
                break;
            }
        if (bound == nullptr) {
            node.args.emplace_back(Const{a.default_value});
            configure_values.push_back(a.default_value);
            continue;
        }
        Result<Arg> arg = compile_arg(*bound, a, compiler, path + ": " + description.name + "." + std::string(a.name));
        if (!arg) return fail(std::move(arg).error());
        const Const* c = std::get_if<Const>(&*arg);
        configure_values.push_back(c != nullptr ? c->value : a.default_value);
        node.args.push_back(std::move(*arg));
    }
    node.block = info->make();
    node.block->configure(configure_values);
    node.info = info;

    for (const auto& [meter, param] : description.meters) {
        std::size_t meter_index = info->meters.size();
        for (std::size_t i = 0; i < info->meters.size(); ++i)
            if (info->meters[i] == meter) {
                meter_index = i;
                break;
            }
        if (meter_index == info->meters.size())
            return fail(path + ": the block '" + description.name + "' has no meter '" + meter + "'. " +
                        (info->meters.empty() ? std::string("It has no meters.")
                                              : "Its meters are: " + joined(info->meters)));
        std::size_t param_index = compiler.params.size();
        for (std::size_t i = 0; i < compiler.params.size(); ++i)
            if (compiler.params[i] == param) {
                param_index = i;
                break;
            }
        if (param_index == compiler.params.size())
            return fail(path + ": the meter '" + meter + "' is bound to '" + param + "', which is not a parameter");
        node.meters.emplace_back(static_cast<std::uint32_t>(meter_index), static_cast<std::uint32_t>(param_index));
    }
    node.values.assign(node.args.size(), 0.0f);
    return Node{std::move(node)};
}

Result<Node> compile_kind(const NodeSpec& description, const Compiler& compiler, const std::string& path) {
    if (const auto* block = std::get_if<NodeSpec::Block>(&description.kind)) return compile_block(*block, compiler, path);

    if (const auto* chain = std::get_if<NodeSpec::Chain>(&description.kind)) {
        Chain out;
        for (std::size_t i = 0; i < chain->nodes.size(); ++i) {
            Result<Node> child = compile_node(chain->nodes[i], compiler, path + ".chain[" + std::to_string(i) + "]");
            if (!child) return fail(std::move(child).error());
            out.nodes.push_back(std::move(*child));
        }
        return Node{std::move(out)};
    }

    const auto& parallel = std::get<NodeSpec::Parallel>(description.kind);
    Parallel out;
    for (std::size_t i = 0; i < parallel.branches.size(); ++i) {
        const BranchSpec& branch_spec = parallel.branches[i];
        const std::string branch_path = path + ".parallel[" + std::to_string(i) + "]";
        Result<Node> node = compile_node(branch_spec.node, compiler, branch_path);
        if (!node) return fail(std::move(node).error());
        Result<std::optional<Expr>> gain = compile_control(branch_spec.gain_db, BRANCH_GAIN, compiler, branch_path + " gain_db");
        if (!gain) return fail(std::move(gain).error());
        Branch branch;
        branch.node = std::move(*node);
        branch.gain = std::move(*gain);
        out.branches.push_back(std::move(branch));
    }
    return Node{std::move(out)};
}

Result<Node> compile_node(const NodeSpec& description, const Compiler& compiler, const std::string& path) {
    Result<Node> node = compile_kind(description, compiler, path);
    if (!node || (!description.bypass && !description.mix && !description.only)) return node;
    Result<std::optional<Expr>> bypass = compile_control(description.bypass, VALUE, compiler, path + " bypass");
    if (!bypass) return fail(std::move(bypass).error());
    Result<std::optional<Expr>> mix = compile_control(description.mix, VALUE, compiler, path + " mix");
    if (!mix) return fail(std::move(mix).error());
    auto wrapper = std::make_unique<MixNode>();
    wrapper->only = description.only;
    wrapper->bypass = std::move(*bypass);
    wrapper->mix = std::move(*mix);
    wrapper->node = std::move(*node);
    return Node{std::move(wrapper)};
}

bool is_usable_name(std::string_view name) noexcept {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.empty() || !letter(name.front())) return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
    return true;
}

} // namespace

Result<Graph> Graph::from_str(std::string_view text, std::span<const std::string_view> params) {
    Result<GraphSpec> description = GraphSpec::from_str(text);
    if (!description) return fail(std::move(description).error());
    return from_spec(*description, params);
}

Result<Graph> Graph::from_spec(const GraphSpec& description, std::span<const std::string_view> params) {
    return from_spec(description, params, ALL);
}

Result<Graph> Graph::from_spec(const GraphSpec& description, std::span<const std::string_view> params,
                               std::span<const BlockInfo* const> catalogue) {
    for (std::size_t i = 0; i < description.modulators.size(); ++i) {
        const std::string& name = description.modulators[i].id;
        for (std::string_view p : params)
            if (p == name) return fail("the modulator '" + name + "' has the same name as a parameter");
        for (std::size_t j = 0; j < i; ++j)
            if (description.modulators[j].id == name) return fail("two modulators are called '" + name + "'");
        if (!is_usable_name(name))
            return fail("'" + name + "' is not a usable modulator name. Use letters, digits and underscores, starting with a letter");
    }

    Compiler compiler;
    for (const ModSpec& m : description.modulators) compiler.modulators.push_back(m.id);
    compiler.params = params;
    compiler.blocks = catalogue;

    Graph graph;
    for (std::size_t i = 0; i < description.modulators.size(); ++i) {
        const ModSpec& m = description.modulators[i];
        std::size_t shape = std::size(SHAPES);
        for (std::size_t s = 0; s < std::size(SHAPES); ++s)
            if (SHAPES[s] == m.shape) shape = s;
        if (shape == std::size(SHAPES))
            return fail("modulator '" + m.id + "' has the shape '" + m.shape +
                        "'. The shapes are sine, triangle, saw, square and random");
        Result<Arg> rate = compile_arg(m.rate, RATE, compiler, "modulator '" + m.id + "' rate");
        if (!rate) return fail(std::move(rate).error());
        Modulator modulator{.rate = std::move(*rate), .shape = static_cast<Shape>(shape)};
        seed(modulator, static_cast<std::uint32_t>(i));
        graph.modulators.push_back(std::move(modulator));
    }

    Result<Node> root = compile_node(description.node, compiler, "graph");
    if (!root) return fail(std::move(root).error());
    graph.values.assign(params.size() + description.modulators.size(), 0.0f);
    graph.tail_memo.scratch.assign(graph.values.size(), 0.0f);
    graph.tail_memo.slots.assign(graph.values.size(), 0.0f);
    graph.root = std::move(*root);
    graph.param_count = static_cast<std::uint32_t>(params.size());
    return graph;
}

} // namespace loom
