#include "blocks/dynamics.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view MODES[] = {"compressor", "limiter", "gate", "expander"};
constexpr std::string_view OFF_ON[] = {"off", "on"};
constexpr std::string_view DETECTORS[] = {"peak", "rms"};
constexpr std::string_view METERS[] = {"gain_reduction_db"};

constexpr ArgInfo ARGS[] = {
    {"mode", "", MODES,
     "compressor reduces by ratio above the threshold. limiter is a compressor with an infinite ratio. expander "
     "reduces by ratio below the threshold, and gate is the same with a steep ratio set by range.",
     0.0f, 3.0f, 0.0f, false},
    {"threshold_db", "dB", {}, "The level where the effect starts.", -80.0f, 0.0f, -18.0f, false},
    {"ratio", "", {},
     "For a compressor, the input change for 1 dB of output change above the threshold. For an expander, the extra "
     "reduction below it.",
     1.0f, 100.0f, 4.0f, false},
    {"knee_db", "dB", {}, "The width of the soft transition around the threshold.", 0.0f, 24.0f, 6.0f, false},
    {"attack_ms", "ms", {}, "How fast the gain reduction builds.", 0.01f, 200.0f, 10.0f, false},
    {"release_ms", "ms", {}, "How fast the gain comes back.", 1.0f, 2000.0f, 120.0f, false},
    {"makeup_db", "dB", {}, "Gain after the processing.", -24.0f, 36.0f, 0.0f, false},
    {"auto_makeup", "", OFF_ON, "Adds the gain a typical signal loses, estimated from the threshold and ratio.", 0.0f,
     1.0f, 0.0f, false},
    {"detector", "", DETECTORS, "How the level is measured. rms follows loudness and is gentler.", 0.0f, 1.0f, 0.0f,
     false},
    {"sidechain_hpf_hz", "Hz", {}, "A high-pass on the detector alone. Near 10 Hz it does nothing.", 10.0f, 1000.0f,
     10.0f, false},
    {"link", "", {}, "0 measures each channel on its own and 1 uses the loudest channel for all of them.", 0.0f, 1.0f,
     1.0f, false},
    {"lookahead_ms", "ms", {}, "Delays the audio so the detector sees peaks early. Adds this much latency.", 0.0f,
     10.0f, 0.0f, true},
    {"range_db", "dB", {}, "The most the gain can be turned down.", 0.0f, 80.0f, 80.0f, false},
};

// Memories below this magnitude are set to 0 after each frame, out of denormal range.
constexpr float SILENT = 1e-20f;

// The mode index of a control value: 0 to 3, a negative or NaN value as 0.
std::uint32_t mode_index(float value) noexcept {
    if (!(value >= 0.0f)) return 0;
    if (value >= 3.0f) return 3;
    return static_cast<std::uint32_t>(value);
}

} // namespace

const BlockInfo Dynamics::INFO = {
    "dynamics",
    "A dynamics processor. As a compressor or limiter it turns down what rises above the threshold. As a gate or "
    "expander it turns down what falls below it. The detector can be filtered so bass does not pump the whole mix, "
    "and the channels can be linked so the stereo image holds still. A lookahead adds latency, which the plugin "
    "reports to the host.",
    ARGS,
    METERS,
    &Dynamics::make,
};

std::unique_ptr<Block> Dynamics::make() { return std::make_unique<Dynamics>(); }

void Dynamics::configure(std::span<const float> args) noexcept {
    require_args(args, 13, "dynamics: configure needs 13 argument values");
    lookahead_ms = args[11];
}

// L = fs × lookahead_ms × 0.001 rounded half away from zero (a negative value as 0).
void Dynamics::prepare(float rate, std::uint32_t channel_count) noexcept {
    const float samples = std::round(rate * lookahead_ms * 0.001f);
    lookahead = samples > 0.0f ? static_cast<std::uint32_t>(std::min(samples, 4.0e9f)) : 0u;
    gain.assign(channel_count, 0.0f);
    mean_square.assign(channel_count, 0.0f);
    detector_hp.assign(channel_count, 0.0f);
    level.assign(channel_count, 0.0f);
    lines.assign(channel_count, std::vector<float>(std::max(lookahead, 1u), 0.0f));
    write_pos = 0;
    sample_rate = rate;
    mode = 0;
    threshold_db = ratio = knee_db = 0.0f;
    attack = release = 0.0f;
    makeup_db = hpf = link = range_db = 0.0f;
    gain_reduction_db = 0.0f;
    rms = false;
}

