// loom demo: the main job. Renders a built-in test signal through kiln.clap at several
// settings, writes the WAV files, prints their levels before and after, and draws what Kiln
// does into kiln.svg.

#include "loom/tool/commands.hpp"

#include "loom/tool/analysis.hpp"
#include "loom/tool/format.hpp"
#include "loom/tool/kiln_figure.hpp"
#include "loom/tool/plugin_render.hpp"
#include "loom/tool/signal.hpp"
#include "loom/tool/text_file.hpp"
#include "loom/tool/wav.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <ostream>

namespace loom::tool {

namespace {

constexpr double RATE = 48000.0;
constexpr std::size_t CHANNELS = 2;
constexpr std::uint32_t BLOCK = 512;
constexpr double PICTURE_DRIVE_DB = 12.0;
constexpr double TONE_HZ = 8000.0;
constexpr double DARK_HZ = 800.0;
constexpr double BRIGHT_HZ = 16000.0;

struct DemoSetting {
    std::string_view mode; // "Soft" or "Hard", read by the plug-in's text-to-value
    double drive_db = 0.0;
    double tone_hz = TONE_HZ;
    std::string_view file;
};

constexpr DemoSetting SETTINGS[] = {
    {"Soft", 0, TONE_HZ, "kiln-soft-0db.wav"},
    {"Soft", 6, TONE_HZ, "kiln-soft-6db.wav"},
    {"Soft", 12, TONE_HZ, "kiln-soft-12db.wav"},
    {"Soft", 24, TONE_HZ, "kiln-soft-24db.wav"},
    {"Hard", 6, TONE_HZ, "kiln-hard-6db.wav"},
    {"Hard", 12, TONE_HZ, "kiln-hard-12db.wav"},
    {"Hard", 24, TONE_HZ, "kiln-hard-24db.wav"},
    {"Hard", 12, DARK_HZ, "kiln-hard-12db-dark.wav"},
    {"Hard", 12, BRIGHT_HZ, "kiln-hard-12db-bright.wav"},
};

constexpr OptionSpec OPTIONS[] = {{"--plugin", "PLUGIN.clap", false}};

// Runs `input` through a fresh instance of the module's plug-in at one setting.
Result<Audio> run_kiln(const ClapModule& module, const Audio& input, std::string_view mode, double drive_db,
                       double tone_hz, std::ostream& err) {
    auto plugin = ClapPlugin::create(module);
    if (!plugin) return fail(std::move(plugin).error());
    const Setting settings[] = {{"drive", format_number(drive_db)}, {"mode", std::string(mode)}, {"tone", format_number(tone_hz)}};
    auto changes = resolve_settings(**plugin, settings);
    if (!changes) return fail(std::move(changes).error());
    Progress quiet(err, false, "");
    return render_plugin(**plugin, input, *changes, BLOCK, quiet);
}

// Every `step`-th sample of channel 0 from `first`, as (input, output) pairs.
std::vector<Point> transfer_points(const Audio& in, const Audio& out, std::size_t first, std::size_t step) {
    std::vector<Point> points;
    for (std::size_t i = first; i < in.frames(); i += step) points.emplace_back(in.channels[0][i], out.channels[0][i]);
    return points;
}

// Channel 0 from `start` for `frames` samples, as (ms, value) pairs.
std::vector<Point> wave_points(const Audio& a, std::size_t start, std::size_t frames) {
    std::vector<Point> points;
    for (std::size_t i = 0; i < frames && start + i < a.frames(); ++i)
        points.emplace_back(1000.0 * static_cast<double>(i) / a.sample_rate, a.channels[0][start + i]);
    return points;
}

// The spectrum of channel 0 between two times, reduced to the loudest bin of each of
// `columns` equal steps of log frequency from 20 Hz to 20 kHz, so that no peak is lost.
std::vector<Point> spectrum_points(const Audio& a, double from_s, double to_s, std::size_t columns) {
    const auto first = static_cast<std::size_t>(from_s * a.sample_rate);
    const auto last = std::min(a.frames(), static_cast<std::size_t>(to_s * a.sample_rate));
    const std::span<const float> part(a.channels[0].data() + first, last - first);
    const Spectrum s = spectrum(part, a.sample_rate, 16384);
    std::vector<Point> points;
    const double lo = std::log10(20.0), hi = std::log10(20000.0);
    std::size_t k = 1;
    for (std::size_t c = 0; c < columns; ++c) {
        const double top = std::pow(10.0, lo + (hi - lo) * static_cast<double>(c + 1) / static_cast<double>(columns));
        double loudest = -1e300, at = 0.0;
        for (; k < s.db.size() && static_cast<double>(k) * s.bin_hz < top; ++k) {
            if (static_cast<double>(k) * s.bin_hz < 20.0) continue;
            if (s.db[k] > loudest) {
                loudest = s.db[k];
                at = static_cast<double>(k) * s.bin_hz;
            }
        }
        if (at > 0.0) points.emplace_back(at, loudest);
    }
    return points;
}

std::string level_text(double linear) { return format_fixed(to_db(linear), 1); }

int run_demo(const Args& args, Console& console) {
    if (args.positional.size() > 1) return usage_error(DEMO, console, "unexpected argument '" + args.positional[1] + "'");
    const auto started = std::chrono::steady_clock::now();
    const std::string folder = args.positional.empty() ? "out" : args.positional[0];
    std::string plugin_path;
    if (const auto given = args.value("--plugin")) {
        plugin_path = *given;
    } else {
        plugin_path = (console.program_dir.empty() ? std::string(".") : console.program_dir) + "/kiln.clap";
        struct stat st {};
        if (::stat(plugin_path.c_str(), &st) != 0)
            return input_error(DEMO, console, "cannot find Kiln at '" + plugin_path + "': build it first, or give --plugin");
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return input_error(DEMO, console, "cannot make the folder '" + folder + "': " + ec.message());

    auto module = ClapModule::load(plugin_path);
    if (!module) return input_error(DEMO, console, module.error());

    const Audio input = test_signal(RATE, CHANNELS);
    if (auto w = write_wav(folder + "/test-signal.wav", input); !w) return input_error(DEMO, console, w.error());
    const Level before = measure(input);

    // The module's path as a person reads it: relative to the current folder when inside it.
    std::string shown = plugin_path;
    if (std::error_code cwd_error; std::filesystem::path(plugin_path).is_absolute()) {
        const auto here = std::filesystem::current_path(cwd_error);
        const auto relative = std::filesystem::path(plugin_path).lexically_proximate(here).string();
        if (!cwd_error && relative.rfind("..", 0) != 0) shown = relative;
    }
    console.out << "Kiln (" << shown << ") on a " << format_number(TEST_SECONDS)
                << " s test signal at 48000 Hz: a 55 Hz bass note, then an A minor chord.\n"
                << "Peak and RMS in dBFS, crest factor (peak over RMS) in dB, before -> after.\n\n";
    TextTable table({"mode", "drive", "tone", "peak", "RMS", "crest", "file"}, {1, 2});
    KilnMeasurements m;
    m.sample_rate = RATE;
    m.wave_drive_db = PICTURE_DRIVE_DB;
    m.tone_hz = TONE_HZ;
    m.dark_hz = DARK_HZ;
    m.bright_hz = BRIGHT_HZ;
    constexpr double BASS_FROM = 0.25, BASS_TO = 1.75, CHORD_FROM = 2.25, CHORD_TO = 3.75;
    constexpr std::size_t COLUMNS = 700;
    const auto wave_start = static_cast<std::size_t>(1.0 * RATE);
    const auto wave_frames = static_cast<std::size_t>(std::ceil(3.0 / 55.0 * RATE)) + 1;
    m.wave_input = wave_points(input, wave_start, wave_frames);
    m.crest_input_db = crest_db(before);
    m.bass_input = spectrum_points(input, BASS_FROM, BASS_TO, COLUMNS);
    m.chord_input = spectrum_points(input, CHORD_FROM, CHORD_TO, COLUMNS);

    for (const DemoSetting& s : SETTINGS) {
        auto out = run_kiln(**module, input, s.mode, s.drive_db, s.tone_hz, console.err);
        if (!out) return input_error(DEMO, console, out.error());
        const std::string path = folder + "/" + std::string(s.file);
        if (auto w = write_wav(path, *out); !w) return input_error(DEMO, console, w.error());
        const Level after = measure(*out);
        table.add({std::string(s.mode), format_number(s.drive_db) + " dB", format_number(s.tone_hz) + " Hz",
                   level_text(before.peak) + " -> " + level_text(after.peak),
                   level_text(before.rms) + " -> " + level_text(after.rms),
                   format_fixed(crest_db(before), 1) + " -> " + format_fixed(crest_db(after), 1), path});
        if (s.drive_db == PICTURE_DRIVE_DB && s.tone_hz == TONE_HZ) {
            const bool soft = s.mode == "Soft";
            (soft ? m.wave_soft : m.wave_hard) = wave_points(*out, wave_start, wave_frames);
            (soft ? m.crest_soft_db : m.crest_hard_db) = crest_db(after);
            (soft ? m.bass_soft : m.bass_hard) = spectrum_points(*out, BASS_FROM, BASS_TO, COLUMNS);
        }
        if (s.mode == "Hard" && s.drive_db == PICTURE_DRIVE_DB && s.tone_hz == DARK_HZ)
            m.chord_dark = spectrum_points(*out, CHORD_FROM, CHORD_TO, COLUMNS);
        if (s.mode == "Hard" && s.drive_db == PICTURE_DRIVE_DB && s.tone_hz == BRIGHT_HZ)
            m.chord_bright = spectrum_points(*out, CHORD_FROM, CHORD_TO, COLUMNS);
    }
    console.out << table.render("  ");

    // The static curves: a slow sweep from -1 to 1 with the tone wide open, after a short
    // hold at -1 so that the filter has settled when the sweep starts.
    const std::size_t settle = 4800, sweep = 48000;
    const Audio sweep_in = ramp(RATE, 1, -1.0f, 1.0f, settle, sweep);
    for (std::size_t i = 0; i < CURVE_DRIVES_DB.size(); ++i) {
        for (const std::string_view mode : {"Soft", "Hard"}) {
            auto out = run_kiln(**module, sweep_in, mode, CURVE_DRIVES_DB[i], BRIGHT_HZ, console.err);
            if (!out) return input_error(DEMO, console, out.error());
            (mode == "Soft" ? m.soft_curves : m.hard_curves)[i] = transfer_points(sweep_in, *out, settle, 40);
        }
    }
    const std::string picture = folder + "/kiln.svg";
    if (auto w = write_text(picture, draw_figure(kiln_figure(m))); !w) return input_error(DEMO, console, w.error());

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    console.out << "\nWrote " << folder << "/test-signal.wav, " << std::size(SETTINGS) << " renders and the picture "
                << picture << " in " << format_fixed(seconds, 1) << " s.\n";
    return EXIT_OK;
}

} // namespace

const Command DEMO = {
    .name = "demo",
    .summary = "render a test signal through Kiln and draw what it does",
    .usage = "loom demo [OUTDIR] [--plugin PLUGIN.clap]",
    .help =
        "The main job of `make run`. Generates a test signal (a 55 Hz bass note, then an A minor\n"
        "chord, 4 s at 48000 Hz), renders it through Kiln at several settings (Soft and Hard,\n"
        "several drives, a dark and a bright tone), writes every WAV file into OUTDIR (default\n"
        "out), prints the peak, RMS and crest factor before and after each setting, and draws\n"
        "OUTDIR/kiln.svg: Kiln's transfer curves, a few cycles of the bass note and the spectra of\n"
        "the test signal before and after.\n"
        "\n"
        "Options:\n"
        "  --plugin PLUGIN.clap  the Kiln module to run (default: kiln.clap beside loom)\n"
        "  -h, --help            show this help\n"
        "\n"
        "Exit status: 0 success, 1 the plug-in or the folder at fault, 2 a wrong command line.\n",
    .options = OPTIONS,
    .run = run_demo,
};

} // namespace loom::tool
