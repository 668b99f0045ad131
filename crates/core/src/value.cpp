#include "loom/core/value.hpp"

#include "loom/core/text.hpp"

#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

namespace loom {

const Json* Json::get(std::string_view key) const noexcept {
    const Object* members = as_object();
    if (members == nullptr) return nullptr;
    for (const Member& member : *members) {
        if (member.first == key) return &member.second;
    }
    return nullptr;
}

namespace {

// Values may nest this deep below the top-level value (which is at depth 0).
constexpr std::size_t MAX_DEPTH = 64;

bool is_json_space(char c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_number_byte(char c) noexcept {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

int hex_digit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Four bytes as an unsigned hexadecimal code unit: four hex digits, or '+' and three.
bool read_hex4(std::string_view four, char32_t& unit) noexcept {
    std::size_t at = four[0] == '+' ? 1 : 0;
    char32_t result = 0;
    for (; at < 4; ++at) {
        const int digit = hex_digit(four[at]);
        if (digit < 0) return false;
        result = result * 16 + static_cast<char32_t>(digit);
    }
    unit = result;
    return true;
}

bool is_high_surrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// For a decimal that does not fit a double: whether it is too large (rather than too small).
// `digits` is the unsigned text, already known to read as a decimal. The decimal exponent of
// its first non-zero digit decides: beyond the double range it is at least 308 or at most -324.
bool exceeds_double(std::string_view digits) noexcept {
    constexpr long long LIMIT = 1'000'000'000'000LL;
    long long magnitude = 0; // decimal exponent of the first non-zero digit, before the exponent
    bool found = false;
    bool after_point = false;
    std::size_t at = 0;
    for (; at < digits.size() && digits[at] != 'e' && digits[at] != 'E'; ++at) {
        const char c = digits[at];
        if (c == '.') {
            after_point = true;
        } else if (!found) {
            if (after_point) --magnitude;
            if (c != '0') found = true;
        } else if (!after_point && magnitude < LIMIT) {
            ++magnitude;
        }
        if (magnitude < -LIMIT) magnitude = -LIMIT;
    }
    long long exponent = 0;
    if (at < digits.size()) {
        ++at;
        bool negative = false;
        if (digits[at] == '+' || digits[at] == '-') negative = digits[at++] == '-';
        for (; at < digits.size(); ++at) {
            if (exponent < LIMIT) exponent = exponent * 10 + (digits[at] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent >= 0;
}

// The recursive-descent reader. Each step either moves `pos` forward or fails with the
// message and the position of the fault.
class Parser {
public:
    explicit Parser(std::string_view input) noexcept : text(input) {}

    // document := space value space <end>
    Result<Json> document() {
        skip_space();
        Result<Json> result = value(0);
        if (!result) return result;
        skip_space();
        if (pos < text.size()) {
            return fail("unexpected text after the value at byte " + std::to_string(pos));
        }
        return result;
    }

private:
    std::string_view text;
    std::size_t pos = 0;

    std::unexpected<std::string> fail_at(std::string_view message, std::size_t at) const {
        std::string out(message);
        out += " at byte ";
        out += std::to_string(at);
        return fail(std::move(out));
    }
    std::unexpected<std::string> fail_here(std::string_view message) const { return fail_at(message, pos); }

    bool at_end() const noexcept { return pos >= text.size(); }

    void skip_space() noexcept {
        while (pos < text.size() && is_json_space(text[pos])) ++pos;
    }

    // value := string | array | object | "true" | "false" | "null" | number
    Result<Json> value(std::size_t depth) {
        if (depth > MAX_DEPTH) return fail_here("nesting is too deep");
        if (at_end()) return fail_here("unexpected end of input");
        switch (text[pos]) {
        case '"': {
            Result<std::string> s = string();
            if (!s) return std::unexpected(std::move(s).error());
            return Json{std::move(*s)};
        }
        case '[': return array(depth);
        case '{': return object(depth);
        case 't': return word("true", Json{true});
        case 'f': return word("false", Json{false});
        case 'n': return word("null", Json{});
        default: return number();
        }
    }

    // array := '[' space ( ']' | value space ( ',' space value space )* ']' )
    Result<Json> array(std::size_t depth) {
        ++pos;
        skip_space();
        Json::Array elements;
        if (!at_end() && text[pos] == ']') {
            ++pos;
            return Json{std::move(elements)};
        }
        for (;;) {
            skip_space();
            Result<Json> element = value(depth + 1);
            if (!element) return element;
            elements.push_back(std::move(*element));
            skip_space();
            if (at_end() || (text[pos] != ',' && text[pos] != ']')) return fail_here("expected a comma or ]");
            if (text[pos++] == ']') return Json{std::move(elements)};
        }
    }

    // object := '{' space ( '}' | member space ( ',' space member space )* '}' )
    // member := string space ':' space value
    Result<Json> object(std::size_t depth) {
        ++pos;
        skip_space();
        Json::Object members;
        if (!at_end() && text[pos] == '}') {
            ++pos;
            return Json{std::move(members)};
        }
        for (;;) {
            skip_space();
            if (at_end() || text[pos] != '"') return fail_here("expected a string key");
            Result<std::string> key = string();
            if (!key) return std::unexpected(std::move(key).error());
            skip_space();
            if (at_end() || text[pos] != ':') return fail_here("expected a colon");
            ++pos;
            skip_space();
            Result<Json> member = value(depth + 1);
            if (!member) return member;
            members.emplace_back(std::move(*key), std::move(*member));
            skip_space();
            if (at_end() || (text[pos] != ',' && text[pos] != '}')) return fail_here("expected a comma or }");
            if (text[pos++] == '}') return Json{std::move(members)};
        }
    }

    // One of the words true, false, null; only its own letters are compared.
    Result<Json> word(std::string_view expected, Json result) {
        if (text.substr(pos, expected.size()) != expected) return fail_here("unexpected word");
        pos += expected.size();
        return result;
    }

    // number := the longest run of 0-9 + - . e E, read as [+|-] decimal; anything else,
    // the empty run included, is not a value.
    Result<Json> number() {
        const std::size_t start = pos;
        std::size_t end = pos;
        while (end < text.size() && is_number_byte(text[end])) ++end;
        std::string_view run = text.substr(start, end - start);
        bool negative = false;
        if (!run.empty() && (run[0] == '+' || run[0] == '-')) {
            negative = run[0] == '-';
            run.remove_prefix(1);
        }
        // from_chars takes its own '-' sign; a second sign is not part of the syntax.
        if (run.empty() || run[0] == '+' || run[0] == '-') return fail_here("expected a value");
        double magnitude = 0.0;
        const auto [last, error] = std::from_chars(run.data(), run.data() + run.size(), magnitude,
                                                   std::chars_format::general);
        if (last != run.data() + run.size()) return fail_here("expected a value");
        if (error == std::errc::result_out_of_range) {
            magnitude = exceeds_double(run) ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (error != std::errc()) {
            return fail_here("expected a value");
        }
        pos = end;
        return Json{negative ? -magnitude : magnitude};
    }

    // string := '"' ( byte | escape )* '"', collected bytes valid UTF-8
    // escape := '\' ( '"' | '\' | '/' | b | f | n | r | t | u hex4 )
    Result<std::string> string() {
        ++pos;
        std::string out;
        for (;;) {
            if (at_end()) return fail_here("unterminated string");
            const char c = text[pos];
            if (c == '"') {
                ++pos;
                break;
            }
            if (c != '\\') {
                out += c;
                ++pos;
                continue;
            }
            if (pos + 1 >= text.size()) return fail_at("unterminated escape", text.size());
            const char selector = text[pos + 1];
            pos += 2;
            switch (selector) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                Result<char32_t> code = code_point();
                if (!code) return std::unexpected(std::move(code).error());
                text::append_utf8(out, *code);
                break;
            }
            default: return fail_here("unknown escape");
            }
        }
        if (!text::is_valid_utf8(out)) return fail("the string is not valid UTF-8");
        return out;
    }

    // The four bytes after "\u" as a code unit, at `pos`; moves past them.
    Result<char32_t> code_unit() {
        if (text.size() - pos < 4) return fail_here("short \\u escape");
        char32_t unit = 0;
        if (!read_hex4(text.substr(pos, 4), unit)) return fail_here("bad \\u escape");
        pos += 4;
        return unit;
    }

    // The code point of a "\u" escape whose four bytes start at `pos`: a high surrogate
    // directly followed by an escaped low one combines with it; any other surrogate is
    // U+FFFD, and an escape after an unpaired high surrogate is read on its own.
    Result<char32_t> code_point() {
        Result<char32_t> unit = code_unit();
        if (!unit) return unit;
        if (is_high_surrogate(*unit) && text.substr(pos, 2) == "\\u") {
            const std::size_t escape = pos;
            pos += 2;
            Result<char32_t> low = code_unit();
            if (!low) return low;
            if (is_low_surrogate(*low)) return 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
            pos = escape;
        }
        if (is_high_surrogate(*unit) || is_low_surrogate(*unit)) return U'\uFFFD';
        return unit;
    }
};

} // namespace

Result<Json> parse(std::string_view text) { return Parser(text).document(); }

} // namespace loom
