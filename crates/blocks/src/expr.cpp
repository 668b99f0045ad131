#include "loom/blocks/expr.hpp"

#include "loom/core/text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

namespace loom {

using expr::Call;
using expr::Context;
using expr::Function;
using expr::Index;
using expr::Infix;
using expr::Literal;
using expr::Neg;
using expr::Node;
using expr::Operator;
using expr::SampleRate;
using expr::Tempo;
using expr::Var;

namespace {

// The 32-bit constants of the language.
constexpr float PI = 3.1415927f;
constexpr float DB_TO_LN = 0.11512925f; // ln(10) / 20
constexpr float LOG_FLOOR = 1e-30f;     // smallest argument of ln and log2
constexpr float GAIN_FLOOR = 1e-9f;     // smallest gain lin2db reads

const Node ZERO_NODE{};

// Joins the pieces of a message (appending avoids a false -Wrestrict alarm of g++ 12 on
// chains of std::string operator+).
std::string join(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view piece : pieces) out += piece;
    return out;
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
bool is_letter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// For a decimal that a float cannot hold (from_chars reports it out of range): whether it is
// too large rather than too small. The first significant digit then stands at a decimal
// exponent of at least 0; a float's range ends at 10^38 above and 10^-45 below.
bool too_large(std::string_view number) noexcept {
    std::size_t i = 0;
    long long integer_digits = 0; // after leading zeros
    long long fraction_zeros = 0; // zeros after the point before the first significant digit
    bool point = false;
    bool significant = false;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        const char c = number[i];
        if (c == '.') {
            point = true;
        } else if (!point) {
            if (significant || c != '0') {
                significant = true;
                ++integer_digits;
            }
        } else if (!significant) {
            if (c == '0') {
                ++fraction_zeros;
            } else {
                significant = true;
            }
        }
    }
    long long exponent = 0;
    if (i < number.size()) {
        ++i;
        bool negative = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
        for (; i < number.size(); ++i) {
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
        }
        if (negative) exponent = -exponent;
    }
    const long long lead = integer_digits > 0 ? integer_digits - 1 : -(fraction_zeros + 1);
    return lead + exponent >= 0;
}

} // namespace

// A recursive-descent parser over the text's characters. Each production below returns the
// index of the node it made, or FAILED once the first fault is recorded in `error`. The
// productions keep their stack frames small (the messages are built in separate cold
// functions), since one level of nesting passes through all of them.
class Expr::Parser {
public:
    Parser(std::string_view source, const Lookup& names) : text(source), lookup(names) {}

    // expression := comparison, with nothing but white space around it
    Result<Expr> run() {
        skip_white_space();
        if (at_end()) return fail("the expression is empty");
        if (comparison() == FAILED) return fail(std::move(error));
        skip_white_space();
        if (!at_end()) {
            return fail(join({"unexpected '", character(), "' after the end of the expression '",
                              text, "'"}));
        }
        Expr result;
        result.pool = std::move(nodes);
        return result;
    }

private:
    static constexpr Index FAILED = static_cast<Index>(-1); // never the index of a node

    std::string_view text;
    const Lookup& lookup;
    std::vector<Node> nodes;
    std::string error;     // the first fault
    std::size_t at = 0;    // byte offset of the next character
    std::size_t depth = 0; // open parentheses, calls, minus signs and exponents

    bool at_end() const { return at >= text.size(); }
    // Whether the next character is the ASCII character `c` (UTF-8 never hides ASCII bytes
    // inside longer sequences, so comparing the byte is enough).
    bool next_is(char c) const { return at < text.size() && text[at] == c; }

    void skip_white_space() {
        for (;;) {
            const text::Decoded d = text::decode_utf8(text, at);
            if (d.length == 0 || !text::is_white_space(d.code)) return;
            at += d.length;
        }
    }

    // The next character as UTF-8, for messages; a byte that starts no character shows as U+FFFD.
    std::string character() const {
        std::string out;
        text::append_utf8(out, text::decode_utf8(text, at).code);
        return out;
    }

