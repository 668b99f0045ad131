#include "loom/tool/kiln_figure.hpp"

#include "loom/tool/format.hpp"

#include <cmath>
#include <string>

namespace loom::tool {

namespace {

// One colour per drive, light to dark: the more drive, the hotter.
constexpr std::array<std::string_view, 4> DRIVE_COLOURS = {"#f0b43c", "#e8772e", "#cf3b2b", "#7e1538"};
constexpr std::string_view INPUT = "#8c929a";
constexpr std::string_view SOFT = "#e07020";
constexpr std::string_view HARD = "#4b4fb8";
constexpr std::string_view BRIGHT = "#d99a00";
constexpr std::string_view DARK = "#1f78b4";

std::string db_text(double db) { return format_number(db) + " dB"; }

Axis level_axis(std::string label) {
    return Axis{.label = std::move(label),
                .min = -1.05,
                .max = 1.05,
                .ticks = {-1.0, -0.5, 0.0, 0.5, 1.0},
                .tick_labels = {"-1", "-0.5", "0", "0.5", "1"}};
}

Axis frequency_axis() {
    return Axis{.label = "frequency (Hz, logarithmic)",
                .min = 20.0,
                .max = 20000.0,
                .log = true,
                .ticks = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000},
                .tick_labels = {"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"}};
}

Axis db_axis() {
    return Axis{.label = "level (dBFS)",
                .min = -120.0,
                .max = 3.0,
                .ticks = {-120, -100, -80, -60, -40, -20, 0},
                .tick_labels = {"-120", "-100", "-80", "-60", "-40", "-20", "0"}};
}

Panel transfer_panel(std::string title, std::string caption, const std::array<std::vector<Point>, 4>& curves) {
    Panel p{.title = std::move(title),
            .caption = std::move(caption),
            .x = level_axis("input sample value"),
            .y = level_axis("output sample value"),
            .series = {}};
    p.series.push_back({.label = "unchanged", .colour = std::string(INPUT), .points = {{-1.05, -1.05}, {1.05, 1.05}},
                        .width = 1.5, .dash = "5 5"});
    for (std::size_t i = 0; i < curves.size(); ++i)
        p.series.push_back({.label = (i == 0 ? "drive " : "") + db_text(CURVE_DRIVES_DB[i]),
                            .colour = std::string(DRIVE_COLOURS[i]),
                            .points = curves[i],
                            .width = 2.75});
    return p;
}

} // namespace

Figure kiln_figure(const KilnMeasurements& m) {
    Figure f;
    f.title = "Kiln: what the saturator does";
    f.subtitle =
        "Measured by loom demo, which runs build/kiln.clap in loom's own CLAP host at " + format_number(m.sample_rate) +
        " Hz. Drive is a gain into the clipper;\n"
        "Mode picks Soft (a tanh curve) or Hard (a flat cut at ±1); Tone is the corner of the one-pole low-pass after it.";
    f.width = 1200.0;

    f.rows.push_back({transfer_panel("Soft: the tanh curve",
                                     "Output against input for a slow sweep. More drive pushes the signal up\n"
                                     "the curve: quiet parts get louder and the peaks round off smoothly.",
                                     m.soft_curves),
                      transfer_panel("Hard: the clipper",
                                     "The same sweep through Hard. Below the ceiling the signal only gets\n"
                                     "louder; whatever the drive lifts beyond ±1 is cut flat.",
                                     m.hard_curves)});
    f.row_heights.push_back(560.0);

    Panel wave{.title = "The bass note, three cycles of 55 Hz, before and after " + db_text(m.wave_drive_db) + " of drive",
               .caption = "Soft rounds the tops of the wave, Hard slices them off; both lift the quiet part of each cycle, so the\n"
                          "sound gets denser. Over the whole test signal the crest factor (peak over RMS) falls from " +
                          format_fixed(m.crest_input_db, 1) + " dB\nto " + format_fixed(m.crest_soft_db, 1) +
                          " dB with Soft and " + format_fixed(m.crest_hard_db, 1) + " dB with Hard.",
               .x = Axis{.label = "time (ms)",
                         .min = 0.0,
                         .max = 3000.0 / 55.0,
                         .ticks = {0, 10, 20, 30, 40, 50},
                         .tick_labels = {"0", "10", "20", "30", "40", "50"}},
               .y = level_axis("sample value"),
               .series = {}};
    wave.series.push_back({.label = "input", .colour = std::string(INPUT), .points = m.wave_input, .width = 2.0, .dash = "6 4"});
    wave.series.push_back({.label = "Soft", .colour = std::string(SOFT), .points = m.wave_soft, .width = 2.5});
    wave.series.push_back({.label = "Hard", .colour = std::string(HARD), .points = m.wave_hard, .width = 2.5});
    f.rows.push_back({std::move(wave)});
    f.row_heights.push_back(360.0);

    Panel bass{.title = "Spectrum of the bass note, drive " + db_text(m.wave_drive_db) + ", tone " + format_number(m.tone_hz) + " Hz",
               .caption = "The input is one sine at 55 Hz. Both curves are symmetric, so they add its odd\n"
                          "harmonics (165, 275, 385 Hz ...): Soft a fast-falling series, Hard a far brighter one.",
               .x = frequency_axis(),
               .y = db_axis(),
               .series = {}};
    bass.series.push_back({.label = "input", .colour = std::string(INPUT), .points = m.bass_input, .area = true, .opacity = 0.45});
    bass.series.push_back({.label = "Hard", .colour = std::string(HARD), .points = m.bass_hard, .width = 1.6});
    bass.series.push_back({.label = "Soft", .colour = std::string(SOFT), .points = m.bass_soft, .width = 1.6});

    Panel chord{.title = "Spectrum of the chord, Hard at " + db_text(m.wave_drive_db) + ", two tones",
                .caption = "Three notes clipped together make harmonics and intermodulation. Tone sets\n"
                           "how much of it reaches the top: a dark " + format_number(m.dark_hz) + " Hz against a bright " +
                           format_number(m.bright_hz) + " Hz.",
                .x = frequency_axis(),
                .y = db_axis(),
                .series = {}};
    chord.series.push_back({.label = "input", .colour = std::string(INPUT), .points = m.chord_input, .area = true, .opacity = 0.45});
    chord.series.push_back({.label = "tone " + format_number(m.bright_hz) + " Hz", .colour = std::string(BRIGHT), .points = m.chord_bright, .width = 1.6});
    chord.series.push_back({.label = "tone " + format_number(m.dark_hz) + " Hz", .colour = std::string(DARK), .points = m.chord_dark, .width = 1.6});
    f.rows.push_back({std::move(bass), std::move(chord)});
    f.row_heights.push_back(470.0);
    return f;
}

} // namespace loom::tool
