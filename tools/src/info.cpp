// loom info: what a CLAP plug-in offers, asked as a host would ask it.

#include "loom/tool/commands.hpp"

#include "loom/tool/clap_host.hpp"
#include "loom/tool/format.hpp"

#include <cmath>
#include <ostream>
#include <vector>

namespace loom::tool {

namespace {

constexpr double INFO_RATE = 48000.0;
constexpr std::uint32_t INFO_MAX_FRAMES = 512;
constexpr std::size_t MOST_CHOICES_LISTED = 16;

std::string flag_words(lc::clap_param_info_flags flags) {
    static constexpr std::pair<lc::clap_param_info_flags, std::string_view> WORDS[] = {
        {lc::CLAP_PARAM_IS_STEPPED, "stepped"},
        {lc::CLAP_PARAM_IS_PERIODIC, "periodic"},
        {lc::CLAP_PARAM_IS_HIDDEN, "hidden"},
        {lc::CLAP_PARAM_IS_READONLY, "read-only"},
        {lc::CLAP_PARAM_IS_BYPASS, "bypass"},
        {lc::CLAP_PARAM_IS_AUTOMATABLE, "automatable"},
        {lc::CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID, "automatable per note id"},
        {lc::CLAP_PARAM_IS_AUTOMATABLE_PER_KEY, "automatable per key"},
        {lc::CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL, "automatable per channel"},
        {lc::CLAP_PARAM_IS_AUTOMATABLE_PER_PORT, "automatable per port"},
        {lc::CLAP_PARAM_IS_MODULATABLE, "modulatable"},
        {lc::CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID, "modulatable per note id"},
        {lc::CLAP_PARAM_IS_MODULATABLE_PER_KEY, "modulatable per key"},
        {lc::CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL, "modulatable per channel"},
        {lc::CLAP_PARAM_IS_MODULATABLE_PER_PORT, "modulatable per port"},
        {lc::CLAP_PARAM_REQUIRES_PROCESS, "requires process"},
        {lc::CLAP_PARAM_IS_ENUM, "enum"},
    };
    std::vector<std::string> words;
    lc::clap_param_info_flags rest = flags;
    for (const auto& [bit, word] : WORDS) {
        if ((flags & bit) != 0) words.emplace_back(word);
        rest &= ~bit;
    }
    if (rest != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", rest);
        words.emplace_back(hex);
    }
    return words.empty() ? std::string("none") : join(words, ", ");
}

// "0 to 1 (Soft, Hard)" for a stepped parameter with few steps, "0 to 24" otherwise.
std::string range_text(const ClapPlugin& plugin, const ClapParam& p) {
    std::string out = format_number(p.min) + " to " + format_number(p.max);
    const bool stepped = (p.flags & lc::CLAP_PARAM_IS_STEPPED) != 0;
    if (!stepped || !std::isfinite(p.min) || !std::isfinite(p.max) || p.max - p.min >= MOST_CHOICES_LISTED)
        return out;
    std::vector<std::string> names;
    for (double v = std::ceil(p.min); v <= p.max; v += 1.0) {
        const auto t = plugin.value_to_text(p.id, v);
        if (!t) return out;
        names.push_back(*t);
    }
    return out + " (" + join(names, ", ") + ")";
}

std::string value_text(const ClapPlugin& plugin, const ClapParam& p, double value) {
    std::string out = format_number(value);
    if (const auto t = plugin.value_to_text(p.id, value); t && *t != out) out += " (" + *t + ")";
    return out;
}

std::string text_or_none(const char* text) { return text == nullptr || *text == '\0' ? "(none)" : text; }

std::string plural(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// Prints everything about plug-in `index`; false when it cannot be created.
bool describe(const ClapModule& module, std::size_t index, Console& console) {
    auto created = ClapPlugin::create(module, index);
    if (!created) {
        input_error(INFO, console, created.error());
        return false;
    }
    ClapPlugin& plugin = **created;
    const lc::clap_plugin_descriptor_t& d = plugin.descriptor();
    std::vector<std::string> features;
    for (const char* const* f = d.features; f != nullptr && *f != nullptr; ++f) features.emplace_back(*f);

    std::string out = text_or_none(d.name) + " " + (d.version != nullptr ? d.version : "") + " by " +
                      text_or_none(d.vendor) + "\n";
    TextTable about({"id", text_or_none(d.id)});
    about.add({"description", text_or_none(d.description)});
    about.add({"url", text_or_none(d.url)});
    about.add({"manual url", text_or_none(d.manual_url)});
    about.add({"support url", text_or_none(d.support_url)});
    about.add({"features", features.empty() ? "(none)" : join(features, ", ")});
    about.add({"CLAP version", std::to_string(d.clap_version.major) + "." + std::to_string(d.clap_version.minor) + "." +
                                   std::to_string(d.clap_version.revision)});
    out += about.render("  ");

    const std::vector<ClapParam> params = plugin.params();
    out += "\nParameters: " + (params.empty() ? std::string("none") : std::to_string(params.size())) + "\n";
    if (!params.empty()) {
        TextTable table({"id", "name", "module", "range", "default", "flags"}, {0});
        for (const ClapParam& p : params)
            table.add({std::to_string(p.id), p.name, p.module, range_text(plugin, p), value_text(plugin, p, p.default_value),
                       flag_words(p.flags)});
        out += table.render("  ");
    }

    out += "\nAudio ports:";
    const std::vector<ClapPort> in = plugin.ports(true), outs = plugin.ports(false);
    if (in.empty() && outs.empty()) {
        out += " none\n";
    } else {
        out += "\n";
        TextTable table({"direction", "id", "name", "channels", "type", "flags"}, {1, 3});
        for (const bool input : {true, false})
            for (const ClapPort& p : input ? in : outs)
                table.add({input ? "input" : "output", std::to_string(p.id), p.name, std::to_string(p.channels),
                           p.type.empty() ? "(none)" : p.type, (p.flags & lc::CLAP_AUDIO_PORT_IS_MAIN) != 0 ? "main" : ""});
        out += table.render("  ");
    }

    std::vector<std::string> offered;
    for (const char* id : known_extensions())
        if (plugin.offers(id)) offered.emplace_back(id);
    out += "\nExtensions: " + (offered.empty() ? std::string("none") : join(offered, ", ")) + "\n";

    const std::optional<std::size_t> state = plugin.state_size();
    if (auto activated = plugin.activate(INFO_RATE, INFO_MAX_FRAMES); activated) {
        out += "Latency: " + plural(plugin.latency(), "sample", "samples") + " (active at 48000 Hz)\n";
        const std::optional<std::uint32_t> tail = plugin.tail();
        if (!tail) out += "Tail: not reported\n";
        else if (*tail >= 0x7fffffffu) out += "Tail: infinite\n";
        else out += "Tail: " + plural(*tail, "sample", "samples") + "\n";
        plugin.deactivate();
    } else {
        out += "Latency and tail: unknown (" + activated.error() + ")\n";
    }
    out += "State: " + (state ? plural(*state, "byte", "bytes") : std::string("not saved")) + "\n";
    console.out << out;
    return true;
}

int run_info(const Args& args, Console& console) {
    if (args.positional.empty()) return usage_error(INFO, console, "the plug-in PLUGIN.clap is missing");
    if (args.positional.size() > 1) return usage_error(INFO, console, "unexpected argument '" + args.positional[1] + "'");
    auto module = ClapModule::load(args.positional[0]);
    if (!module) return input_error(INFO, console, module.error());
    const auto& listed = (*module)->descriptors();
    const lc::clap_version_t v = (*module)->entry().clap_version;
    console.out << args.positional[0] << ": CLAP " << v.major << "." << v.minor << "." << v.revision << ", "
                << plural(listed.size(), "plug-in", "plug-ins") << "\n";
    bool all = true;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        console.out << "\n";
        all = describe(**module, i, console) && all;
    }
    return all ? EXIT_OK : EXIT_INPUT;
}

} // namespace

const Command INFO = {
    .name = "info",
    .summary = "show what a CLAP plug-in offers",
    .usage = "loom info PLUGIN.clap",
    .help =
        "Loads a CLAP plug-in as a host does (its clap_entry, init, the plug-in factory) and, for\n"
        "each plug-in it offers, creates an instance and prints its descriptor, its parameters\n"
        "(id, name, module, range, default, flags), its audio ports, the extensions it answers,\n"
        "its latency and tail once activated at 48000 Hz, and the size of its saved state.\n"
        "\n"
        "Options:\n"
        "  -h, --help  show this help\n"
        "\n"
        "Exit status: 0 success, 1 the file is not a loadable CLAP plug-in, 2 a wrong command line.\n",
    .options = {},
    .run = run_info,
};

} // namespace loom::tool
