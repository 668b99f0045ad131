#include "loom/core/text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using loom::text::shortest;

TEST(Shortest, WritesTheShortestRoundTripDecimalWithoutExponent) {
    struct Row { float value; const char* text; };
    const Row rows[] = {
        {48.0f, "48"}, {-96.0f, "-96"}, {0.001f, "0.001"}, {0.1f, "0.1"}, {2000.0f, "2000"},
        {0.5f, "0.5"}, {1e-5f, "0.00001"}, {1e20f, "100000000000000000000"}, {0.0f, "0"},
        {-0.0f, "-0"}, {12.5f, "12.5"}, {16000.0f, "16000"}, {1.17549435e-38f, "0.000000000000000000000000000000000000011754944"},
        {std::numeric_limits<float>::infinity(), "inf"}, {-std::numeric_limits<float>::infinity(), "-inf"},
        {std::nanf(""), "NaN"}};
    for (const Row& row : rows) EXPECT_EQ(shortest(row.value), row.text) << row.text;
}

TEST(Text, TrimsUnicodeWhiteSpaceOnly) {
    EXPECT_EQ(loom::text::trim(" \t HIGHPASS \u3000\u2028"), "HIGHPASS");
    EXPECT_EQ(loom::text::trim("\u00A0a b\u0085"), "a b");
    EXPECT_EQ(loom::text::trim("\u200Bx"), "\u200Bx"); // zero-width space is not white space
    EXPECT_EQ(loom::text::trim("   "), "");
}

TEST(Text, WhiteSpaceSetIsExactlyTheUnicodeProperty) {
    const char32_t white[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A,
                              0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    for (char32_t c : white) EXPECT_TRUE(loom::text::is_white_space(c)) << static_cast<unsigned>(c);
    const char32_t other[] = {0x08, 0x0E, 0x1F, 0x21, 0x84, 0x86, 0x180E, 0x200B, 0x2027, 0x202A, 0xFEFF};
    for (char32_t c : other) EXPECT_FALSE(loom::text::is_white_space(c)) << static_cast<unsigned>(c);
}

TEST(Text, ValidatesUtf8) {
    EXPECT_TRUE(loom::text::is_valid_utf8("a\u00E9\u20AC\U0001F600"));
    EXPECT_TRUE(loom::text::is_valid_utf8("\xEF\xBF\xBD"));
    EXPECT_FALSE(loom::text::is_valid_utf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(loom::text::is_valid_utf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(loom::text::is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(loom::text::is_valid_utf8("\xE2\x82"));          // cut short
    EXPECT_FALSE(loom::text::is_valid_utf8("\x80"));
}

TEST(Text, FoldsAsciiCaseOnly) {
    EXPECT_TRUE(loom::text::equal_ignoring_ascii_case("HighPass", "highpass"));
    EXPECT_FALSE(loom::text::equal_ignoring_ascii_case("\u00C9", "\u00E9"));
    EXPECT_FALSE(loom::text::equal_ignoring_ascii_case("high", "highpass"));
}

} // namespace
