#pragma once
// The words of one command's command line: positional arguments and options, read against
// the command's option table, and the readers of option values (numbers, counts, NAME=VALUE).
// Not the commands themselves (commands.hpp).

#include "loom/core/result.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace loom::tool {

// One option a command accepts.
struct OptionSpec {
    std::string_view name;    // with its dashes: "--params"
    std::string_view value;   // what the value is called in help ("NAME=VALUE"); empty for a flag
    bool repeatable = false;  // may be given more than once
};

// A command line read against an option table.
struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options; // (name, value) in the order given
    bool help = false;                                        // -h or --help was given

    bool has(std::string_view name) const noexcept;
    // The value of an option given once, or nothing when it was not given.
    std::optional<std::string> value(std::string_view name) const;
    // Every value of a repeatable option, in the order given.
    std::vector<std::string> values(std::string_view name) const;
};

// Reads the words after the command name. "-h" and "--help" ask for help (and then nothing
// else is checked); "--" ends the options; "--name=value" and "--name value" both give a
// value. Every other word is positional, including "-" (standard input) and words such as
// "-2^2" that begin with a single minus. Fails with one message: an unknown option, a missing
// value, a value given to a flag, or an option given twice that may be given once.
Result<Args> parse_args(std::span<const std::string> words, std::span<const OptionSpec> options);

// A decimal number: optional sign, digits with an optional point, optional exponent, or
// inf, infinity and nan in any case. Nothing else, no white space.
std::optional<double> parse_number(std::string_view text) noexcept;

// A whole number from `min` to `max`, in decimal digits only.
std::optional<std::uint64_t> parse_count(std::string_view text, std::uint64_t min, std::uint64_t max) noexcept;

// One "NAME=VALUE" of a --set option.
struct Setting {
    std::string name;
    std::string value;
};

// Splits at the first '='. Fails when there is no '=' or the name is empty.
Result<Setting> parse_setting(std::string_view text);

// Every --set of `args`, read with `parse_setting`; fails on the first bad one or on a name
// given twice.
Result<std::vector<Setting>> parse_settings(const Args& args);

} // namespace loom::tool
