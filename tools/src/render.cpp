// loom render: processes a sound file offline through a CLAP plug-in or a graph description.

#include "loom/tool/commands.hpp"

#include "loom/core/plugin.hpp"
#include "loom/core/text.hpp"
#include "loom/tool/graph_render.hpp"
#include "loom/tool/plugin_render.hpp"
#include "loom/tool/text_file.hpp"
#include "loom/tool/wav.hpp"

#include <ostream>

namespace loom::tool {

namespace {

constexpr std::uint64_t DEFAULT_BLOCK = 512;
constexpr std::uint64_t LARGEST_BLOCK = 1 << 20;

constexpr OptionSpec OPTIONS[] = {
    {"--plugin", "PLUGIN.clap", false},
    {"--graph", "FILE", false},
    {"--set", "NAME=VALUE", true},
    {"--block", "N", false},
};

int run_render(const Args& args, Console& console) {
    if (args.positional.size() < 2)
        return usage_error(RENDER, console, args.positional.empty() ? "the input IN.wav and the output OUT.wav are missing"
                                                                    : "the output OUT.wav is missing");
    if (args.positional.size() > 2) return usage_error(RENDER, console, "unexpected argument '" + args.positional[2] + "'");
    const std::optional<std::string> plugin_path = args.value("--plugin");
    const std::optional<std::string> graph_path = args.value("--graph");
    if (!plugin_path && !graph_path) return usage_error(RENDER, console, "say what processes the sound: --plugin or --graph");
    if (plugin_path && graph_path) return usage_error(RENDER, console, "give only one of --plugin and --graph");
    std::uint64_t block = DEFAULT_BLOCK;
    if (const std::optional<std::string> b = args.value("--block")) {
        const std::optional<std::uint64_t> n = parse_count(*b, 1, LARGEST_BLOCK);
        if (!n) return usage_error(RENDER, console, "--block " + *b + ": N must be a whole number from 1 to " + std::to_string(LARGEST_BLOCK));
        block = *n;
    }
    auto settings = parse_settings(args);
    if (!settings) return usage_error(RENDER, console, settings.error());
    std::vector<GraphParam> params;
    if (graph_path) {
        auto p = graph_params(*settings);
        if (!p) return usage_error(RENDER, console, p.error());
        params = std::move(*p);
    }
    const std::string& in_path = args.positional[0];
    const std::string& out_path = args.positional[1];

    std::string description;
    if (graph_path) {
        auto text = read_text(*graph_path, console.in);
        if (!text) return input_error(RENDER, console, text.error());
        description = std::move(*text);
    }
    auto input = read_wav(in_path);
    if (!input) return input_error(RENDER, console, input.error());
    if (input->channel_count() > MAX_CHANNELS)
        return input_error(RENDER, console, "'" + in_path + "' has " + std::to_string(input->channel_count()) +
                                                " channels; at most " + std::to_string(MAX_CHANNELS) + " can be processed");

    Progress progress(console.err, wants_progress(console.err_is_terminal, input->frames(), input->sample_rate),
                      "rendering");
    Result<Audio> output = fail("nothing rendered");
    if (graph_path) {
        output = render_graph(description, params, *input, static_cast<std::uint32_t>(block), progress);
        if (!output) return input_error(RENDER, console, (*graph_path == "-" ? "standard input" : *graph_path) + ": " + output.error());
    } else {
        auto module = ClapModule::load(*plugin_path);
        if (!module) return input_error(RENDER, console, module.error());
        auto plugin = ClapPlugin::create(**module);
        if (!plugin) return input_error(RENDER, console, plugin.error());
        auto changes = resolve_settings(**plugin, *settings);
        if (!changes) return usage_error(RENDER, console, changes.error());
        output = render_plugin(**plugin, *input, *changes, static_cast<std::uint32_t>(block), progress);
        if (!output) return input_error(RENDER, console, output.error());
    }
    if (auto written = write_wav(out_path, *output); !written) return input_error(RENDER, console, written.error());
    console.out << "wrote " << out_path << ": " << output->frames() << " frames, " << output->channel_count()
                << (output->channel_count() == 1 ? " channel, " : " channels, ") << text::shortest(static_cast<float>(output->sample_rate))
                << " Hz, 32-bit float\n";
    return EXIT_OK;
}

} // namespace

const Command RENDER = {
    .name = "render",
    .summary = "process a WAV file through a CLAP plug-in or a graph description",
    .usage = "loom render IN.wav OUT.wav (--plugin PLUGIN.clap | --graph FILE) [--set NAME=VALUE ...] [--block N]",
    .help =
        "Processes IN.wav offline and writes OUT.wav as 32-bit float WAV at the input's rate and\n"
        "channel count. The output is written to a temporary file beside OUT.wav and renamed\n"
        "once complete, so a failure never leaves a partial file.\n"
        "\n"
        "With --plugin, loom is a CLAP host: it creates the module's first plug-in, gives it the\n"
        "file's channel count through the configurable audio ports when its own differs,\n"
        "activates it at the file's rate and sends each --set as a parameter value at the start.\n"
        "NAME is a parameter's name (any case) or id; VALUE a number or a display text the\n"
        "plug-in reads (\"Hard\", \"6 dB\").\n"
        "\n"
        "With --graph, the description (FILE, or - for standard input) is compiled against the\n"
        "--set names as parameters that take any number, and run by loom's own engine.\n"
        "\n"
        "Options:\n"
        "  --plugin PLUGIN.clap  process through this CLAP plug-in\n"
        "  --graph FILE          process through this graph description\n"
        "  --set NAME=VALUE      a parameter value (repeatable)\n"
        "  --block N             frames per processing block (default 512)\n"
        "  -h, --help            show this help\n"
        "\n"
        "Example: loom render in.wav out.wav --plugin build/kiln.clap --set drive=12 --set mode=Hard\n"
        "\n"
        "Exit status: 0 success, 1 a file, plug-in or description at fault, 2 a wrong command line.\n",
    .options = OPTIONS,
    .run = run_render,
};

} // namespace loom::tool
