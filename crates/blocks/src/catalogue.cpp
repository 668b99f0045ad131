#include "loom/blocks/catalogue.hpp"

#include "blocks/delay.hpp"
#include "blocks/dynamics.hpp"
#include "blocks/gain.hpp"
#include "blocks/onepole.hpp"
#include "blocks/shaper.hpp"
#include "blocks/tremolo.hpp"

#include <string_view>

namespace loom {

namespace {

// Blocks whose code is not yet part of the engine. Their descriptors are complete catalogue
// data, so descriptions can be checked against them, but their `make` is null and
// `can_make` says no; each descriptor moves into its block's module with its `make`.
// This is the one place that says which blocks cannot be made: filter, stereo and
// harmonic_eq.

constexpr std::string_view FILTER_TYPES[] = {"lowpass", "highpass", "bandpass", "notch",
                                             "peak",    "lowshelf", "highshelf", "allpass"};
constexpr std::string_view FILTER_SLOPES[] = {"12", "24", "36", "48"};
constexpr ArgInfo FILTER_ARGS[] = {
    {"type", "", FILTER_TYPES, "Which response.", 0.0f, 7.0f, 0.0f, false},
    {"freq", "Hz", {}, "Cutoff, centre or corner frequency.", 10.0f, 24000.0f, 1000.0f, false},
    {"q", "", {}, "Resonance or bandwidth. For a steep low-pass or high-pass the Butterworth values are used instead.",
     0.1f, 40.0f, 0.70710677f, false},
    {"gain_db", "dB", {}, "Boost or cut for peak, lowshelf and highshelf. The other types ignore it.", -36.0f,
     36.0f, 0.0f, false},
    {"slope", "", FILTER_SLOPES, "Decibels per octave for lowpass and highpass. The other types ignore it.", 0.0f,
     3.0f, 0.0f, false},
};
constexpr BlockInfo FILTER = {
    "filter",
    "A second-order filter: low-pass, high-pass, band-pass, notch, peaking bell, low shelf, high shelf or "
    "all-pass. A low-pass or high-pass can have a steeper slope, made of cascaded Butterworth sections. Frequency, "
    "Q and gain glide, so sweeping them does not click.",
    FILTER_ARGS,
    {},
    nullptr,
};

constexpr std::string_view STEREO_MODES[] = {"width", "encode", "decode", "mono", "swap"};
constexpr ArgInfo STEREO_ARGS[] = {
    {"mode", "", STEREO_MODES,
     "width scales mid and side. encode puts mid in channel 0 and side in channel 1. decode reverses it. mono sums "
     "to the middle. swap exchanges left and right.",
     0.0f, 4.0f, 0.0f, false},
    {"width", "", {}, "Side level multiplier for width mode. 0 is mono, 1 is unchanged, 2 is twice as wide.", 0.0f,
     2.0f, 1.0f, false},
    {"mid_db", "dB", {}, "Mid level for width mode.", -24.0f, 24.0f, 0.0f, false},
    {"side_db", "dB", {}, "Side level for width mode.", -24.0f, 24.0f, 0.0f, false},
};
constexpr BlockInfo STEREO = {
    "stereo",
    "Mid/side work on a two-channel signal. width changes the level of the side signal and mid_db and side_db "
    "change each one's level. encode turns left and right into mid and side, so a filter or compressor on one "
    "channel, with the node's `only` option, works on the mid or the side alone. decode turns them back. With any "
    "other channel count the block does nothing.",
    STEREO_ARGS,
    {},
    nullptr,
};

constexpr ArgInfo HARMONIC_EQ_ARGS[] = {
    {"fundamental_hz", "Hz", {}, "The pitch. Use note(n) for a MIDI note, or 50 or 60 to treat mains hum.", 20.0f,
     2000.0f, 110.0f, false},
    {"harmonics", "", {}, "How many harmonics, counted from the first one affected.", 1.0f, 32.0f, 8.0f, false},
    {"first", "", {}, "The lowest harmonic number affected. 2 leaves the fundamental alone.", 1.0f, 32.0f, 1.0f,
     false},
    {"gain_db", "dB", {}, "Boost or cut for every band.", -24.0f, 24.0f, 0.0f, false},
    {"tilt_db_oct", "dB", {}, "Extra gain per doubling of the harmonic number. Positive brightens the overtones.",
     -12.0f, 12.0f, 0.0f, false},
    {"odd_db", "dB", {}, "Extra gain on the odd harmonics: 1, 3, 5 and so on.", -24.0f, 24.0f, 0.0f, false},
    {"even_db", "dB", {}, "Extra gain on the even harmonics: 2, 4, 6 and so on.", -24.0f, 24.0f, 0.0f, false},
    {"bandwidth", "", {}, "Each band's width as a fraction of the fundamental. Small is narrow and surgical.", 0.02f,
     1.0f, 0.25f, false},
    {"stretch", "", {}, "Inharmonicity. Band k sits at k times the fundamental times sqrt(1 + stretch * k * k).",
     0.0f, 0.02f, 0.0f, false},
    {"trim_1_db", "dB", {}, "Extra gain on harmonic 1.", -24.0f, 24.0f, 0.0f, false},
    {"trim_2_db", "dB", {}, "Extra gain on harmonic 2.", -24.0f, 24.0f, 0.0f, false},
    {"trim_3_db", "dB", {}, "Extra gain on harmonic 3.", -24.0f, 24.0f, 0.0f, false},
    {"trim_4_db", "dB", {}, "Extra gain on harmonic 4.", -24.0f, 24.0f, 0.0f, false},
    {"trim_5_db", "dB", {}, "Extra gain on harmonic 5.", -24.0f, 24.0f, 0.0f, false},
    {"trim_6_db", "dB", {}, "Extra gain on harmonic 6.", -24.0f, 24.0f, 0.0f, false},
    {"trim_7_db", "dB", {}, "Extra gain on harmonic 7.", -24.0f, 24.0f, 0.0f, false},
    {"trim_8_db", "dB", {}, "Extra gain on harmonic 8.", -24.0f, 24.0f, 0.0f, false},
};
constexpr BlockInfo HARMONIC_EQ = {
    "harmonic_eq",
    "A parametric equalizer with its bands on the harmonics of one fundamental. Band k sits at k times the "
    "fundamental and has the gain base + tilt * log2(k) + (odd or even lift) + the trim for harmonic k, if there is "
    "one. Bandwidth is a fraction of the fundamental, so the bands cover the spectrum evenly and a narrow setting "
    "rings like a comb. Harmonics above 45% of the sample rate are left out.",
    HARMONIC_EQ_ARGS,
    {},
    nullptr,
};

} // namespace

constinit const std::array<const BlockInfo*, 9> ALL = {
    &Gain::INFO,     &FILTER,       &OnePole::INFO, &Shaper::INFO, &Dynamics::INFO,
    &Delay::INFO,    &Tremolo::INFO, &STEREO,       &HARMONIC_EQ,
};

const BlockInfo* find(std::string_view name) noexcept {
    for (const BlockInfo* info : ALL)
        if (info->name == name) return info;
    return nullptr;
}

bool can_make(const BlockInfo& info) noexcept { return info.make != nullptr; }

} // namespace loom
