#pragma once
// The expression language of graph descriptions: formulas such as `drive * 0.5 + 3` or
// `sync(0.25)` over parameters, modulators, the sample rate, the tempo and built-in functions.
// Parsed once while a plug-in is built; evaluated in 32-bit floats at every control period.

#include "loom/core/result.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace loom::expr {

// Binary operators, with their codes.
enum class Operator : std::uint8_t {
    Add = 0,       // +  left + right
    Sub = 1,       // -  left - right
    Mul = 2,       // *  left * right
    Div = 3,       // /  left / right; 0 when right is 0
    Pow = 4,       // ^  left raised to right
    Less = 5,      // <  1 or 0; 0 when an operand is NaN
    Greater = 6,   // >
    LessEq = 7,    // <=
    GreaterEq = 8, // >=
};

// Built-in functions, with their codes; `FUNCTIONS` gives each one's name and value count.
enum class Function : std::uint8_t {
    Min = 0,
    Max = 1,
    Clamp = 2,
    Abs = 3,
    Pow = 4,
    Exp = 5,
    Ln = 6,
    Log2 = 7,
    Sqrt = 8,
    Sin = 9,
    Cos = 10,
    Tanh = 11,
    Floor = 12,
    Round = 13,
    Db2lin = 14,
    Lin2db = 15,
    Semitones = 16,
    Note = 17,
    Mix = 18,
    If = 19,
    Sync = 20,
};

// A function's name in the language and the exact number of values it takes.
struct FunctionInfo {
    std::string_view name;
    std::size_t count = 0;
};

// Indexed by `Function` code.
inline constexpr std::array<FunctionInfo, 21> FUNCTIONS{{
    {"min", 2},   {"max", 2},    {"clamp", 3},     {"abs", 1},  {"pow", 2},    {"exp", 1},
    {"ln", 1},    {"log2", 1},   {"sqrt", 1},      {"sin", 1},  {"cos", 1},    {"tanh", 1},
    {"floor", 1}, {"round", 1},  {"db2lin", 1},    {"lin2db", 1}, {"semitones", 1},
    {"note", 1},  {"mix", 3},    {"if", 3},        {"sync", 1},
}};

// The most values any function takes.
inline constexpr std::size_t MAX_ARGS = 3;

// How deeply parentheses, calls, minus signs and exponents may nest; deeper text is refused so
// that neither parsing nor evaluation can exhaust the stack.
inline constexpr std::size_t MAX_DEPTH = 256;

// Children are positions in the owning `Expr`'s node list (`Expr::nodes`).
using Index = std::size_t;

struct Literal {
    float value = 0.0f;
};
// The evaluation value at `index` (0 beyond the list).
struct Var {
    std::size_t index = 0;
};
struct SampleRate {};
struct Tempo {};
struct Neg {
    Index child = 0;
};
struct Infix {
    Operator op = Operator::Add;
    Index left = 0;
    Index right = 0;
};
// The argument list is `args[0]` .. `args[count - 1]`; count is the function's own count.
struct Call {
    Function function = Function::Min;
    std::uint8_t count = 0;
    std::array<Index, MAX_ARGS> args{};
};

inline constexpr Index NO_PARENT = static_cast<Index>(-1);

// One node of an expression tree.
struct Node {
    std::variant<Literal, Var, SampleRate, Tempo, Neg, Infix, Call> kind;
    // The node this one is a child of, `NO_PARENT` for the root. Lets evaluation climb back up
    // a long chain of left operands (`1 + 1 + ... + 1`) without recursing down it.
    Index parent = NO_PARENT;
};

// What evaluation reads. The values are the graph's slots: the parameters in table order,
// then the modulator outputs.
struct Context {
    std::span<const float> values = {};
    float sample_rate = 0.0f; // Hz
    float tempo = 0.0f;       // beats per minute
};

} // namespace loom::expr

namespace loom {

// A parsed expression. It owns its whole tree as one list of nodes in which every child comes
// before its parent and the root is last, so copying and destroying never recurse, however
// long the expression. A default-made `Expr` is the constant 0.
class Expr {
public:
    // Maps a name to the index of its evaluation value, or to nothing for an unknown name.
    using Lookup = std::function<std::optional<std::size_t>(std::string_view name)>;

    // [build] Parses `text` (UTF-8). Names other than pi, bpm and rate go to `lookup`; an
    // empty lookup knows no names. Gives the expression or the first fault as one message.
    static Result<Expr> parse(std::string_view text, const Lookup& lookup = {});

    // [build] The expression that always gives `value`.
    static Expr constant(float value);

    // [any-thread] The root node.
    const expr::Node& root() const noexcept;
    // [any-thread] Every node, children before their parents, the root last.
    std::span<const expr::Node> nodes() const noexcept { return pool; }

private:
    class Parser;

    std::vector<expr::Node> pool;
};

// [audio-thread] The value of `expr` in `context`, in 32-bit float arithmetic. Never fails:
// division by 0 gives 0, logarithms and square roots are guarded, any other NaN or infinity
// is passed on. Allocates nothing; its recursion is bounded by `expr::MAX_DEPTH`, not by the
// length of the expression.
float eval(const Expr& expr, const expr::Context& context) noexcept;

// [any-thread] Whether the value of `expr` cannot change at run time: it names no parameter,
// modulator, rate or bpm and calls no sync.
bool is_const(const Expr& expr) noexcept;

} // namespace loom
