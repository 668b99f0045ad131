#include "loom/blocks/expr.hpp"

#include "loom/core/text.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using loom::Expr;
using loom::expr::Call;
using loom::expr::Context;
using loom::expr::Index;
using loom::expr::Infix;
using loom::expr::Literal;
using loom::expr::Neg;
using loom::expr::Node;
using loom::expr::Operator;
using loom::expr::SampleRate;
using loom::expr::Tempo;
using loom::expr::Var;

constexpr float NAN_F = std::numeric_limits<float>::quiet_NaN();
constexpr float INF_F = std::numeric_limits<float>::infinity();
constexpr float FLT_MAX_F = std::numeric_limits<float>::max();

// The names the tests' expressions may use, as a compiler's lookup would give them. "rate"
// and "min" are deliberately also parameters here; "far" points beyond the values.
std::optional<std::size_t> lookup(std::string_view name) {
    const std::string_view names[] = {"drive", "mode", "nan", "inf", "rate", "pi", "bpm", "min"};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (names[i] == name) return i;
    }
    if (name == "far") return 99;
    return std::nullopt;
}

const float VALUES[] = {6.0f, 1.0f, NAN_F, INF_F, 777.0f, 555.0f, 666.0f, 8.0f};
const Context CONTEXT{VALUES, 48000.0f, 120.0f};

// Joins texts by appending (g++ 12 warns falsely on some chains of std::string operator+).
std::string cat(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view piece : pieces) out += piece;
    return out;
}

Expr parse_ok(std::string_view text) {
    auto parsed = Expr::parse(text, lookup);
    EXPECT_TRUE(parsed.has_value()) << text << ": " << (parsed ? "" : parsed.error());
    return parsed ? std::move(*parsed) : Expr{};
}

// Equal as floats, NaN equal to NaN, and the sign of a zero counts.
::testing::AssertionResult same_float(float actual, float expected) {
    if (std::isnan(actual) && std::isnan(expected)) return ::testing::AssertionSuccess();
    if (actual == expected && std::signbit(actual) == std::signbit(expected)) {
        return ::testing::AssertionSuccess();
    }
    char text[80];
    std::snprintf(text, sizeof text, "got %.9g, expected %.9g", static_cast<double>(actual),
                  static_cast<double>(expected));
    return ::testing::AssertionFailure() << text;
}

// The tree as an S-expression: literals by their shortest decimal, parameters as $index.
std::string show(const Expr& expr, Index at) {
    const Node& node = expr.nodes()[at];
    if (const auto* n = std::get_if<Literal>(&node.kind)) return loom::text::shortest(n->value);
    if (const auto* n = std::get_if<Var>(&node.kind)) return cat({"$", std::to_string(n->index)});
    if (std::holds_alternative<SampleRate>(node.kind)) return "rate";
    if (std::holds_alternative<Tempo>(node.kind)) return "bpm";
    if (const auto* n = std::get_if<Neg>(&node.kind)) return cat({"(neg ", show(expr, n->child), ")"});
    if (const auto* n = std::get_if<Infix>(&node.kind)) {
        const char* const ops[] = {"+", "-", "*", "/", "^", "<", ">", "<=", ">="};
        return cat({"(", ops[static_cast<int>(n->op)], " ", show(expr, n->left), " ",
                    show(expr, n->right), ")"});
    }
    const auto& call = std::get<Call>(node.kind);
    std::string out = cat({"(", loom::expr::FUNCTIONS[static_cast<std::size_t>(call.function)].name});
    for (std::size_t i = 0; i < call.count; ++i) out += cat({" ", show(expr, call.args[i])});
    return out + ")";
}

std::string show(const Expr& expr) { return show(expr, expr.nodes().size() - 1); }

// Evaluation climbs chains by the parent links: every child must come before its parent and
// name it, and the root, last, has none.
void expect_linked(const Expr& expr) {
    const auto nodes = expr.nodes();
    ASSERT_FALSE(nodes.empty());
    EXPECT_EQ(nodes.back().parent, loom::expr::NO_PARENT);
    std::vector<int> children(nodes.size(), 0);
    const auto child = [&](Index parent, Index c) {
        EXPECT_LT(c, parent);
        EXPECT_EQ(nodes[c].parent, parent);
        ++children[c];
    };
    for (Index i = 0; i < nodes.size(); ++i) {
        if (const auto* n = std::get_if<Neg>(&nodes[i].kind)) child(i, n->child);
        if (const auto* n = std::get_if<Infix>(&nodes[i].kind)) child(i, n->left), child(i, n->right);
        if (const auto* n = std::get_if<Call>(&nodes[i].kind)) {
            for (std::size_t k = 0; k < n->count; ++k) child(i, n->args[k]);
        }
    }
    for (Index i = 0; i + 1 < nodes.size(); ++i) EXPECT_EQ(children[i], 1) << "node " << i;
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Runs `work` on a thread with a 1 MiB stack: a recursion as deep as a long expression is
// long would overflow it.
void on_small_stack(const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, std::size_t{1} << 20), 0);
    pthread_t thread;
    const auto run = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// ---------------------------------------------------------------------------------------------
