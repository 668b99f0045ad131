#include "loom/tool/cli.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace loom::tool {

namespace {

const OptionSpec* find_option(std::span<const OptionSpec> options, std::string_view name) noexcept {
    for (const OptionSpec& o : options)
        if (o.name == name) return &o;
    return nullptr;
}

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace

bool Args::has(std::string_view name) const noexcept {
    return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == name; });
}

std::optional<std::string> Args::value(std::string_view name) const {
    for (const auto& [n, v] : options)
        if (n == name) return v;
    return std::nullopt;
}

std::vector<std::string> Args::values(std::string_view name) const {
    std::vector<std::string> out;
    for (const auto& [n, v] : options)
        if (n == name) out.push_back(v);
    return out;
}

Result<Args> parse_args(std::span<const std::string> words, std::span<const OptionSpec> options) {
    Args args;
    for (const std::string& w : words) {
        if (w == "--") break;
        if (w == "-h" || w == "--help") {
            args.help = true;
            return args;
        }
    }
    bool options_ended = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (options_ended || w.size() < 2 || w[0] != '-' || w[1] != '-') {
            args.positional.push_back(w);
            continue;
        }
        if (w == "--") {
            options_ended = true;
            continue;
        }
        const std::size_t equals = w.find('=');
        const std::string name = w.substr(0, equals);
        if (name == "--help") return fail("the option '--help' takes no value");
        const OptionSpec* option = find_option(options, name);
        if (option == nullptr) return fail("unknown option '" + name + "'");
        std::string value;
        if (option->value.empty()) {
            if (equals != std::string::npos) return fail("the option '" + name + "' takes no value");
        } else if (equals != std::string::npos) {
            value = w.substr(equals + 1);
        } else {
            if (i + 1 == words.size())
                return fail("the option '" + name + "' needs a value (" + name + " " + std::string(option->value) + ")");
            value = words[++i];
        }
        if (!option->repeatable && args.has(name)) return fail("the option '" + name + "' is given twice");
        args.options.emplace_back(name, std::move(value));
    }
    return args;
}

std::optional<double> parse_number(std::string_view text) noexcept {
    std::string_view rest = text;
    bool negative = false;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty() || rest[0] == '+' || rest[0] == '-') return std::nullopt;
    const std::string word = lower_ascii(rest);
    double value = 0.0;
    if (word == "inf" || word == "infinity") {
        value = std::numeric_limits<double>::infinity();
    } else if (word == "nan") {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        // Only digits, one point and an exponent: from_chars alone would also take "inf" forms
        // and hexadecimal-looking words are refused by the general format anyway.
        if (!((rest[0] >= '0' && rest[0] <= '9') || rest[0] == '.')) return std::nullopt;
        const char* end = rest.data() + rest.size();
        const auto [ptr, ec] = std::from_chars(rest.data(), end, value, std::chars_format::general);
        if (ptr != end) return std::nullopt;
        if (ec == std::errc::result_out_of_range) {
            // Too large gives infinity, too small gives zero, as a decimal-to-float conversion does.
            const std::size_t e = word.find('e');
            const bool tiny = e != std::string::npos && e + 1 < word.size() && word[e + 1] == '-';
            value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        } else if (ec != std::errc{}) {
            return std::nullopt;
        }
    }
    return negative ? -value : value;
}

std::optional<std::uint64_t> parse_count(std::string_view text, std::uint64_t min, std::uint64_t max) noexcept {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || ptr != text.data() + text.size() || value < min || value > max) return std::nullopt;
    return value;
}

Result<Setting> parse_setting(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return fail("--set " + std::string(text) + ": write it as NAME=VALUE");
    if (equals == 0) return fail("--set " + std::string(text) + ": the name is missing before '='");
    return Setting{std::string(text.substr(0, equals)), std::string(text.substr(equals + 1))};
}

Result<std::vector<Setting>> parse_settings(const Args& args) {
    std::vector<Setting> out;
    for (const std::string& text : args.values("--set")) {
        auto s = parse_setting(text);
        if (!s) return fail(std::move(s).error());
        for (const Setting& earlier : out)
            if (earlier.name == s->name) return fail("--set gives '" + s->name + "' twice");
        out.push_back(std::move(*s));
    }
    return out;
}

} // namespace loom::tool
