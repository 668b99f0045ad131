#include "param_text.hpp"

#include "loom/core/text.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace loom::clap {

namespace {

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
bool is_ascii_letter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Digits from `at` on; returns how many.
std::size_t digits(std::string_view s, std::size_t at) noexcept {
    std::size_t n = 0;
    while (at + n < s.size() && is_digit(s[at + n])) ++n;
    return n;
}

// The decimal exponent of the first non-zero digit of a well-formed unsigned number text,
// for telling an overflow (0 or more) from an underflow (below 0). Saturates far outside
// the double range.
std::int64_t leading_exponent(std::string_view s) noexcept {
    constexpr std::int64_t FAR = 1'000'000'000;
    std::int64_t before_point = 0; // digits before the decimal point
    std::int64_t first = -1;       // index among all digits of the first non-zero one
    std::int64_t index = 0;
    std::size_t at = 0;
    bool after_point = false;
    for (; at < s.size() && s[at] != 'e' && s[at] != 'E'; ++at) {
        if (s[at] == '.') {
            after_point = true;
            continue;
        }
        if (first < 0 && s[at] != '0') first = index;
        ++index;
        if (!after_point) ++before_point;
    }
    if (first < 0) return -FAR; // all zeros: the value is 0
    std::int64_t exponent = 0;
    if (at < s.size()) {
        ++at;
        bool negative = false;
        if (s[at] == '+' || s[at] == '-') negative = s[at++] == '-';
        for (; at < s.size() && exponent < FAR; ++at) exponent = exponent * 10 + (s[at] - '0');
        if (negative) exponent = -exponent;
    }
    return before_point - first - 1 + exponent;
}

} // namespace

std::string_view utf8_prefix(std::string_view text, std::size_t limit) noexcept {
    if (text.size() <= limit) return text;
    std::size_t at = 0;
    for (;;) {
        const text::Decoded d = text::decode_utf8(text, at);
        if (d.length == 0 || at + d.length > limit) break;
        at += d.length;
    }
    return text.substr(0, at);
}

std::optional<double> parse_number(std::string_view text) noexcept {
    bool negative = false;
    std::string_view body = text;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    constexpr double INF = std::numeric_limits<double>::infinity();
    if (text::equal_ignoring_ascii_case(body, "inf") || text::equal_ignoring_ascii_case(body, "infinity"))
        return negative ? -INF : INF;
    if (text::equal_ignoring_ascii_case(body, "nan")) return std::numeric_limits<double>::quiet_NaN();

    // number = digits ["." digits] [exponent], with at least one digit before the exponent
    std::size_t at = digits(body, 0);
    std::size_t mantissa_digits = at;
    if (at < body.size() && body[at] == '.') {
        const std::size_t fraction = digits(body, at + 1);
        mantissa_digits += fraction;
        at += 1 + fraction;
    }
    if (mantissa_digits == 0) return std::nullopt;
    if (at < body.size() && (body[at] == 'e' || body[at] == 'E')) {
        std::size_t e = at + 1;
        if (e < body.size() && (body[e] == '+' || body[e] == '-')) ++e;
        const std::size_t exponent_digits = digits(body, e);
        if (exponent_digits == 0) return std::nullopt;
        at = e + exponent_digits;
    }
    if (at != body.size()) return std::nullopt;

    double value = 0.0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error == std::errc::result_out_of_range)
        value = leading_exponent(body) >= 0 ? INF : 0.0; // beyond the double range either way
    else if (error != std::errc() || end != body.data() + body.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> text_to_value(const ParamInfo& info, std::string_view text) noexcept {
    if (!text::is_valid_utf8(text)) return std::nullopt;
    const std::string_view t = text::trim(text);
    switch (info.kind) {
    case ParamKind::Choice:
        for (std::size_t i = 0; i < info.choices.size(); ++i)
            if (text::equal_ignoring_ascii_case(t, info.choices[i])) return static_cast<double>(i);
        return parse_number(t);
    case ParamKind::Toggle:
        for (const std::string_view off : {"0", "off", "false"})
            if (text::equal_ignoring_ascii_case(t, off)) return 0.0;
        for (const std::string_view on : {"1", "on", "true"})
            if (text::equal_ignoring_ascii_case(t, on)) return 1.0;
        return std::nullopt;
    case ParamKind::Float:
    case ParamKind::ReadOnly:
        break;
    }
    // The first word, without the unit letters and percent signs that end it: "6dB" is 6.
    std::size_t end = 0;
    while (end < t.size()) {
        const text::Decoded d = text::decode_utf8(t, end);
        if (text::is_white_space(d.code)) break;
        end += d.length;
    }
    std::string_view word = t.substr(0, end);
    while (!word.empty() && (is_ascii_letter(word.back()) || word.back() == '%')) word.remove_suffix(1);
    return parse_number(word);
}

} // namespace loom::clap
