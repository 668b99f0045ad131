// loom check: compiles a graph description against parameter names and shows what it built.

#include "loom/tool/commands.hpp"

#include "kiln/kiln.hpp"
#include "loom/blocks/graph.hpp"
#include "loom/core/text.hpp"
#include "loom/tool/graph_summary.hpp"
#include "loom/tool/text_file.hpp"

#include <ostream>
#include <string>
#include <vector>

namespace loom::tool {

namespace {

constexpr float CHECK_RATE = 48000.0f;

constexpr OptionSpec OPTIONS[] = {{"--params", "NAME,NAME,...", false}};

// The names of --params: split at commas, white space trimmed; an empty text gives none.
Result<std::vector<std::string>> param_names(const Args& args) {
    std::vector<std::string> names;
    const std::optional<std::string> given = args.value("--params");
    if (!given) {
        for (const ParamInfo& p : kiln::PARAMS) names.emplace_back(p.id);
        return names;
    }
    if (text::trim(*given).empty()) return names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = given->find(',', start);
        const std::string_view item =
            text::trim(std::string_view(*given).substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (item.empty()) return fail("--params has an empty name");
        for (const std::string& n : names)
            if (n == item) return fail("--params names '" + n + "' twice");
        names.emplace_back(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return names;
}

int run_check(const Args& args, Console& console) {
    if (args.positional.empty()) return usage_error(CHECK, console, "the description FILE is missing (use - for standard input)");
    if (args.positional.size() > 1) return usage_error(CHECK, console, "unexpected argument '" + args.positional[1] + "'");
    auto names = param_names(args);
    if (!names) return usage_error(CHECK, console, names.error());
    const std::vector<std::string_view> views(names->begin(), names->end());

    auto text = read_text(args.positional[0], console.in);
    if (!text) return input_error(CHECK, console, text.error());
    auto graph = Graph::from_str(*text, views);
    if (!graph) {
        // The reader's or compiler's message, alone, as it gives it.
        console.err << graph.error() << "\n";
        return EXIT_INPUT;
    }
    const auto description = GraphSpec::from_str(*text);
    if (!description) {
        console.err << description.error() << "\n";
        return EXIT_INPUT;
    }
    graph->prepare(PrepareContext{.max_frames = 512, .sample_rate = CHECK_RATE, .channels = 2});
    console.out << summarise_graph(*description, *graph, views, CHECK_RATE);
    return EXIT_OK;
}

} // namespace

const Command CHECK = {
    .name = "check",
    .summary = "compile a graph description and show its nodes",
    .usage = "loom check FILE [--params NAME,NAME,...]",
    .help =
        "Reads a graph description (FILE, or - for standard input) and compiles it against the\n"
        "parameter names. On success prints the node tree, each node with its path as messages\n"
        "name it, and the latency of the graph prepared for two channels at 48000 Hz. On failure\n"
        "prints the reader's or compiler's message alone on standard error.\n"
        "\n"
        "Options:\n"
        "  --params NAME,...  the parameter names, in parameter order (default: Kiln's\n"
        "                     drive,mode,tone,bypass); an empty text gives no parameters\n"
        "  -h, --help         show this help\n"
        "\n"
        "Exit status: 0 it compiles, 1 it does not or cannot be read, 2 a wrong command line.\n",
    .options = OPTIONS,
    .run = run_check,
};

} // namespace loom::tool
