#include "blocks/onepole.hpp"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view TYPES[] = {"lowpass", "highpass"};

constexpr ArgInfo ARGS[] = {
    {"type", "", TYPES, "Low-pass or high-pass.", 0.0f, 1.0f, 0.0f, false},
    {"freq", "Hz", {}, "The corner frequency, where the response is 3 dB down.", 1.0f, 24000.0f, 1000.0f, false},
};

// Memories below this magnitude are set to 0 after each frame, out of denormal range.
constexpr float SILENT = 1e-20f;

} // namespace

const BlockInfo OnePole::INFO = {
    "onepole",
    "A first-order filter with a gentle 6 dB per octave slope. Use it for tone controls, for DC removal with a "
    "high-pass near 5 Hz, and wherever a sharper filter would sound harsh.",
    ARGS,
    {},
    &OnePole::make,
};

std::unique_ptr<Block> OnePole::make() { return std::make_unique<OnePole>(); }

// The smoother has a time constant of 5 ms and steps once per 32-sample period:
// smoothing = 1 − exp(−32 / (rate × 0.005)), about 12.5% of the remaining distance at 48 kHz.
void OnePole::prepare(float rate, std::uint32_t channel_count) noexcept {
    state.assign(channel_count, 0.0f);
    log_freq = 0.0f;
    started = false;
    sample_rate = rate;
    coefficient = 0.0f;
    highpass = false;
    smoothing = 1.0f - std::exp(-32.0f / (rate * 0.005f));
    seen_freq = seen_log_freq = NOT_SEEN;
    seen_target = 0.0f;
}

// The corner moves toward log2(freq) by `smoothing` per period (the first period after
// `prepare` jumps there), is limited to 1 Hz .. 0.49 × rate, and gives
// a = 1 − exp(−2π × fc / rate).
void OnePole::control(std::span<const float> args) noexcept {
    require_args(args, 2, "onepole: control needs 2 argument values");
    if (args[1] != seen_freq) {
        seen_freq = args[1];
        seen_target = std::log2(args[1]);
    }
    const float target = seen_target;
    if (started) {
        log_freq = log_freq + smoothing * (target - log_freq);
    } else {
        started = true;
        log_freq = target;
    }
    if (log_freq != seen_log_freq) {
        seen_log_freq = log_freq;
        const float fc = std::max(std::min(std::exp2(log_freq), 0.49f * sample_rate), 1.0f);
        coefficient = 1.0f - std::exp((fc * -6.2831855f) / sample_rate);
    }
    highpass = args[0] >= 0.5f;
}

// y += a × (x − y); the low-pass gives y, the high-pass x − y. Channels beyond the prepared
// count are left unchanged. A memory that ends a frame not finite (after a NaN or an infinity
// in the input) starts again from 0: kept, it would turn every later sample into NaN.
void OnePole::process(Frame& frame, std::uint32_t offset) noexcept {
    static_cast<void>(offset);
    const std::size_t n = std::min(state.size(), frame.channel_count());
    const float a = coefficient; // a local: the stores below cannot alias it
    for (std::size_t c = 0; c < n; ++c) {
        const std::span<float> samples = frame.channel(c);
        float y = state[c];
        if (highpass) {
            for (float& x : samples) {
                y = y + a * (x - y);
                x = x - y;
            }
        } else {
            for (float& x : samples) {
                y = y + a * (x - y);
                x = y;
            }
        }
        if (!std::isfinite(y) || std::fabs(y) < SILENT) y = 0.0f;
        state[c] = y;
    }
}

} // namespace loom