// Messages

struct ErrorCase {
    const char* name;
    std::string_view text;
    std::string_view message;
};

const ErrorCase ERRORS[] = {
    {"Empty", "", "the expression is empty"},
    {"OnlySpaces", "   ", "the expression is empty"},
    {"OnlyUnicodeWhiteSpace", "\u3000\t\u00A0\u2028", "the expression is empty"},
    {"EndsAfterPlus", "1 +", "the expression ends where a number or a name should be"},
    {"EndsAfterMinusSign", "-", "the expression ends where a number or a name should be"},
    {"EndsAfterCaret", "2 ^ ", "the expression ends where a number or a name should be"},
    {"EndsAfterComparison", "1 <", "the expression ends where a number or a name should be"},
    {"EndsAfterOpeningParenthesis", "(", "the expression ends where a number or a name should be"},
    {"EndsInCall", "min(", "the expression ends where a number or a name should be"},
    {"EndsAfterComma", "min(1, ", "the expression ends where a number or a name should be"},
    {"ParenthesisNeverClosed", "(1 + 2", "a '(' is never closed"},
    {"ParenthesisMeetsSecondValue", "(1 2)", "a '(' is never closed"},
    {"InnerParenthesisNeverClosed", "((1) + 2", "a '(' is never closed"},
    {"NameAfterNumber", "2x", "unexpected 'x' after the end of the expression '2x'"},
    {"ChainedComparison", "1 < 2 < 3", "unexpected '<' after the end of the expression '1 < 2 < 3'"},
    {"ClosingParenthesisLeftOver", "1 + 2)", "unexpected ')' after the end of the expression '1 + 2)'"},
    {"TwoNumbers", "3 4", "unexpected '4' after the end of the expression '3 4'"},
    {"NoEqualityOperator", "1 == 1", "unexpected '=' after the end of the expression '1 == 1'"},
    {"CommaAtTopLevel", "1, 2", "unexpected ',' after the end of the expression '1, 2'"},
    {"MultiByteCharacterLeftOver", "2 \u00D7 3",
     "unexpected '\u00D7' after the end of the expression '2 \u00D7 3'"},
    {"ZeroWidthSpaceIsNotWhiteSpace", "1\u200B",
     "unexpected '\u200B' after the end of the expression '1\u200B'"},
    {"ExponentWithoutDigit", "2e", "unexpected 'e' after the end of the expression '2e'"},
    {"ExponentSignWithoutDigit", "2e+", "unexpected 'e' after the end of the expression '2e+'"},
    {"PointAfterExponent", "1.5e3.2", "unexpected '.' after the end of the expression '1.5e3.2'"},
    {"TooFewValues", "min(1)", "'min' takes 2 value(s) but was given 1"},
    {"NoValues", "min()", "'min' takes 2 value(s) but was given 0"},
    {"NoValuesBetweenSpaces", "min( \t )", "'min' takes 2 value(s) but was given 0"},
    {"TooManyValues", "abs(1, 2, 3, 4, 5)", "'abs' takes 1 value(s) but was given 5"},
    {"IfTakesThree", "if(1, 2)", "'if' takes 3 value(s) but was given 2"},
    {"MissingComma", "min(1 2)", "the call to 'min' needs a ',' or a ')'"},
    {"CallNeverClosed", "sync(1", "the call to 'sync' needs a ',' or a ')'"},
    {"SemicolonBetweenValues", "max(1; 2)", "the call to 'max' needs a ',' or a ')'"},
    {"UnknownFunction", "foo(1)", "there is no function named 'foo'"},
    {"UnknownFunctionBeforeItsValues", "foo(", "there is no function named 'foo'"},
    {"FunctionNamesAreCaseSensitive", "MIN(1, 2)", "there is no function named 'MIN'"},
    {"BuiltInNameIsNoFunction", "pi(2)", "there is no function named 'pi'"},
    {"ParameterIsNoFunction", "drive (2)", "there is no function named 'drive'"},
    {"EmptyValue", "min(1,)", "expected a number or a name but found ')'"},
    {"ClosingParenthesisFirst", ")", "expected a number or a name but found ')'"},
    {"Dollar", "$", "expected a number or a name but found '$'"},
    {"SpaceInsideLessEq", "1 < = 2", "expected a number or a name but found '='"},
    {"NonAsciiLetter", "1 + \u00E9", "expected a number or a name but found '\u00E9'"},
    {"FourByteCharacter", "\U0001F600", "expected a number or a name but found '\U0001F600'"},
    {"InvalidByte", "1 + \xFF", "expected a number or a name but found '\uFFFD'"},
    {"TwoPoints", "1.2.3", "'1.2.3' is not a number"},
    {"LonePoint", ".", "'.' is not a number"},
    {"PointAndExponent", ".e5", "'.e5' is not a number"},
    {"TrailingPoints", "1..", "'1..' is not a number"},
    {"UnknownName", "gain", "'gain' is not a parameter, a modulator or a built-in name"},
    {"FunctionNameWithoutCall", "max", "'max' is not a parameter, a modulator or a built-in name"},
    {"NamesAreCaseSensitive", "Drive", "'Drive' is not a parameter, a modulator or a built-in name"},
    {"UnderscoreName", "_x1", "'_x1' is not a parameter, a modulator or a built-in name"},
    {"FirstFaultWins", "foo(1) + (", "there is no function named 'foo'"},
};

