#include "blocks/harmonic_eq.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr ArgInfo ARGS[] = {
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

// The peaking bell of the filter block's section design.
constexpr std::uint32_t PEAK = 4;

// Memories below this magnitude are set to 0 after each frame, out of denormal range.
constexpr float SILENT = 1e-20f;

// A harmonic count or number: the nearest whole number, halves away from zero, held to
// 1 .. 32 (a NaN is taken as 1) so that every band index stays in range.
std::uint32_t harmonic_number(float value) noexcept {
    const float whole = std::round(value);
    if (!(whole >= 1.0f)) return 1;
    if (whole >= static_cast<float>(HarmonicEq::MAX_BANDS)) return HarmonicEq::MAX_BANDS;
    return static_cast<std::uint32_t>(whole);
}

} // namespace

const BlockInfo HarmonicEq::INFO = {
    "harmonic_eq",
    "A parametric equalizer with its bands on the harmonics of one fundamental. Band k sits at k times the "
    "fundamental and has the gain base + tilt * log2(k) + (odd or even lift) + the trim for harmonic k, if there is "
    "one. Bandwidth is a fraction of the fundamental, so the bands cover the spectrum evenly and a narrow setting "
    "rings like a comb. Harmonics above 45% of the sample rate are left out.",
    ARGS,
    {},
    &HarmonicEq::make,
};

std::unique_ptr<Block> HarmonicEq::make() { return std::make_unique<HarmonicEq>(); }

// The glides have a time constant of 8 ms and step once per 32-sample period:
// smoothing = 1 − exp(−32 / (rate × 0.008)), about 8% of the remaining distance at 48 kHz.
void HarmonicEq::prepare(float rate, std::uint32_t channel_count) noexcept {
    state.assign(channel_count, std::array<float, 2 * MAX_BANDS>{});
    bands.fill(Coefficients{});
    active.fill(false);
    trims.fill(Smoothed{});
    log_fundamental = {};
    gain_db = {};
    tilt = {};
    odd = {};
    even = {};
    log_bandwidth = {};
    stretch = {};
    sample_rate = rate;
    smoothing = 1.0f - std::exp(-32.0f / (rate * 0.008f));
}

// Every continuous value glides (fundamental and bandwidth in octaves). Band k, from `first`
// for `harmonics` bands up to 32, sits at fk = f0 · k · √(1 + stretch · k²) and stops the
// run at 0.45 × rate; its gain is gain + tilt · log2(k) + (odd or even) + trim k (k ≤ 8). A
// band under 0.02 dB stays inactive; the others are peaking bells of Q = fk / (f0 · bandwidth)
// held to 0.5 .. 300, with the gain held to ±36 dB.
void HarmonicEq::control(std::span<const float> args) noexcept {
    require_args(args, 17, "harmonic_eq: control needs 17 argument values");
    const float f0 = std::exp2(log_fundamental.step(std::log2(args[0]), smoothing));
    const float g = gain_db.step(args[3], smoothing);
    const float per_octave = tilt.step(args[4], smoothing);
    const float odd_lift = odd.step(args[5], smoothing);
    const float even_lift = even.step(args[6], smoothing);
    const float bw = std::exp2(log_bandwidth.step(std::log2(args[7]), smoothing));
    const float st = stretch.step(args[8], smoothing);
    for (std::size_t i = 0; i < trims.size(); ++i) trims[i].step(args[9 + i], smoothing);

    active.fill(false);
    const std::uint32_t first = harmonic_number(args[2]);
    const std::uint32_t last = std::min(first + harmonic_number(args[1]) - 1, MAX_BANDS);
    const float limit = 0.45f * sample_rate;
    for (std::uint32_t k = first; k <= last; ++k) {
        const float h = static_cast<float>(k);
        const float fk = f0 * h * std::sqrt(1.0f + st * h * h);
        if (fk >= limit) break;
        float gk = g + per_octave * std::log2(h) + (k % 2 == 1 ? odd_lift : even_lift);
        if (k <= trims.size()) gk += trims[k - 1].value;
        if (std::fabs(gk) < 0.02f) continue;
        const float q = std::clamp(fk / (f0 * bw), 0.5f, 300.0f);
        bands[k - 1] = design_section(PEAK, fk, q, std::clamp(gk, -36.0f, 36.0f), sample_rate);
        active[k - 1] = true;
    }
}

// Inactive bands' memories are cleared, so a band that returns starts from rest; the active
// ones run in ascending order, each feeding the next. Channels beyond the prepared count are
// left unchanged.
void HarmonicEq::process(Frame& frame, std::uint32_t offset) noexcept {
    static_cast<void>(offset);
    const std::size_t n = std::min(state.size(), frame.channel_count());
    for (std::size_t c = 0; c < n; ++c) {
        const std::span<float> samples = frame.channel(c);
        std::array<float, 2 * MAX_BANDS>& memory = state[c];
        for (std::uint32_t b = 0; b < MAX_BANDS; ++b) {
            if (active[b]) {
                run_section(bands[b], memory[2 * b], memory[2 * b + 1], samples);
            } else {
                memory[2 * b] = 0.0f;
                memory[2 * b + 1] = 0.0f;
            }
        }
        for (float& m : memory)
            if (std::fabs(m) < SILENT) m = 0.0f;
    }
}

} // namespace loom
