#include "loom/core/text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace loom::text {

namespace {

constexpr Decoded INVALID{0xFFFD, 1, false};

bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

} // namespace

Decoded decode_utf8(std::string_view text, std::size_t at) noexcept {
    if (at >= text.size()) return {};
    const auto b0 = static_cast<unsigned char>(text[at]);
    if (b0 < 0x80) return {b0, 1, true};
    std::size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, code = b0 & 0x1Fu, least = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, code = b0 & 0x0Fu, least = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, code = b0 & 0x07u, least = 0x10000;
    } else {
        return INVALID;
    }
    if (text.size() - at < length) return INVALID;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[at + i]);
        if (!is_continuation(b)) return INVALID;
        code = (code << 6) | (b & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return INVALID;
    return {code, length, true};
}

bool is_valid_utf8(std::string_view text) noexcept {
    for (std::size_t at = 0; at < text.size();) {
        const Decoded d = decode_utf8(text, at);
        if (!d.valid) return false;
        at += d.length;
    }
    return true;
}

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool is_white_space(char32_t c) noexcept {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::string_view trim(std::string_view text) noexcept {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const Decoded d = decode_utf8(text, begin);
        if (!is_white_space(d.code)) break;
        begin += d.length;
    }
    // Scan forward once more, remembering where the last non-white character ends.
    std::size_t end = begin;
    for (std::size_t at = begin; at < text.size();) {
        const Decoded d = decode_utf8(text, at);
        at += d.length;
        if (!is_white_space(d.code)) end = at;
    }
    return text.substr(begin, end - begin);
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

std::string shortest(float value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // Shortest round-trip digits in scientific form, "d.ddde±x", then laid out without exponent.
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    (void)ec;
    const std::string_view sci(buf, static_cast<std::size_t>(end - buf));
    const std::size_t e = sci.find('e');
    std::string_view mantissa = sci.substr(0, e);
    const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());
    std::string out;
    if (!mantissa.empty() && mantissa.front() == '-') {
        out += '-';
        mantissa.remove_prefix(1);
    }
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits += c;
    // The value is 0.digits × 10^(exponent + 1).
    const int point = exponent + 1;
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        out += digits;
        out.append(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        out += digits.substr(0, static_cast<std::size_t>(point));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(point));
    }
    return out;
}

} // namespace loom::text
