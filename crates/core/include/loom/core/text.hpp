#pragma once
// Small text helpers shared by the readers and the wrappers: UTF-8 decoding, the Unicode
// White_Space set, ASCII case folding and the shortest decimal of a 32-bit float.

#include <cstddef>
#include <string>
#include <string_view>

namespace loom::text {

// One decoded character of a UTF-8 text and the number of bytes it took.
struct Decoded {
    char32_t code = 0;
    std::size_t length = 0; // 0 at the end of the text
    bool valid = true;      // false for a byte that starts no well-formed sequence
};

// Decodes the character at `at`. A byte that does not start a well-formed sequence decodes
// as U+FFFD with length 1 and `valid` false, so every text can be walked character by character.
Decoded decode_utf8(std::string_view text, std::size_t at) noexcept;

// Whether `text` is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view text) noexcept;

// Appends `code` in UTF-8.
void append_utf8(std::string& out, char32_t code);

// The Unicode White_Space property: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
bool is_white_space(char32_t c) noexcept;

// `text` without Unicode white space at either end.
std::string_view trim(std::string_view text) noexcept;

// Equal after folding the ASCII letters A to Z to lower case; lengths must match.
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) noexcept;

// The shortest decimal that reads back as the same 32-bit float, written without exponent:
// "48", "-96", "0.001", "0.1", "2000"; infinities as "inf" and "-inf", a NaN as "NaN".
std::string shortest(float value);

} // namespace loom::text