class ExprError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ExprError, ReportsMessage) {
    const auto parsed = Expr::parse(GetParam().text, lookup);
    ASSERT_FALSE(parsed.has_value()) << show(*parsed);
    EXPECT_EQ(parsed.error(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(All, ExprError, ::testing::ValuesIn(ERRORS), loom::test::RowName{});

TEST(ExprParse, WithoutLookupKnowsOnlyBuiltInNames) {
    const auto parsed = Expr::parse("drive");
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), "'drive' is not a parameter, a modulator or a built-in name");
    EXPECT_TRUE(Expr::parse("pi * rate / bpm").has_value());
}

TEST(ExprParse, AsksTheLookupOnlyForOtherNames) {
    std::vector<std::string> asked;
    const auto recording = [&](std::string_view name) -> std::optional<std::size_t> {
        asked.emplace_back(name);
        return 3;
    };
    ASSERT_TRUE(Expr::parse("pi + bpm + rate + min(a, b_2) + sync(c)", recording).has_value());
    EXPECT_EQ(asked, (std::vector<std::string>{"a", "b_2", "c"}));
}

// ---------------------------------------------------------------------------------------------
// Grammar: precedence, grouping, numbers and white space

struct TreeCase {
    const char* name;
    std::string_view text;
    std::string_view tree;
};

constexpr TreeCase TREES[] = {
    {"SubtractionGroupsFromTheLeft", "1 - 2 - 3", "(- (- 1 2) 3)"},
    {"DivisionGroupsFromTheLeft", "8 / 4 / 2", "(/ (/ 8 4) 2)"},
    {"SumAndDifferenceShareALevel", "1 - 2 + 3", "(+ (- 1 2) 3)"},
    {"ProductAndQuotientShareALevel", "1 / 2 * 3", "(* (/ 1 2) 3)"},
    {"ProductBindsTighterThanSum", "1 + 2 * 3", "(+ 1 (* 2 3))"},
    {"ProductFirst", "1 * 2 + 3", "(+ (* 1 2) 3)"},
    {"PowerBindsTighterThanProduct", "2 * 3 ^ 2", "(* 2 (^ 3 2))"},
    {"PowerGroupsFromTheRight", "2 ^ 3 ^ 2", "(^ 2 (^ 3 2))"},
    {"MinusAppliesToTheWholePower", "-2 ^ 2", "(neg (^ 2 2))"},
    {"SignedExponent", "2 ^ -1", "(^ 2 (neg 1))"},
    {"ExponentIsOneUnary", "2 ^ 3 * 4", "(* (^ 2 3) 4)"},
    {"ComparisonIsLoosest", "1 + 2 < 3 * 4", "(< (+ 1 2) (* 3 4))"},
    {"LessEq", "1 <= 2", "(<= 1 2)"},
    {"GreaterEq", "1>=2", "(>= 1 2)"},
    {"Greater", "1 > 2", "(> 1 2)"},
    {"ParenthesesRegroup", "(1 + 2) * 3", "(* (+ 1 2) 3)"},
    {"ComparisonInParentheses", "(1 < 2) < 3", "(< (< 1 2) 3)"},
    {"LeadingPlusesAreSkipped", "+ + +1", "1"},
    {"PlusBetweenMinuses", "-+-1", "(neg (neg 1))"},
    {"MinusOnRightOperand", "2 * -3", "(* 2 (neg 3))"},
    {"MinusBeforeParentheses", "-(1 + 2) * 3", "(* (neg (+ 1 2)) 3)"},
    {"CallValuesAreComparisons", "if(drive > 1, 2, 3)", "(if (> $0 1) 2 3)"},
    {"CallValuesAreFullExpressions", "clamp(drive, 0, 1 + 2)", "(clamp $0 0 (+ 1 2))"},
    {"SpaceBeforeCallParenthesis", "min (1, 2)", "(min 1 2)"},
    {"CallInsideOperators", "1 + abs(-2) * 3", "(+ 1 (* (abs (neg 2)) 3))"},
    {"BuiltInNames", "pi + bpm + rate", "(+ (+ 3.1415927 bpm) rate)"},
    {"BuiltInRateWinsOverParameter", "rate", "rate"},
    {"BuiltInPiWinsOverParameter", "pi", "3.1415927"},
    {"FunctionNameAloneIsAName", "min", "$7"},
    {"Parameter", "mode * 2", "(* $1 2)"},
    {"Exponents", "2e3 + 1E-2 + 5e+1", "(+ (+ 2000 0.01) 50)"},
    {"LeadingPoint", ".5", "0.5"},
    {"TrailingPoint", "1.", "1"},
    {"LeadingZeros", "007.50", "7.5"},
    {"UnicodeWhiteSpaceBetweenTokens", "\u20031\u00A0+\u30002\u2029", "(+ 1 2)"},
};

class ExprTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(ExprTree, GroupsAsTheGrammarSays) {
    const Expr expr = parse_ok(GetParam().text);
    EXPECT_EQ(show(expr), GetParam().tree);
    expect_linked(expr);
}

INSTANTIATE_TEST_SUITE_P(All, ExprTree, ::testing::ValuesIn(TREES), loom::test::RowName{});

TEST(ExprParse, SkipsEveryUnicodeWhiteSpaceCharacter) {
    const char* const white[] = {"\t", "\n", "\v", "\f", "\r", " ", "\u0085", "\u00A0", "\u1680",
                                 "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
                                 "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028",
                                 "\u2029", "\u202F", "\u205F", "\u3000"};
    for (const char* w : white) {
        const std::string text =
            cat({w, "min", w, "(", w, "1", w, ",", w, "2", w, ")", w, "<=", w, "3", w});
        const auto parsed = Expr::parse(text);
        ASSERT_TRUE(parsed.has_value()) << text << ": " << parsed.error();
        EXPECT_EQ(show(*parsed), "(<= (min 1 2) 3)");
    }
}

// Literals are the correctly rounded 32-bit floats of their decimals, saturating to infinity
// above the range and to 0 below it.
TEST(ExprParse, ReadsNumbersAsCorrectlyRoundedFloats) {
    struct Row { const char* name; std::string_view text; float value; };
    const Row rows[] = {
        {"Tenth", "0.1", 0.1f},
        {"TieRoundsToEven", "16777217", 16777216.0f},
        {"AboveTieRoundsUp", "16777219", 16777220.0f},
        {"Largest", "3.4028235e38", FLT_MAX_F},
        {"JustBelowOverflow", "340282356000000000000000000000000000000", FLT_MAX_F},
        {"JustAboveLargest", "3.4028236e38", INF_F},
        {"Overflow", "1e39", INF_F},
        {"LongOverflow", "1000000000000000000000000000000000000000000000", INF_F},
        {"HugeExponent", "1e99999999999999999999", INF_F},
        {"Subnormal", "1e-40", 1e-40f},
        {"SmallestSubnormal", "1.5e-45", std::numeric_limits<float>::denorm_min()},
        {"Underflow", "1e-46", 0.0f},
        {"LongUnderflow", "0.000000000000000000000000000000000000000000000000001", 0.0f},
        {"TinyExponent", "1e-99999999999999999999", 0.0f},
        {"ZeroWithHugeExponent", "0e99999999999999999999", 0.0f},
        {"ExponentShiftsPoint", "0.000001e6", 1.0f},
        {"ManyDigits", "3.14159265358979323846264338327950288", 3.1415927f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Expr expr = parse_ok(row.text);
        ASSERT_EQ(expr.nodes().size(), 1u);
        EXPECT_TRUE(same_float(std::get<Literal>(expr.root().kind).value, row.value));
    }
}

// ---------------------------------------------------------------------------------------------
// Evaluation: operators and functions, in 32-bit arithmetic, with NaN and infinity

struct ValueCase {
    const char* name;
    std::string_view text;
    float value;
};

// Expected values are worked out here with the single-precision math functions.
const ValueCase VALUES_TABLE[] = {
    // Operators
    {"Sum", "1 + 2", 3.0f},
    {"SubtractionFromTheLeft", "1 - 2 - 3", -4.0f},
    {"DivisionFromTheLeft", "8 / 4 / 2", 1.0f},
    {"Precedence", "2 * 3 + 4 * 5", 26.0f},
    {"SumIsSinglePrecision", "16777216 + 1 + 1", 16777216.0f},
    {"DifferenceIsSinglePrecision", "16777216 + 1 - 16777216", 0.0f},
    {"ProductOverflows", "1e38 * 10", INF_F},
    {"Quotient", "1 / 3", 1.0f / 3.0f},
    {"DivisionByZeroIsZero", "10 / 0", 0.0f},
    {"NegativeDivisionByZeroIsZero", "-10 / 0", 0.0f},
    {"DivisionByNegativeZeroIsZero", "1 / -0", 0.0f},
    {"ZeroByZeroIsZero", "0 / 0", 0.0f},
    {"NanByZeroIsZero", "nan / 0", 0.0f},
    {"DivisionByNanIsNan", "1 / nan", NAN_F},
    {"DivisionByInfinity", "1 / inf", 0.0f},
    {"InfinityMinusInfinityIsPassedOn", "inf - inf", NAN_F},
    {"NegatedZero", "-0", -0.0f},
    {"MinusSquareIsNegative", "-2^2", -4.0f},
    {"PowerFromTheRight", "2^3^2", 512.0f},
    {"NegativeExponent", "2^-1", 0.5f},
    {"SquareRootByPower", "2 ^ 0.5", std::pow(2.0f, 0.5f)},
    {"RootOfNegativeIsNan", "(-8) ^ (1 / 3)", NAN_F},
    {"ZeroToNegativePower", "0 ^ -1", INF_F},
    {"Greater", "3 > 2", 1.0f},
    {"NotGreater", "2 > 3", 0.0f},
    {"Less", "2 < 3", 1.0f},
    {"EqualIsNotLess", "2 < 2", 0.0f},
    {"LessEq", "2 <= 2", 1.0f},
    {"GreaterEq", "2 >= 2", 1.0f},
    {"NotGreaterEq", "1 >= 2", 0.0f},
    {"NanIsNotLess", "nan < 1", 0.0f},
    {"NanIsNotGreater", "1 > nan", 0.0f},
    {"NanIsNotLessEq", "nan <= nan", 0.0f},
    {"NanIsNotGreaterEq", "nan >= 1", 0.0f},
    {"InfinityComparesLarge", "inf > 1e38", 1.0f},
    // Names
    {"Parameter", "drive", 6.0f},
    {"ParameterArithmetic", "drive * 0.5 + 3", 6.0f},
    {"IndexBeyondValuesIsZero", "far", 0.0f},
    {"Pi", "pi", 3.1415927f},
    {"SampleRate", "rate", 48000.0f},
    {"Tempo", "bpm", 120.0f},
    // min, max, clamp: a NaN operand yields the other one
    {"MinFirst", "min(1, 2)", 1.0f},
    {"MinSecond", "min(2, -1)", -1.0f},
    {"MinIgnoresNanFirst", "min(nan, 2)", 2.0f},
    {"MinIgnoresNanSecond", "min(2, nan)", 2.0f},
    {"MinOfNans", "min(nan, nan)", NAN_F},
    {"MaxFirst", "max(-1, -2)", -1.0f},
    {"MaxInfinity", "max(inf, 2)", INF_F},
    {"MaxIgnoresNan", "max(nan, 2)", 2.0f},
    {"ClampAbove", "clamp(5, 0, 1)", 1.0f},
    {"ClampBelow", "clamp(-1, 0, 1)", 0.0f},
    {"ClampInside", "clamp(0.25, 0, 1)", 0.25f},
    {"ClampUpperBelowLower", "clamp(5, 2, 1)", 2.0f},
    {"ClampUpperBelowLowerFromBelow", "clamp(-5, 2, 1)", 2.0f},
    {"ClampNanValueGivesLower", "clamp(nan, 0, 1)", 0.0f},
    {"ClampNanLowerIgnored", "clamp(5, nan, 1)", 1.0f},
    {"ClampNanUpperActsAsLower", "clamp(5, 0, nan)", 0.0f},
    // One-value functions
    {"AbsNegative", "abs(-3)", 3.0f},
    {"AbsNan", "abs(nan)", NAN_F},
    {"PowFunction", "pow(2, 10)", 1024.0f},
    {"PowFunctionFraction", "pow(10, 0.3)", std::pow(10.0f, 0.3f)},
    {"PowNanToZero", "pow(nan, 0)", 1.0f},
    {"PowNegativeBaseFraction", "pow(-8, 1 / 3)", NAN_F},
    {"ExpOne", "exp(1)", std::exp(1.0f)},
    {"ExpOverflows", "exp(100)", INF_F},
    {"ExpNan", "exp(nan)", NAN_F},
    {"LnOne", "ln(1)", 0.0f},
    {"LnTen", "ln(10)", std::log(10.0f)},
    {"LnZeroIsGuarded", "ln(0)", std::log(1e-30f)},
    {"LnNegativeIsGuarded", "ln(-5)", std::log(1e-30f)},
    {"LnNanIsGuarded", "ln(nan)", std::log(1e-30f)},
    {"LnInfinity", "ln(inf)", INF_F},
    {"Log2Eight", "log2(8)", 3.0f},
    {"Log2Three", "log2(3)", std::log2(3.0f)},
    {"Log2ZeroIsGuarded", "log2(0)", std::log2(1e-30f)},
    {"Log2NanIsGuarded", "log2(nan)", std::log2(1e-30f)},
    {"SqrtSixteen", "sqrt(16)", 4.0f},
    {"SqrtTwo", "sqrt(2)", std::sqrt(2.0f)},
    {"SqrtNegativeIsZero", "sqrt(-4)", 0.0f},
    {"SqrtNanIsZero", "sqrt(nan)", 0.0f},
    {"SinHalfPi", "sin(pi / 2)", std::sin(3.1415927f / 2.0f)},
    {"SinOne", "sin(1)", std::sin(1.0f)},
    {"SinInfinity", "sin(inf)", NAN_F},
    {"CosZero", "cos(0)", 1.0f},
    {"CosPi", "cos(pi)", std::cos(3.1415927f)},
    {"TanhOne", "tanh(1)", std::tanh(1.0f)},
    {"TanhInfinity", "tanh(inf)", 1.0f},
    {"TanhNan", "tanh(nan)", NAN_F},
    {"FloorNegative", "floor(-1.5)", -2.0f},
    {"FloorPositive", "floor(2.7)", 2.0f},
    {"RoundHalfUp", "round(2.5)", 3.0f},
    {"RoundHalfAwayFromZero", "round(-2.5)", -3.0f},
    {"RoundJustBelowHalf", "round(0.49999997)", 0.0f},
    {"RoundNan", "round(nan)", NAN_F},
    {"DbToLinMinusSix", "db2lin(-6)", std::exp(-6.0f * 0.11512925f)},
    {"DbToLinZero", "db2lin(0)", 1.0f},
    {"DbToLinTwenty", "db2lin(20)", std::exp(20.0f * 0.11512925f)},
    {"LinToDbZeroIsGuarded", "lin2db(0)", 20.0f * std::log10(1e-9f)},
    {"LinToDbNegativeIsGuarded", "lin2db(-1)", 20.0f * std::log10(1e-9f)},
    {"LinToDbNanIsGuarded", "lin2db(nan)", 20.0f * std::log10(1e-9f)},
    {"LinToDbOne", "lin2db(1)", 0.0f},
    {"LinToDbTen", "lin2db(10)", 20.0f},
    {"LinToDbHalf", "lin2db(0.5)", 20.0f * std::log10(0.5f)},
    {"SemitonesOctave", "semitones(12)", 2.0f},
    {"SemitonesOctaveDown", "semitones(-12)", 0.5f},
    {"SemitonesFifth", "semitones(7)", std::exp2(7.0f / 12.0f)},
    {"NoteA4", "note(69)", 440.0f},
    {"NoteA5", "note(81)", 880.0f},
    {"NoteMiddleC", "note(60)", 440.0f * std::exp2((60.0f - 69.0f) / 12.0f)},
    {"MixQuarter", "mix(10, 20, 0.25)", 12.5f},
    {"MixExtrapolates", "mix(1, 3, 2)", 5.0f},
    {"MixThird", "mix(0.1, 0.7, 0.3)", 0.1f + (0.7f - 0.1f) * 0.3f},
    {"IfAtHalf", "if(0.5, 10, 20)", 10.0f},
    {"IfBelowHalf", "if(0.49999997, 10, 20)", 20.0f},
    {"IfNanIsBelow", "if(nan, 10, 20)", 20.0f},
    {"IfOnComparison", "if(drive > 5, drive, -drive)", 6.0f},
    {"SyncOneBeat", "sync(1)", 500.0f},
    {"SyncQuarterBeat", "sync(0.25)", 125.0f},
    {"SyncThird", "sync(1 / 3)", (1.0f / 3.0f) * (60000.0f / 120.0f)},
};

class ExprValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ExprValue, EvaluatesInSinglePrecision) {
    const Expr expr = parse_ok(GetParam().text);
    EXPECT_TRUE(same_float(loom::eval(expr, CONTEXT), GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(All, ExprValue, ::testing::ValuesIn(VALUES_TABLE), loom::test::RowName{});

// Anchors in plain decimals, so that a wrong constant cannot hide behind a matching formula.
TEST(ExprEval, MatchesKnownValues) {
    const auto value = [](std::string_view text) { return loom::eval(parse_ok(text), CONTEXT); };
    EXPECT_NEAR(value("db2lin(-6)"), 0.501187, 1e-6);
    EXPECT_NEAR(value("db2lin(20)"), 10.0, 1e-5);
    EXPECT_NEAR(value("lin2db(0)"), -180.0, 1e-4);
    EXPECT_NEAR(value("note(60)"), 261.625565, 1e-4);
    EXPECT_NEAR(value("semitones(7)"), 1.498307, 1e-6);
    EXPECT_NEAR(value("ln(0)"), -69.0775528, 1e-5);
    EXPECT_NEAR(value("log2(0)"), -99.6578428, 1e-5);
    EXPECT_EQ(value("pi"), 3.14159274101257324f);
}

TEST(ExprEval, SyncDividesByTheTempoButNeverByLessThanOne) {
    struct Row { const char* name; float tempo; float ms_per_beat; };
    const Row rows[] = {
        {"Tempo120", 120.0f, 500.0f}, {"Tempo240", 240.0f, 250.0f}, {"Tempo90", 90.0f, 60000.0f / 90.0f},
        {"TempoZero", 0.0f, 60000.0f}, {"TempoBelowOne", 0.5f, 60000.0f},
        {"NegativeTempo", -10.0f, 60000.0f}, {"NanTempo", NAN_F, 60000.0f},
        {"InfiniteTempo", INF_F, 0.0f},
    };
    const Expr expr = parse_ok("sync(2)");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(same_float(loom::eval(expr, Context{VALUES, 48000.0f, row.tempo}),
                               2.0f * row.ms_per_beat));
        EXPECT_TRUE(same_float(loom::eval(parse_ok("bpm"), Context{{}, 0.0f, row.tempo}), row.tempo));
    }
}

TEST(ExprEval, ReadsZeroForNamesBeyondTheValues) {
    const Expr expr = parse_ok("drive + mode + 1");
    EXPECT_EQ(loom::eval(expr, Context{{}, 48000.0f, 120.0f}), 1.0f);
    const float one_value[] = {2.0f};
    EXPECT_EQ(loom::eval(expr, Context{one_value, 48000.0f, 120.0f}), 3.0f);
}

TEST(ExprEval, AllocatesNothing) {
    std::vector<Expr> exprs;
    for (std::string_view text : {"drive * 0.5 + 3", "if(mode >= 0.5, db2lin(drive), 1)",
                                  "clamp(note(drive + 60) * semitones(mode), 20, rate / 2)",
                                  "sync(0.25) + min(nan, max(far, -drive ^ 2))"}) {
        exprs.push_back(parse_ok(text));
    }
    float sum = 0.0f;
    const loom::test::AllocationCounter counter;
    for (const Expr& expr : exprs) sum += loom::eval(expr, CONTEXT);
    EXPECT_EQ(counter.count(), 0u);
    EXPECT_TRUE(std::isfinite(sum));
}

// ---------------------------------------------------------------------------------------------
// Constant detection

TEST(ExprConst, IsConstantWithoutNamesRateTempoOrSync) {
    struct Row { const char* name; std::string_view text; bool constant; };
    const Row rows[] = {
        {"Functions", "db2lin(-6) * 2", true},
        {"Pi", "pi * 2", true},
        {"Comparison", "1 < 2", true},
        {"NegatedCall", "-min(1, 2)", true},
        {"IfOfConstants", "if(1, 2, 3)", true},
        {"Sync", "sync(1)", false},
        {"SyncInsideConstant", "1 + abs(sync(1))", false},
        {"Rate", "rate / 2", false},
        {"Tempo", "bpm", false},
        {"Parameter", "drive", false},
        {"ParameterDeepInside", "1 + 2 * max(3, -(4 ^ mode))", false},
        {"ParameterInUnchosenBranch", "if(1, 2, drive)", false},
        {"NameBeyondValues", "far", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(loom::is_const(parse_ok(row.text)), row.constant);
    }
}

TEST(ExprConst, ConstantExpressionYieldsItsValue) {
    const Expr made = Expr::constant(-2.5f);
    EXPECT_TRUE(loom::is_const(made));
    EXPECT_EQ(loom::eval(made, CONTEXT), -2.5f);
    EXPECT_TRUE(same_float(loom::eval(Expr::constant(NAN_F), CONTEXT), NAN_F));

    const Expr nothing;
    EXPECT_TRUE(loom::is_const(nothing));
    EXPECT_EQ(loom::eval(nothing, CONTEXT), 0.0f);
    EXPECT_TRUE(std::holds_alternative<Literal>(nothing.root().kind));
}

TEST(ExprConst, CopiesEvaluateAlike) {
    const Expr original = parse_ok("clamp(drive * 2, 0, note(mode + 60))");
    const Expr copy = original; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_EQ(show(copy), show(original));
    EXPECT_EQ(loom::eval(copy, CONTEXT), loom::eval(original, CONTEXT));
}

// ---------------------------------------------------------------------------------------------
// Nesting limit and long expressions

struct NestCase {
    const char* name;
    std::string_view open;
    std::string_view close;
    std::size_t levels_per_piece;
    float value; // of the deepest accepted text
};

constexpr NestCase NESTS[] = {
    {"Parentheses", "(", ")", 1, 1.0f},
    {"MinusSigns", "-", "", 1, 1.0f},
    {"Calls", "abs(", ")", 1, 1.0f},
    {"Exponents", "1^", "", 1, 1.0f},
    {"MinusAndParentheses", "-(", ")", 2, 1.0f},
    {"CallValuesAfterOthers", "max(0, ", ")", 1, 1.0f},
    {"RightOperands", "1 * (", ")", 1, 1.0f},
};

class ExprNesting : public ::testing::TestWithParam<NestCase> {};

// Parentheses, calls, minus signs and exponents nest at most 256 levels deep; deeper text is
// refused instead of risking the stack. The deepest accepted text parses and evaluates on a
// small stack.
TEST_P(ExprNesting, AcceptsTheLimitAndRefusesOneMore) {
    const NestCase& row = GetParam();
    const std::size_t pieces = loom::expr::MAX_DEPTH / row.levels_per_piece;
    on_small_stack([&] {
        const std::string deepest = cat({repeat(row.open, pieces), "1", repeat(row.close, pieces)});
        const auto parsed = Expr::parse(deepest);
        ASSERT_TRUE(parsed.has_value()) << parsed.error();
        EXPECT_EQ(loom::eval(*parsed, CONTEXT), row.value);
        const std::string deeper =
            cat({repeat(row.open, pieces + 1), "1", repeat(row.close, pieces + 1)});
        const auto refused = Expr::parse(deeper);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error(), "the expression is nested more than 256 levels deep");
    });
}

INSTANTIATE_TEST_SUITE_P(All, ExprNesting, ::testing::ValuesIn(NESTS), loom::test::RowName{});

TEST(ExprNestingLimit, NestedFaultBeyondTheLimitReportsTheDepth) {
    const auto parsed = Expr::parse(repeat("(", 300));
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), "the expression is nested more than 256 levels deep");
}

TEST(ExprNestingLimit, LeadingPlusesDoNotNest) {
    const Expr expr = parse_ok(cat({repeat("+", 100000), "drive"}));
    EXPECT_EQ(show(expr), "$0");
}

// 100000 terms make operator chains 100000 nodes deep along their left operands; parsing,
// evaluating, copying and destroying them must not recurse that deep.
TEST(ExprLong, FlatChainsOfOneHundredThousandTermsAreSafe) {
    const std::string ones = cat({"1", repeat("+1", 99999)});
    struct Row { const char* name; std::string text; float value; };
    const Row rows[] = {
        {"Sum", ones, 100000.0f},
        {"Product", cat({"drive", repeat(" * 1", 99999)}), 6.0f},
        {"AlternatingOperators", cat({"1", repeat(" - 1 + 1", 49999), "+ 0 * 2 / 4"}), 1.0f},
        {"InsideParentheses", cat({"(", ones, ") / 4"}), 25000.0f},
        {"RightOperand", cat({"2 * (", ones, ")"}), 200000.0f},
        {"CallValue", cat({"min(", ones, ", 7)"}), 7.0f},
        {"ComparedChains", cat({ones, " < ", ones, " + 1"}), 1.0f},
        {"Exponent", cat({"2 ^ (1", repeat("*1", 99999), ")"}), 2.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        on_small_stack([&] {
            auto parsed = Expr::parse(row.text, lookup);
            ASSERT_TRUE(parsed.has_value()) << parsed.error();
            EXPECT_EQ(loom::eval(*parsed, CONTEXT), row.value);
            EXPECT_EQ(loom::is_const(*parsed), row.text.find("drive") == std::string::npos);
            Expr copy = *parsed;
            EXPECT_EQ(loom::eval(copy, CONTEXT), row.value);
        });
    }
}

} // namespace
