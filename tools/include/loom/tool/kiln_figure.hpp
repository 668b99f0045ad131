#pragma once
// The picture `loom demo` draws of Kiln: its static transfer curves for Soft and Hard at
// several drives, a few cycles of the bass note before and after, and the spectra of the
// test signal before and after. The measurements come in; the figure goes out.

#include "loom/tool/plot.hpp"

#include <array>
#include <vector>

namespace loom::tool {

// The drives of the transfer curves, in dB.
inline constexpr std::array<double, 4> CURVE_DRIVES_DB = {0.0, 6.0, 12.0, 24.0};

struct KilnMeasurements {
    double sample_rate = 48000.0;
    // Output against input for a slow sweep, one curve per drive of `CURVE_DRIVES_DB`.
    std::array<std::vector<Point>, 4> soft_curves;
    std::array<std::vector<Point>, 4> hard_curves;
    // A few cycles of the bass note: time in ms against the sample value.
    std::vector<Point> wave_input, wave_soft, wave_hard;
    double wave_drive_db = 12.0;
    // Crest factors of the whole test signal: the input, and Soft and Hard at `wave_drive_db`.
    double crest_input_db = 0.0, crest_soft_db = 0.0, crest_hard_db = 0.0;
    // Spectra as (Hz, dB): the bass note before and after Soft and Hard at `wave_drive_db`...
    std::vector<Point> bass_input, bass_soft, bass_hard;
    // ...and the chord before and after Hard with a bright and a dark tone.
    std::vector<Point> chord_input, chord_bright, chord_dark;
    double bright_hz = 16000.0, dark_hz = 800.0, tone_hz = 8000.0;
};

Figure kiln_figure(const KilnMeasurements& m);

} // namespace loom::tool
