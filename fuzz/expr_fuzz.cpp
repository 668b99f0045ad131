// Fuzz target: the expression parser and `eval`. The input is an optional first line
// "#name name ..." (the names the lookup knows, in slot order) and the expression text.
// Parsing gives a well-formed tree or one message; evaluation of any tree in any context,
// hostile values included, never crashes or allocates; a constant gives the same value in
// every context.
#include "fuzz.hpp"

#include "loom/blocks/expr.hpp"
#include "loom/test/allocation_counter.hpp"

#include <bit>
#include <cmath>
#include <optional>
#include <variant>

namespace {

using loom::Expr;
using loom::fuzz::expect;

// Children come before their parents and point back at them; the root is last and has none.
// Evaluation walks the list on that promise.
void check_tree(const Expr& expr, std::size_t slots) {
    const auto nodes = expr.nodes();
    expect(!nodes.empty(), "a parsed expression has no nodes");
    expect(nodes.back().parent == loom::expr::NO_PARENT, "the root has a parent");
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const auto child = [&](loom::expr::Index c) {
            expect(c < i, "a child does not come before its parent");
            expect(nodes[c].parent == i, "a child does not point back at its parent");
        };
        const auto& kind = nodes[i].kind;
        if (const auto* neg = std::get_if<loom::expr::Neg>(&kind)) child(neg->child);
        if (const auto* infix = std::get_if<loom::expr::Infix>(&kind)) {
            child(infix->left);
            child(infix->right);
        }
        if (const auto* call = std::get_if<loom::expr::Call>(&kind)) {
            const auto& info = loom::expr::FUNCTIONS.at(static_cast<std::size_t>(call->function));
            expect(call->count == info.count, "a call holds another number of values than its function takes");
            for (std::size_t a = 0; a < call->count; ++a) child(call->args[a]);
        }
        if (const auto* var = std::get_if<loom::expr::Var>(&kind)) expect(var->index < slots, "a name points past the slots");
        if (i + 1 < nodes.size()) expect(nodes[i].parent != loom::expr::NO_PARENT, "a node below the root has no parent");
    }
}

bool same(float a, float b) noexcept {
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = loom::fuzz::text_of(data, size);
    const loom::fuzz::Named named = loom::fuzz::split_names(input, {});
    const Expr::Lookup lookup = [&](std::string_view name) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < named.names.size(); ++i)
            if (named.names[i] == name) return i;
        return std::nullopt;
    };
    const loom::Result<Expr> parsed = Expr::parse(named.text, lookup);
    if (!parsed) {
        expect(!parsed.error().empty(), "a refused expression has no message");
        return 0;
    }
    check_tree(*parsed, named.names.size());

    // Two contexts of hostile values, the second with fewer slots than there are names (a
    // name beyond the list reads 0).
    loom::fuzz::Dice dice(loom::fuzz::hash(input));
    std::vector<float> first(named.names.size());
    std::vector<float> second(named.names.size() / 2);
    for (float& v : first) v = dice.hostile();
    for (float& v : second) v = dice.hostile();
    const loom::expr::Context a{first, dice.hostile(), dice.hostile()};
    const loom::expr::Context b{second, 48000.0f, 120.0f};

    float va = 0.0f;
    float vb = 0.0f;
    {
        loom::test::AllocationCounter counter;
        va = loom::eval(*parsed, a);
        vb = loom::eval(*parsed, b);
        expect(counter.count() == 0, "eval allocated");
    }
    if (loom::is_const(*parsed)) expect(same(va, vb), "a constant expression changed with its context");
    expect(same(loom::eval(*parsed, a), va), "eval is not repeatable");
    return 0;
}