    [[gnu::cold, gnu::noinline]] Index fault(std::string message) {
        error = std::move(message);
        return FAILED;
    }
    [[gnu::cold, gnu::noinline]] Index fault_too_deep() {
        return fault(join({"the expression is nested more than ", std::to_string(expr::MAX_DEPTH),
                           " levels deep"}));
    }
    [[gnu::cold, gnu::noinline]] Index fault_found() {
        return fault(join({"expected a number or a name but found '", character(), "'"}));
    }
    [[gnu::cold, gnu::noinline]] Index fault_quoted(std::string_view word, std::string_view rest) {
        return fault(join({"'", word, rest}));
    }
    [[gnu::cold, gnu::noinline]] Index fault_function(std::string_view word) {
        return fault(join({"there is no function named '", word, "'"}));
    }
    [[gnu::cold, gnu::noinline]] Index fault_call(std::string_view word) {
        return fault(join({"the call to '", word, "' needs a ',' or a ')'"}));
    }
    [[gnu::cold, gnu::noinline]] Index fault_count(std::string_view word, std::size_t count,
                                                   std::size_t given) {
        return fault(join({"'", word, "' takes ", std::to_string(count), " value(s) but was given ",
                           std::to_string(given)}));
    }

    // Opens one more level of nesting; false (with the fault recorded) beyond the limit.
    bool nest() {
        if (++depth <= expr::MAX_DEPTH) return true;
        fault_too_deep();
        return false;
    }

    [[gnu::noinline]] Index add(Node node) {
        nodes.push_back(node);
        return nodes.size() - 1;
    }
    Index adopt(Index parent, Index child) {
        nodes[child].parent = parent;
        return parent;
    }
    [[gnu::noinline]] Index add_infix(Operator op, Index left, Index right) {
        const Index node = add({Infix{op, left, right}});
        adopt(node, left);
        return adopt(node, right);
    }

    // comparison := additive [("<=" | "<" | ">=" | ">") additive]
    Index comparison() {
        const Index left = additive();
        if (left == FAILED) return FAILED;
        skip_white_space();
        if (!next_is('<') && !next_is('>')) return left;
        const bool less = text[at] == '<';
        ++at;
        const bool or_equal = next_is('=');
        if (or_equal) ++at;
        const Operator op = less ? (or_equal ? Operator::LessEq : Operator::Less)
                                 : (or_equal ? Operator::GreaterEq : Operator::Greater);
        const Index right = additive();
        if (right == FAILED) return FAILED;
        return add_infix(op, left, right);
    }

    // additive := multiplicative {("+" | "-") multiplicative}, grouped from the left
    Index additive() {
        Index left = multiplicative();
        for (;;) {
            if (left == FAILED) return FAILED;
            skip_white_space();
            if (!next_is('+') && !next_is('-')) return left;
            const Operator op = text[at] == '+' ? Operator::Add : Operator::Sub;
            ++at;
            const Index right = multiplicative();
            if (right == FAILED) return FAILED;
            left = add_infix(op, left, right);
        }
    }

    // multiplicative := unary {("*" | "/") unary}, grouped from the left
    Index multiplicative() {
        Index left = unary();
        for (;;) {
            if (left == FAILED) return FAILED;
            skip_white_space();
            if (!next_is('*') && !next_is('/')) return left;
            const Operator op = text[at] == '*' ? Operator::Mul : Operator::Div;
            ++at;
            const Index right = unary();
            if (right == FAILED) return FAILED;
            left = add_infix(op, left, right);
        }
    }

    // unary := "-" unary | "+" unary | power
    // power := primary ["^" unary]; the exponent is again unary, so "^" groups from the right
    Index unary() {
        for (;;) {
            skip_white_space();
            if (at_end()) return fault("the expression ends where a number or a name should be");
            if (next_is('+')) {
                ++at; // a leading plus changes nothing
                continue;
            }
            if (next_is('-')) {
                ++at;
                if (!nest()) return FAILED;
                const Index operand = unary();
                if (operand == FAILED) return FAILED;
                --depth;
                return adopt(add({Neg{operand}}), operand);
            }
            const Index base = primary();
            if (base == FAILED) return FAILED;
            skip_white_space();
            if (!next_is('^')) return base;
            ++at;
            if (!nest()) return FAILED;
            const Index exponent = unary();
            if (exponent == FAILED) return FAILED;
            --depth;
            return add_infix(Operator::Pow, base, exponent);
        }
    }

