#pragma once
// Text for people: numbers in their shortest exact form, decibels, lists, and a plain text
// table with aligned columns. Used by every command that prints more than one line.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loom::tool {

// The shortest decimal that reads back as `value`: through `text::shortest` when the value
// is a 32-bit float ("0.5", "512", "-4", "inf", "NaN"), else the shortest 64-bit form.
std::string format_number(double value);

// `value` with exactly `decimals` decimals ("-6.02"); "-inf" below -999.
std::string format_fixed(double value, int decimals);

// The items joined by `separator`.
std::string join(std::span<const std::string> items, std::string_view separator);
std::string join(std::span<const std::string_view> items, std::string_view separator);

// A text table: one header row, then rows; columns are separated by two blanks and padded
// to their widest cell (counted in characters, not bytes). Columns listed in
// `right_aligned` are padded on the left. Trailing blanks are trimmed.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> header, std::vector<std::size_t> right_aligned = {});
    void add(std::vector<std::string> row);
    // Every line ends with '\n'; each is prefixed with `indent`.
    std::string render(std::string_view indent = "") const;

private:
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> right;
};

// Characters (code points) in a UTF-8 text.
std::size_t text_width(std::string_view text) noexcept;

} // namespace loom::tool
