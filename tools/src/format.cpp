#include "loom/tool/format.hpp"

#include "loom/core/text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace loom::tool {

std::string format_number(double value) {
    const auto narrow = static_cast<float>(value);
    if (std::isnan(value) || static_cast<double>(narrow) == value) return text::shortest(narrow);
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
}

std::string format_fixed(double value, int decimals) {
    if (std::isnan(value)) return "NaN";
    if (value < -999.0) return "-inf";
    if (value > 999999.0) return "inf";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string out = buffer;
    // "-0.00" reads as a sign error to people; show it as 0.
    if (out.find_first_not_of("-0.") == std::string::npos && out[0] == '-') out.erase(0, 1);
    return out;
}

std::string join(std::span<const std::string> items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += separator;
        out += items[i];
    }
    return out;
}

std::string join(std::span<const std::string_view> items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += separator;
        out += items[i];
    }
    return out;
}

std::size_t text_width(std::string_view text) noexcept {
    std::size_t n = 0;
    for (std::size_t at = 0; at < text.size();) {
        const text::Decoded d = text::decode_utf8(text, at);
        at += d.length == 0 ? 1 : d.length;
        ++n;
    }
    return n;
}

TextTable::TextTable(std::vector<std::string> header, std::vector<std::size_t> right_aligned)
    : right(std::move(right_aligned)) {
    rows.push_back(std::move(header));
}

void TextTable::add(std::vector<std::string> row) { rows.push_back(std::move(row)); }

std::string TextTable::render(std::string_view indent) const {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        if (widths.size() < row.size()) widths.resize(row.size(), 0);
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], text_width(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line(indent);
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) line += "  ";
            const std::string pad(widths[c] - text_width(row[c]), ' ');
            const bool at_right = std::find(right.begin(), right.end(), c) != right.end();
            line += at_right ? pad + row[c] : row[c] + pad;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line;
        out += '\n';
    }
    return out;
}

} // namespace loom::tool