    // primary := "(" comparison ")" | number | name | name "(" [comparison {"," comparison}] ")"
    // Called with a character ahead.
    Index primary() {
        if (next_is('(')) {
            ++at;
            if (!nest()) return FAILED;
            const Index inner = comparison();
            if (inner == FAILED) return FAILED;
            skip_white_space();
            if (!next_is(')')) return fault("a '(' is never closed");
            ++at;
            --depth;
            return inner;
        }
        if (is_digit(text[at]) || text[at] == '.') return number();
        if (!is_letter(text[at]) && text[at] != '_') return fault_found();
        // name := (letter | "_") {letter | digit | "_"}; a "(" after it makes it a call
        const std::size_t start = at;
        while (at < text.size() && (is_letter(text[at]) || is_digit(text[at]) || text[at] == '_')) {
            ++at;
        }
        const std::string_view word = text.substr(start, at - start);
        skip_white_space();
        if (!next_is('(')) return name(word);
        ++at;
        return call(word);
    }

    // number := {digit | "."} [("e" | "E") ["+" | "-"] digit {digit}], read as the correctly
    // rounded float; too large gives infinity, too small 0.
    [[gnu::noinline]] Index number() {
        const std::size_t start = at;
        while (at < text.size() && (is_digit(text[at]) || text[at] == '.')) ++at;
        if (next_is('e') || next_is('E')) {
            std::size_t end = at + 1;
            if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
            if (end < text.size() && is_digit(text[end])) {
                while (end < text.size() && is_digit(text[end])) ++end;
                at = end;
            }
        }
        const std::string_view taken = text.substr(start, at - start);
        const char* const last = taken.data() + taken.size();
        float value = 0.0f;
        const auto [stop, problem] =
            std::from_chars(taken.data(), last, value, std::chars_format::general);
        if (stop != last || problem == std::errc::invalid_argument) {
            return fault_quoted(taken, "' is not a number");
        }
        if (problem == std::errc::result_out_of_range) {
            value = too_large(taken) ? std::numeric_limits<float>::infinity() : 0.0f;
        }
        return add({Literal{value}});
    }

    // A name that is not called: a built-in name, else whatever the lookup finds.
    [[gnu::noinline]] Index name(std::string_view word) {
        if (word == "pi") return add({Literal{PI}});
        if (word == "bpm") return add({Tempo{}});
        if (word == "rate") return add({SampleRate{}});
        if (lookup) {
            if (const std::optional<std::size_t> index = lookup(word)) return add({Var{*index}});
        }
        return fault_quoted(word, "' is not a parameter, a modulator or a built-in name");
    }

    // The values of a call, after its name and "(".
    Index call(std::string_view word) {
        std::size_t code = 0;
        while (code < expr::FUNCTIONS.size() && expr::FUNCTIONS[code].name != word) ++code;
        if (code == expr::FUNCTIONS.size()) return fault_function(word);
        if (!nest()) return FAILED;
        Call made{static_cast<Function>(code), 0, {}};
        std::size_t given = 0;
        skip_white_space();
        if (!next_is(')')) {
            for (;;) {
                const Index value = comparison();
                if (value == FAILED) return FAILED;
                if (given < made.args.size()) made.args[given] = value;
                ++given;
                skip_white_space();
                if (!next_is(',')) break;
                ++at;
            }
            if (!next_is(')')) return fault_call(word);
        }
        ++at;
        --depth;
        const std::size_t count = expr::FUNCTIONS[code].count;
        if (given != count) return fault_count(word, count, given);
        made.count = static_cast<std::uint8_t>(count);
        const Index node = add({made});
        for (std::size_t i = 0; i < count; ++i) adopt(node, made.args[i]);
        return node;
    }
};

Result<Expr> Expr::parse(std::string_view text, const Lookup& lookup) {
    return Parser(text, lookup).run();
}

Expr Expr::constant(float value) {
    Expr result;
    result.pool.push_back({Literal{value}});
    return result;
}

const Node& Expr::root() const noexcept { return pool.empty() ? ZERO_NODE : pool.back(); }

