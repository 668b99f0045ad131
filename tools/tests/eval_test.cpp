// loom eval on a table of expressions: the value as the shortest decimal of its 32-bit float
// and whether it is constant, or the parser's message alone with exit code 1.

#include "loom/core/text.hpp"
#include "loom/test/row_name.hpp"
#include "run_tool.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>

namespace {

using loom::test::run_loom;

struct EvalCase {
    const char* name;
    std::vector<std::string> args; // after "eval"
    std::string out;               // the whole of standard output
};

// Rows show as their name in test listings.
void PrintTo(const EvalCase& row, std::ostream* out) { *out << row.name; }

// Values worked out by hand from the language's rules.
const EvalCase VALUES[] = {
    {"Half", {"0.5"}, "0.5\nconstant\n"},
    {"PowerGroupsFromTheRight", {"2^3^2"}, "512\nconstant\n"},
    {"MinusAppliesToThePower", {"-2^2"}, "-4\nconstant\n"},
    {"DivisionByZero", {"10 / 0"}, "0\nconstant\n"},
    {"Comparison", {"3 > 2"}, "1\nconstant\n"},
    {"Note", {"note(81)"}, "880\nconstant\n"},
    {"ClampWithUpperBelowLower", {"clamp(5, 2, 1)"}, "2\nconstant\n"},
    {"IfTakesHalfAsTrue", {"if(0.5, 10, 20)"}, "10\nconstant\n"},
    {"SquareRootOfNegative", {"sqrt(-4)"}, "0\nconstant\n"},
    {"Infinite", {"1e39"}, "inf\nconstant\n"},
    {"NegativeInfinite", {"-1e39"}, "-inf\nconstant\n"},
    {"NotANumber", {"1e39 - 1e39"}, "NaN\nconstant\n"},
    {"Pi", {"pi"}, "3.1415927\nconstant\n"},
    {"SyncAtTheDefaultTempo", {"sync(0.25)"}, "125\nnot constant\n"},
    {"SyncAtTempoZero", {"sync(1)", "--tempo", "0"}, "60000\nnot constant\n"},
    {"BpmFollowsTempo", {"bpm / 2", "--tempo", "90"}, "45\nnot constant\n"},
    {"RateFollowsRate", {"rate / 2", "--rate", "44100"}, "22050\nnot constant\n"},
    {"RateIsNeverAParameter", {"rate", "--set", "rate=5"}, "48000\nnot constant\n"},
    {"Parameter", {"drive * 0.5 + 3", "--set", "drive=6"}, "6\nnot constant\n"},
    {"ParametersInOrder", {"a - b", "--set", "a=1", "--set", "b=3"}, "-2\nnot constant\n"},
    {"WordsJoined", {"1", "+", "2"}, "3\nconstant\n"},
    {"LeadingPlusSigns", {"++1"}, "1\nconstant\n"},
};

class EvalValue : public ::testing::TestWithParam<EvalCase> {};

TEST_P(EvalValue, PrintsValueAndConstancy) {
    std::vector<std::string> args = {"eval"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const auto r = run_loom(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(All, EvalValue, ::testing::ValuesIn(VALUES), loom::test::RowName{});

const EvalCase ERRORS[] = {
    {"Empty", {""}, "the expression is empty"},
    {"Blanks", {"   "}, "the expression is empty"},
    {"EndsEarly", {"1 +"}, "the expression ends where a number or a name should be"},
    {"NeverClosed", {"(1 + 2"}, "a '(' is never closed"},
    {"LeftOver", {"2x"}, "unexpected 'x' after the end of the expression '2x'"},
    {"TwoComparisons", {"1 < 2 < 3"}, "unexpected '<' after the end of the expression '1 < 2 < 3'"},
    {"TooFewValues", {"min(1)"}, "'min' takes 2 value(s) but was given 1"},
    {"NoComma", {"min(1 2)"}, "the call to 'min' needs a ',' or a ')'"},
    {"UnknownFunction", {"foo(1)"}, "there is no function named 'foo'"},
    {"TwoPoints", {"1.2.3"}, "'1.2.3' is not a number"},
    {"UnknownName", {"drive"}, "'drive' is not a parameter, a modulator or a built-in name"},
    {"StrangeCharacter", {"#"}, "expected a number or a name but found '#'"},
};

class EvalError : public ::testing::TestWithParam<EvalCase> {};

TEST_P(EvalError, PrintsTheMessageAloneAndExitsOne) {
    std::vector<std::string> args = {"eval"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const auto r = run_loom(args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, GetParam().out + "\n");
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(All, EvalError, ::testing::ValuesIn(ERRORS), loom::test::RowName{});

TEST(Eval, DecibelsUseTheEnginesConstant) {
    // db2lin(x) = e^(x × 0.11512925) in 32-bit floats.
    const float expected = std::exp(-6.0f * 0.11512925f) * 2.0f;
    const auto r = run_loom({"eval", "db2lin(-6) * 2"});
    EXPECT_EQ(r.out, loom::text::shortest(expected) + "\nconstant\n");
}

} // namespace
