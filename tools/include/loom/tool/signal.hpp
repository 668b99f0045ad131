#pragma once
// Signals the demo makes instead of reading files: the test signal (a bass note, then a
// chord, as pure sines with soft edges) and a slow ramp for measuring a static curve.

#include "loom/tool/audio.hpp"

#include <cstddef>
#include <span>

namespace loom::tool {

// One sine of the test signal.
struct Note {
    double hz = 0.0;
    double amplitude = 0.0; // peak, before the envelope's decay
    double start_s = 0.0;
    double length_s = 0.0;
};

// The bass note A1 (55 Hz) from 0 to 1.9 s, then the chord A3, C4, E4 (A minor) from 2.0 to 3.9 s.
std::span<const Note> test_notes() noexcept;

// The length of the test signal in seconds.
inline constexpr double TEST_SECONDS = 4.0;

// The test signal at `sample_rate`, the same in every channel. Each note rises over 20 ms,
// decays gently to 70% of its peak and falls over 80 ms, so nothing clicks.
Audio test_signal(double sample_rate, std::size_t channels);

// `settle` frames held at `from`, then `frames` frames rising in equal steps to `to`.
Audio ramp(double sample_rate, std::size_t channels, float from, float to, std::size_t settle, std::size_t frames);

} // namespace loom::tool