namespace {

float eval_at(const Node* nodes, Index top, const Context& context) noexcept;

float apply(Operator op, float left, float right) noexcept {
    switch (op) {
    case Operator::Add: return left + right;
    case Operator::Sub: return left - right;
    case Operator::Mul: return left * right;
    case Operator::Div: return right == 0.0f ? 0.0f : left / right;
    case Operator::Pow: return std::pow(left, right);
    case Operator::Less: return left < right ? 1.0f : 0.0f;
    case Operator::Greater: return left > right ? 1.0f : 0.0f;
    case Operator::LessEq: return left <= right ? 1.0f : 0.0f;
    case Operator::GreaterEq: return left >= right ? 1.0f : 0.0f;
    }
    return 0.0f;
}

// std::fmin and std::fmax are IEEE minNum and maxNum: a NaN operand yields the other one.
float call(const Node* nodes, const Call& node, const Context& context) noexcept {
    const auto arg = [&](std::size_t i) { return eval_at(nodes, node.args[i], context); };
    if (node.function == Function::If) {
        const float condition = arg(0);
        return condition >= 0.5f ? arg(1) : arg(2);
    }
    float v[expr::MAX_ARGS] = {};
    for (std::size_t i = 0; i < node.count; ++i) v[i] = arg(i);
    const float x = v[0];
    switch (node.function) {
    case Function::Min: return std::fmin(x, v[1]);
    case Function::Max: return std::fmax(x, v[1]);
    case Function::Clamp: return std::fmin(std::fmax(x, v[1]), std::fmax(v[2], v[1]));
    case Function::Abs: return std::fabs(x);
    case Function::Pow: return std::pow(x, v[1]);
    case Function::Exp: return std::exp(x);
    case Function::Ln: return std::log(std::fmax(x, LOG_FLOOR));
    case Function::Log2: return std::log2(std::fmax(x, LOG_FLOOR));
    case Function::Sqrt: return std::sqrt(std::fmax(x, 0.0f));
    case Function::Sin: return std::sin(x);
    case Function::Cos: return std::cos(x);
    case Function::Tanh: return std::tanh(x);
    case Function::Floor: return std::floor(x);
    case Function::Round: return std::round(x);
    case Function::Db2lin: return std::exp(x * DB_TO_LN);
    case Function::Lin2db: return 20.0f * std::log10(std::fmax(x, GAIN_FLOOR));
    case Function::Semitones: return std::exp2(x / 12.0f);
    case Function::Note: return 440.0f * std::exp2((x - 69.0f) / 12.0f);
    case Function::Mix: return x + (v[1] - x) * v[2];
    case Function::If: return 0.0f; // handled above
    case Function::Sync: return x * (60000.0f / std::fmax(context.tempo, 1.0f));
    }
    return 0.0f;
}

// The value of one node. `eval_at` walks `Infix` chains itself, so the `Infix` case below
// only completes the set.
struct Leaf {
    const Node* nodes;
    const Context& context;

    float operator()(const Literal& node) const noexcept { return node.value; }
    float operator()(const Var& node) const noexcept {
        return node.index < context.values.size() ? context.values[node.index] : 0.0f;
    }
    float operator()(SampleRate) const noexcept { return context.sample_rate; }
    float operator()(Tempo) const noexcept { return context.tempo; }
    float operator()(const Neg& node) const noexcept { return -eval_at(nodes, node.child, context); }
    float operator()(const Infix& node) const noexcept {
        const float left = eval_at(nodes, node.left, context);
        return apply(node.op, left, eval_at(nodes, node.right, context));
    }
    float operator()(const Call& node) const noexcept { return call(nodes, node, context); }
};

// Infix nodes chain through their left operands (`1 + 2 + 3` is ((1 + 2) + 3)) as long as
// the text is. So the chain is walked in a loop: down the left operands to the first node
// that is not an infix, then back up through the parents, applying each operator to the value
// so far and its right operand. Recursion happens only into right operands and the children
// of other nodes, which the parser's nesting limit keeps shallow.
float eval_at(const Node* nodes, Index top, const Context& context) noexcept {
    Index at = top;
    while (const auto* infix = std::get_if<Infix>(&nodes[at].kind)) at = infix->left;
    float value = std::visit(Leaf{nodes, context}, nodes[at].kind);
    while (at != top) {
        at = nodes[at].parent;
        const auto* infix = std::get_if<Infix>(&nodes[at].kind);
        value = apply(infix->op, value, eval_at(nodes, infix->right, context));
    }
    return value;
}

} // namespace

float eval(const Expr& expr, const Context& context) noexcept {
    const std::span<const Node> nodes = expr.nodes();
    if (nodes.empty()) return 0.0f;
    return eval_at(nodes.data(), nodes.size() - 1, context);
}

// Every node of the list belongs to the tree, so one pass over the list sees them all.
bool is_const(const Expr& expr) noexcept {
    for (const Node& node : expr.nodes()) {
        if (std::holds_alternative<Var>(node.kind) || std::holds_alternative<SampleRate>(node.kind) ||
            std::holds_alternative<Tempo>(node.kind)) {
            return false;
        }
        if (const auto* f = std::get_if<Call>(&node.kind); f && f->function == Function::Sync) {
            return false;
        }
    }
    return true;
}

} // namespace loom
