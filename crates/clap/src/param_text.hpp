#pragma once
// Parameter texts for CLAP hosts: display texts cut to a byte budget at a character
// boundary, and display texts read back into values.

#include "loom/core/param.hpp"

#include <cstddef>
#include <optional>
#include <string_view>

namespace loom::clap {

// [any-thread] The longest start of `text` of at most `limit` bytes that ends between two
// UTF-8 characters (a byte that starts no character counts as one).
std::string_view utf8_prefix(std::string_view text, std::size_t limit) noexcept;

// [any-thread] A decimal number: optional sign, digits with an optional decimal point (at least
// one digit), optional exponent after "e" or "E"; or "inf", "infinity", "nan" in any case.
// The whole text must be the number; nothing for anything else.
std::optional<double> parse_number(std::string_view text) noexcept;

// [main-thread] The value a display text stands for, unchecked against the parameter's range:
// a choice name (ASCII case ignored) or a number for a Choice; on/off, true/false, 1/0 for a
// Toggle; the first word without its trailing letters and "%" signs, as a number, otherwise.
// Nothing for invalid UTF-8 or a text it cannot read.
std::optional<double> text_to_value(const ParamInfo& info, std::string_view text) noexcept;

} // namespace loom::clap