// attack = exp(−1 / (attack_ms × 0.001 × fs)) and release = exp(−1 / (fs × release_ms × 0.001))
// per sample. The automatic make-up, for the compressor only, is half the reduction a signal
// at 0 dB gets from the hard-knee curve: min((1 − 1/ratio) × threshold_db × −0.5, 24). The
// detector high-pass is 1 − exp(−2π fc / fs), fc held to 1 .. 0.49 fs, and off at 15 Hz or
// below.
void Dynamics::control(std::span<const float> args) noexcept {
    require_args(args, 13, "dynamics: control needs 13 argument values");
    const float fs = sample_rate;
    mode = mode_index(args[0]);
    threshold_db = args[1];
    if (mode == 1)
        ratio = 1000.0f;
    else if (mode == 2)
        ratio = std::max(args[2], 20.0f);
    else
        ratio = args[2];
    knee_db = args[3];
    attack = std::exp(-1.0f / (args[4] * 0.001f * fs));
    release = std::exp(-1.0f / (fs * args[5] * 0.001f));
    float automatic = 0.0f;
    if (mode == 0 && args[7] >= 0.5f) automatic = std::min((1.0f - 1.0f / ratio) * threshold_db * -0.5f, 24.0f);
    makeup_db = args[6] + automatic;
    rms = args[8] >= 0.5f;
    if (args[9] > 15.0f) {
        const float fc = std::max(std::min(args[9], 0.49f * fs), 1.0f);
        hpf = 1.0f - std::exp((fc * -6.2831855f) / fs);
    } else {
        hpf = 0.0f;
    }
    link = args[10];
    range_db = args[12];
}

// Per sample: detect every channel (|d| or √ of a 10 ms mean square of d, where d is the input
// or its high-passed version); link each level toward the loudest, l = level + link × (top −
// level); take the overshoot u = 20 log10(max(l, 1e-9)) − threshold and, with h = K/2, the
// gain change w:
//   compressor, limiter:  (1/ratio − 1)(u + h)² / 2K inside the knee, (1/ratio − 1)·u above;
//   gate, expander:      −(ratio − 1)(h − u)² / 2K inside the knee, (ratio − 1)·u below;
// held to −range .. 0 and smoothed with attack (more reduction) or release; the possibly
// delayed sample is scaled by 10^((makeup + gain) / 20).
void Dynamics::process(Frame& frame, std::uint32_t offset) noexcept {
    static_cast<void>(offset);
    const std::uint32_t len = frame.len;
    if (len == 0) return;
    const std::size_t n = std::min(frame.channel_count(), gain.size());
    if (n == 0) {
        gain_reduction_db = 0.0f;
        if (lookahead > 0) write_pos = (write_pos + len) % lookahead;
        return;
    }
    // Checks `len` once; the loops below index the channels' arrays directly.
    static_cast<void>(frame.channel(0));

    const float m = rms ? std::exp(-1.0f / (sample_rate * 0.01f)) : 0.0f;
    const float knee = knee_db;
    const float h = knee * 0.5f;
    const bool downward = mode < 2;
    const float above = 1.0f / ratio - 1.0f; // compressor slope above the threshold
    const float below = ratio - 1.0f;        // expander slope below it
    for (std::uint32_t j = 0; j < len; ++j) {
        float top = 0.0f;
        for (std::size_t k = 0; k < n; ++k) {
            const float x = frame.channels[k][j];
            float d = x;
            if (hpf > 0.0f) {
                detector_hp[k] += hpf * (x - detector_hp[k]);
                d = x - detector_hp[k];
            }
            if (rms) {
                mean_square[k] += (1.0f - m) * (d * d - mean_square[k]);
                level[k] = std::sqrt(mean_square[k]);
            } else {
                level[k] = std::fabs(d);
            }
            top = std::max(top, level[k]);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const float l = level[k] + link * (top - level[k]);
            const float u = 20.0f * std::log10(std::max(l, 1e-9f)) - threshold_db;
            const bool in_knee = std::fabs(u) < h && knee > 0.0f;
            float w = 0.0f;
            if (downward) {
                if (in_knee)
                    w = above * ((u + h) * (u + h)) / (2.0f * knee);
                else if (u > 0.0f)
                    w = above * u;
            } else {
                if (in_knee)
                    w = -below * ((h - u) * (h - u)) / (2.0f * knee);
                else if (u < 0.0f)
                    w = below * u;
            }
            const float t = std::min(std::max(w, -range_db), 0.0f);
            const float coefficient = t < gain[k] ? attack : release;
            gain[k] = t + coefficient * (gain[k] - t);

            float& sample = frame.channels[k][j];
            float y = sample;
            if (lookahead > 0) {
                y = lines[k][write_pos];
                lines[k][write_pos] = sample;
            }
            sample = y * std::exp((makeup_db + gain[k]) * 0.11512925f);
        }
        if (lookahead > 0 && ++write_pos == lookahead) write_pos = 0;
    }

    float deepest = 0.0f;
    for (std::size_t k = 0; k < n; ++k) deepest = std::min(deepest, gain[k]);
    gain_reduction_db = deepest < 0.0f ? -deepest : 0.0f;
    for (std::size_t k = 0; k < n; ++k) {
        if (std::fabs(gain[k]) < SILENT) gain[k] = 0.0f;
        if (std::fabs(mean_square[k]) < SILENT) mean_square[k] = 0.0f;
    }
}

std::uint32_t Dynamics::latency() const noexcept { return lookahead; }

float Dynamics::meter(std::uint32_t index) const noexcept { return index == 0 ? gain_reduction_db : 0.0f; }

} // namespace loom
