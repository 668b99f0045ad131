#include "loom/core/value.hpp"

#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace {

using loom::Json;
using loom::JsonKind;
using namespace std::string_view_literals;

struct ErrorCase {
    const char* name;
    std::string_view text, message;
};

// Positions are counted by hand from the text.
constexpr ErrorCase JSON_ERRORS[] = {
    {"Empty", "", "unexpected end of input at byte 0"},
    {"OnlySpaces", "   ", "unexpected end of input at byte 3"},
    {"OpenArray", "[", "unexpected end of input at byte 1"},
    {"MemberValueMissing", R"({"a":)", "unexpected end of input at byte 5"},
    {"TextAfterValue", "[1,2] x", "unexpected text after the value at byte 6"},
    {"SecondCloser", "[1]]", "unexpected text after the value at byte 3"},
    {"WordJudgedByCaller", "nullx", "unexpected text after the value at byte 4"},
    {"NulAfterValue", "1\0"sv, "unexpected text after the value at byte 1"},
    {"ArrayWithoutComma", "[1 2]", "expected a comma or ] at byte 3"},
    {"ArrayCutShort", "[1", "expected a comma or ] at byte 2"},
    {"ArrayClosedByBrace", "[1}", "expected a comma or ] at byte 2"},
    {"LetterAfterWordInArray", "[truex]", "expected a comma or ] at byte 5"},
    {"ObjectWithoutComma", R"({"a":1 "b":2})", "expected a comma or } at byte 7"},
    {"ObjectCutShort", R"({"a":1)", "expected a comma or } at byte 6"},
    {"ObjectClosedByBracket", R"({"a":1])", "expected a comma or } at byte 6"},
    {"TrailingCommaInObject", R"({"a":1,})", "expected a string key at byte 7"},
    {"BareKey", "{a:1}", "expected a string key at byte 1"},
    {"OpenObject", "{", "expected a string key at byte 1"},
    {"NumberKey", "{ 1:2}", "expected a string key at byte 2"},
    {"MissingColon", R"({"a" 1})", "expected a colon at byte 5"},
    {"ObjectEndsAfterKey", R"({"a")", "expected a colon at byte 4"},
    {"EqualsForColon", R"({"a"=1})", "expected a colon at byte 4"},
    {"TrailingCommaInArray", "[1,]", "expected a value at byte 3"},
    {"CommaFirst", "[,1]", "expected a value at byte 1"},
    {"Letter", "x", "expected a value at byte 0"},
    {"CloseBrace", "}", "expected a value at byte 0"},
    {"CloseBracket", "]", "expected a value at byte 0"},
    {"CapitalWord", "True", "expected a value at byte 0"},
    {"VerticalTabIsNotSpace", "\v1", "expected a value at byte 0"},
    {"FormFeedIsNotSpace", " \f1", "expected a value at byte 1"},
    {"LoneMinus", "-", "expected a value at byte 0"},
    {"LonePlus", "+", "expected a value at byte 0"},
    {"MinusInside", "1-2", "expected a value at byte 0"},
    {"DoubleMinus", "--1", "expected a value at byte 0"},
    {"PlusMinus", "+-1", "expected a value at byte 0"},
    {"MinusPlus", "-+1", "expected a value at byte 0"},
    {"LonePoint", ".", "expected a value at byte 0"},
    {"SignedPoint", "-.", "expected a value at byte 0"},
    {"TwoPoints", "1..2", "expected a value at byte 0"},
    {"ExponentWithoutDigits", "1e", "expected a value at byte 0"},
    {"ExponentSignWithoutDigits", "1e+", "expected a value at byte 0"},
    {"ExponentOnly", "e5", "expected a value at byte 0"},
    {"BadNumberInArray", "[0, 1e]", "expected a value at byte 4"},
    {"Infinity", "Infinity", "expected a value at byte 0"},
    {"HexNumber", "0x10", "unexpected text after the value at byte 1"},
    {"Tru", "tru", "unexpected word at byte 0"},
    {"Nul", "nul", "unexpected word at byte 0"},
    {"NanWord", "nan", "unexpected word at byte 0"},
    {"Fals", "[true, fals]", "unexpected word at byte 7"},
    {"UnterminatedString", R"("abc)", "unterminated string at byte 4"},
    {"UnterminatedKey", R"({"ab)", "unterminated string at byte 4"},
    {"UnterminatedEscape", R"("ab\)", "unterminated escape at byte 4"},
    {"UnknownEscape", R"("\x")", "unknown escape at byte 3"},
    {"EscapedSingleQuote", R"(["ok", "\'"])", "unknown escape at byte 10"},
    {"ShortUnicodeEscape", R"("\u12)", "short \\u escape at byte 3"},
    {"UnicodeEscapeBeforeLastQuote", R"("\u12")", "short \\u escape at byte 3"},
    {"UnicodeEscapeTakesTheQuote", R"(["\u12"])", "bad \\u escape at byte 4"},
    {"BadUnicodeEscape", R"("\u12G4")", "bad \\u escape at byte 3"},
    {"MinusInUnicodeEscape", R"("\u-041")", "bad \\u escape at byte 3"},
    {"TwoPlusesInUnicodeEscape", R"("\u++41")", "bad \\u escape at byte 3"},
    {"PlusNotLeading", R"("\u04+1")", "bad \\u escape at byte 3"},
    {"ShortLowSurrogate", R"("\uD83D\u12)", "short \\u escape at byte 9"},
    {"BadLowSurrogate", R"("\uD83D\uZZZZ")", "bad \\u escape at byte 9"},
    {"BadEscapeAfterLowSurrogate", R"("\uDE00\uZZZZ")", "bad \\u escape at byte 9"},
    {"InvalidByte", "\"\xFF\"", "the string is not valid UTF-8"},
    {"EncodedSurrogate", "\"\xED\xA0\x80\"", "the string is not valid UTF-8"},
    {"Overlong", "\"\xC0\xAF\"", "the string is not valid UTF-8"},
    {"LeadByteBeforeEscape", "\"\xC3\\u00A9\"", "the string is not valid UTF-8"},
    {"InvalidKey", "{\"\xE2\x82\":1}", "the string is not valid UTF-8"},
};

class JsonError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(JsonError, ReportsMessage) {
    const auto r = loom::parse(GetParam().text);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(All, JsonError, ::testing::ValuesIn(JSON_ERRORS), loom::test::RowName{});

std::string nested_arrays(std::size_t count) {
    return std::string(count, '[') + std::string(count, ']');
}

TEST(JsonDepth, AcceptsSixtyFiveNestedArraysAndRefusesTheSixtySixth) {
    const auto deepest = loom::parse(nested_arrays(65));
    ASSERT_TRUE(deepest.has_value()) << deepest.error();
    std::size_t levels = 0;
    for (const Json* v = &*deepest; v != nullptr; ++levels) {
        ASSERT_EQ(v->kind(), JsonKind::Array);
        v = v->as_array()->empty() ? nullptr : &v->as_array()->front();
    }
    EXPECT_EQ(levels, 65u);

    const auto too_deep = loom::parse(nested_arrays(66));
    ASSERT_FALSE(too_deep.has_value());
    EXPECT_EQ(too_deep.error(), "nesting is too deep at byte 65");
}

std::string nested_members(std::size_t pairs) {
    std::string text;
    for (std::size_t i = 0; i < pairs; ++i) text += R"({"a":[)";
    text += "1";
    for (std::size_t i = 0; i < pairs; ++i) text += "]}";
    return text;
}

TEST(JsonDepth, CountsObjectsArraysAndScalarsAlike) {
    // 64 containers put the number at depth 64, the deepest allowed.
    const auto fits = loom::parse(nested_members(32));
    EXPECT_TRUE(fits.has_value());
    // 66 containers: the 66th, at depth 65, is the '[' of the 33rd group of six bytes.
    const auto too_deep = loom::parse(nested_members(33));
    ASSERT_FALSE(too_deep.has_value());
    EXPECT_EQ(too_deep.error(), "nesting is too deep at byte 197");
    // A scalar counts as a level too: 65 arrays cannot hold a number.
    const auto scalar = loom::parse(std::string(65, '[') + "1" + std::string(65, ']'));
    ASSERT_FALSE(scalar.has_value());
    EXPECT_EQ(scalar.error(), "nesting is too deep at byte 65");
}

TEST(JsonDepth, DepthIsCheckedBeforeTheEndOfInput) {
    const auto at_limit = loom::parse(std::string(65, '['));
    ASSERT_FALSE(at_limit.has_value());
    EXPECT_EQ(at_limit.error(), "nesting is too deep at byte 65");

    const auto below = loom::parse(std::string(64, '['));
    ASSERT_FALSE(below.has_value());
    EXPECT_EQ(below.error(), "unexpected end of input at byte 64");
}

struct NumberCase {
    const char* name;
    std::string_view text;
    double value;
};

constexpr double INF = std::numeric_limits<double>::infinity();

const NumberCase NUMBERS[] = {
    {"Integer", "42", 42.0},
    {"Negative", "-2.5", -2.5},
    {"PlusSign", "+5", 5.0},
    {"LeadingZeros", "007", 7.0},
    {"NoIntegerDigits", ".5", 0.5},
    {"NoFractionDigits", "5.", 5.0},
    {"CapitalExponentWithPlus", "1E+3", 1000.0},
    {"NegativeExponent", "25e-2", 0.25},
    {"SignedNoIntegerDigits", "-.25", -0.25},
    {"CorrectlyRoundedTenth", "0.1", 0.1},
    {"TieToEven", "9007199254740993", 9007199254740992.0},
    {"LongInteger", "123456789012345678901234567890", 123456789012345678901234567890.0},
    {"LargestDouble", "1.7976931348623157e308", DBL_MAX},
    {"SmallestSubnormal", "4.9e-324", std::numeric_limits<double>::denorm_min()},
    {"JustAboveHalfSubnormal", "2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
    {"OverflowsToInfinity", "1e999", INF},
    {"RoundsUpToInfinity", "1.7976931348623159e308", INF},
    {"OverflowsToNegativeInfinity", "-1e999", -INF},
    {"SmallMantissaHugeExponent", "0.0000001e400", INF},
    {"HugeExponentDigits", "1e99999999999999999999999", INF},
    {"UnderflowsToZero", "1e-999", 0.0},
    {"BelowHalfSubnormal", "2.4703282292062327e-324", 0.0},
    {"LargeMantissaTinyExponent", "100000e-330", 0.0},
    {"Zero", "0", 0.0},
};

class JsonNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(JsonNumber, ReadsTheCorrectlyRoundedDouble) {
    const auto r = loom::parse(GetParam().text);
    ASSERT_TRUE(r.has_value()) << r.error();
    ASSERT_EQ(r->kind(), JsonKind::Number);
    EXPECT_EQ(*r->as_number(), GetParam().value);
    EXPECT_EQ(std::signbit(*r->as_number()), std::signbit(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(All, JsonNumber, ::testing::ValuesIn(NUMBERS), loom::test::RowName{});

TEST(JsonNumber, KeepsTheSignOfZero) {
    for (std::string_view text : {"-0", "-0.0e5", "-1e-999"}) {
        SCOPED_TRACE(text);
        const auto r = loom::parse(text);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(*r->as_number(), 0.0);
        EXPECT_TRUE(std::signbit(*r->as_number()));
    }
}

struct StringCase {
    const char* name;
    std::string_view text;     // the JSON text
    std::string_view expected; // the bytes of the string value
};

constexpr StringCase STRINGS[] = {
    {"Empty", R"("")", ""},
    {"SimpleEscapes", R"("a\"b\\c\/d")", "a\"b\\c/d"},
    {"ControlEscapes", R"("\b\f\n\r\t")", "\b\f\n\r\t"},
    {"RawControlBytesKept", "\"a\tb\x01\n\"", "a\tb\x01\n"},
    {"RawUtf8Kept", "\"h\xC3\xA9\xF0\x9F\x98\x80\"", "h\xC3\xA9\xF0\x9F\x98\x80"},
    {"UnicodeEscapes", R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
    {"NulEscape", R"("a\u0000b")", "a\0b"sv},
    {"PlusInUnicodeEscape", R"("\u+041")", "A"},
    {"SurrogatePair", R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
    {"LowerCaseSurrogatePair", R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
    {"HighestPair", R"("\uDBFF\uDFFF")", "\xF4\x8F\xBF\xBF"},
    {"LoneLowSurrogate", R"("\uDE00")", "\xEF\xBF\xBD"},
    {"LoneHighSurrogateAtEnd", R"("\uD83D")", "\xEF\xBF\xBD"},
    {"HighSurrogateThenLetter", R"("\uD83Dx")", "\xEF\xBF\xBDx"},
    {"HighSurrogateThenEscapedLetter", R"("\uD83D\u0041")", "\xEF\xBF\xBD" "A"},
    {"HighSurrogateThenOtherEscape", R"("\uD83D\n")", "\xEF\xBF\xBD\n"},
    {"TwoHighsThenLow", R"("\uD83D\uD83D\uDE00")", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    {"LowThenHigh", R"("\uDE00\uD83D")", "\xEF\xBF\xBD\xEF\xBF\xBD"},
};

class JsonString : public ::testing::TestWithParam<StringCase> {};

TEST_P(JsonString, ReadsTheBytes) {
    const auto r = loom::parse(GetParam().text);
    ASSERT_TRUE(r.has_value()) << r.error();
    ASSERT_EQ(r->kind(), JsonKind::String);
    EXPECT_EQ(*r->as_string(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, JsonString, ::testing::ValuesIn(STRINGS), loom::test::RowName{});

Json array(Json::Array elements) { return Json{std::move(elements)}; }
Json object(Json::Object members) { return Json{std::move(members)}; }

TEST(JsonParse, BuildsTheWholeTree) {
    const auto r = loom::parse(" \t\r\n{\"list\" : [1, -2.5e1, \"x\", true, false, null, [], {}],\n"
                               "\"inner\":{\"k\":\"v\"}} \n");
    ASSERT_TRUE(r.has_value()) << r.error();
    const Json expected = object({
        {"list", array({Json{1.0}, Json{-25.0}, Json{std::string("x")}, Json{true}, Json{false}, Json{},
                        array({}), object({})})},
        {"inner", object({{"k", Json{std::string("v")}}})},
    });
    EXPECT_EQ(*r, expected);
}

TEST(JsonParse, KindsMatchTheirTags) {
    struct Row { std::string_view text; JsonKind kind; int tag; };
    const Row rows[] = {{"null", JsonKind::Null, 0},  {"true", JsonKind::Boolean, 1},
                        {"1", JsonKind::Number, 2},   {R"("a")", JsonKind::String, 3},
                        {"[]", JsonKind::Array, 4},   {"{}", JsonKind::Object, 5}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto r = loom::parse(row.text);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(r->kind(), row.kind);
        EXPECT_EQ(static_cast<int>(r->kind()), row.tag);
    }
}

TEST(JsonGet, KeepsRepeatedKeysAndGivesTheFirst) {
    const auto r = loom::parse(R"({"k":1,"j":3,"k":2})");
    ASSERT_TRUE(r.has_value()) << r.error();
    const Json::Object& members = *r->as_object();
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0], (Json::Member{"k", Json{1.0}}));
    EXPECT_EQ(members[1], (Json::Member{"j", Json{3.0}}));
    EXPECT_EQ(members[2], (Json::Member{"k", Json{2.0}}));
    const Json* k = r->get("k");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(*k, Json{1.0});
}

TEST(JsonGet, ComparesKeysByteForByte) {
    const auto r = loom::parse(R"({"K":1,"k ":2,"\u00e9":3})");
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->get("k"), nullptr);
    EXPECT_EQ(r->get(""), nullptr);
    ASSERT_NE(r->get("\xC3\xA9"), nullptr);
    EXPECT_EQ(*r->get("\xC3\xA9"), Json{3.0});
}

TEST(JsonGet, GivesNothingForValuesThatAreNotObjects) {
    for (std::string_view text : {"null", "true", "1", R"("k")", R"(["k"])", R"([{"k":1}])"}) {
        SCOPED_TRACE(text);
        const auto r = loom::parse(text);
        ASSERT_TRUE(r.has_value()) << r.error();
        EXPECT_EQ(r->get("k"), nullptr);
    }
}

} // namespace
