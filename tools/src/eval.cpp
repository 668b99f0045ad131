// loom eval: parses an expression over named values and prints what it evaluates to.

#include "loom/tool/commands.hpp"

#include "loom/blocks/expr.hpp"
#include "loom/core/text.hpp"

#include <ostream>
#include <vector>

namespace loom::tool {

namespace {

constexpr OptionSpec OPTIONS[] = {
    {"--set", "NAME=VALUE", true},
    {"--rate", "HZ", false},
    {"--tempo", "BPM", false},
};

// The value of a number option, or a usage message.
Result<float> number_option(const Args& args, std::string_view name, float fallback) {
    const std::optional<std::string> given = args.value(name);
    if (!given) return fallback;
    const std::optional<double> n = parse_number(*given);
    if (!n) return fail(std::string(name) + " " + *given + ": '" + *given + "' is not a number");
    return static_cast<float>(*n);
}

int run_eval(const Args& args, Console& console) {
    if (args.positional.empty()) return usage_error(EVAL, console, "the expression EXPR is missing");
    // Words of an unquoted expression ("loom eval 1 + 2") are read as one text.
    std::string text;
    for (std::size_t i = 0; i < args.positional.size(); ++i) text += (i > 0 ? " " : "") + args.positional[i];

    auto settings = parse_settings(args);
    if (!settings) return usage_error(EVAL, console, settings.error());
    std::vector<std::string> names;
    std::vector<float> values;
    for (const Setting& s : *settings) {
        const std::optional<double> n = parse_number(s.value);
        if (!n) return usage_error(EVAL, console, "--set " + s.name + "=" + s.value + ": '" + s.value + "' is not a number");
        names.push_back(s.name);
        values.push_back(static_cast<float>(*n));
    }
    const auto rate = number_option(args, "--rate", 48000.0f);
    if (!rate) return usage_error(EVAL, console, rate.error());
    const auto tempo = number_option(args, "--tempo", 120.0f);
    if (!tempo) return usage_error(EVAL, console, tempo.error());

    const Expr::Lookup lookup = [&names](std::string_view name) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return i;
        return std::nullopt;
    };
    const auto expr = Expr::parse(text, lookup);
    if (!expr) {
        // The parser's message, alone, as it gives it.
        console.err << expr.error() << "\n";
        return EXIT_INPUT;
    }
    const float value = eval(*expr, expr::Context{.values = values, .sample_rate = *rate, .tempo = *tempo});
    console.out << text::shortest(value) << "\n" << (is_const(*expr) ? "constant" : "not constant") << "\n";
    return EXIT_OK;
}

} // namespace

const Command EVAL = {
    .name = "eval",
    .summary = "evaluate an expression of the description language",
    .usage = "loom eval EXPR [--set NAME=VALUE ...] [--rate HZ] [--tempo BPM]",
    .help =
        "Parses EXPR with the --set names as its parameters (in the order given), evaluates it in\n"
        "32-bit floats and prints the value as the shortest decimal that reads back as the same\n"
        "float (\"0.5\", \"512\", \"-4\", \"inf\", \"NaN\"), then \"constant\" or \"not constant\": whether\n"
        "a description could fix it when the plug-in is built. A parse failure prints the parser's\n"
        "message alone on standard error. Words after EXPR are joined to it with blanks.\n"
        "\n"
        "Options:\n"
        "  --set NAME=VALUE  a parameter and its value (repeatable)\n"
        "  --rate HZ         the sample rate that `rate` reads (default 48000)\n"
        "  --tempo BPM       the tempo that `bpm` and sync() read (default 120)\n"
        "  -h, --help        show this help\n"
        "\n"
        "Example: loom eval 'db2lin(drive) * 2' --set drive=-6\n"
        "\n"
        "Exit status: 0 it evaluates, 1 it does not parse, 2 a wrong command line.\n",
    .options = OPTIONS,
    .run = run_eval,
};

} // namespace loom::tool
