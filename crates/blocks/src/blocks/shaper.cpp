#include "blocks/shaper.hpp"

#include <cmath>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view CURVES[] = {"tanh", "hard", "softclip", "fold", "tube"};

constexpr ArgInfo ARGS[] = {
    {"curve", "", CURVES,
     "tanh rounds the peaks smoothly. hard cuts them flat. softclip is a gentle cubic knee. fold wraps the peaks "
     "back on themselves. tube is asymmetric, saturating one half harder than the other.",
     0.0f, 4.0f, 0.0f, false},
    {"drive_db", "dB", {}, "Gain before the curve.", -24.0f, 48.0f, 0.0f, false},
    {"bias", "", {}, "Moves the signal off centre before the curve. The constant this adds is removed after.",
     -1.0f, 1.0f, 0.0f, false},
    {"output_db", "dB", {}, "Gain after the curve.", -48.0f, 24.0f, 0.0f, false},
};

// The curves. Each maps 0 to 0; all but tube are odd.

// 0, tanh: tanh(x).
struct Tanh {
    static float at(float x) noexcept { return std::tanh(x); }
};

// 1, hard: x limited to −1..1.
struct Hard {
    static float at(float x) noexcept {
        if (x < -1.0f) return -1.0f;
        if (x > 1.0f) return 1.0f;
        return x;
    }
};

// 2, softclip: 1.5·(x − x³/3) within −1..1, meeting ±1 with zero slope at x = ±1; ±1 beyond.
struct SoftClip {
    static float at(float x) noexcept {
        if (x >= 1.0f) return 1.0f;
        if (x <= -1.0f) return -1.0f;
        return 1.5f * (x + (x * (x * x)) / -3.0f);
    }
};

// 3, fold: sin(x·π/2); inputs beyond ±1 fold back toward the centre.
struct Fold {
    static float at(float x) noexcept { return std::sin(x * 1.5707964f); }
};

// 4, tube: 1 − e^(−x) for x ≥ 0 (levels off at 1) and (1 − e^(1.25x))·(−0.8) below 0 (bends
// over faster, levels off at −0.8). Both halves leave 0 with slope 1.
struct Tube {
    static float at(float x) noexcept {
        if (x >= 0.0f) return 1.0f - std::exp(-x);
        return (1.0f - std::exp(1.25f * x)) * -0.8f;
    }
};

// sample = o × (curve(bias + sample × d) − offset), with d and o gliding across the period.
// Outside a glide d and o are plain factors, which keeps the loop free of per-sample ramps.
template <class Curve>
void shape_frame(const Shaper& s, Frame& frame, std::uint32_t period_offset) noexcept {
    const std::uint32_t len = frame.len;
    const float bias = s.bias;
    const float offset = s.offset;
    const bool steady = s.drive_from == s.drive_to && s.output_from == s.output_to;
    for (std::size_t c = 0; c < frame.channel_count(); ++c) {
        float* samples = frame.channel(c).data();
        if (steady) {
            const float d = s.drive_to;
            const float o = s.output_to;
            for (std::uint32_t j = 0; j < len; ++j) samples[j] = o * (Curve::at(bias + samples[j] * d) - offset);
            continue;
        }
        const float drive_from = s.drive_from, drive_to = s.drive_to;
        const float output_from = s.output_from, output_to = s.output_to;
        for (std::uint32_t j = 0; j < len; ++j) {
            const float d = glide(drive_from, drive_to, period_offset + j);
            const float o = glide(output_from, output_to, period_offset + j);
            samples[j] = o * (Curve::at(bias + samples[j] * d) - offset);
        }
    }
}

// The curve index of a control value: truncation toward zero. Values of 4 and above all
// select tube and are kept as 4, and a negative or NaN value as 0, so that no conversion
// can overflow.
std::uint32_t curve_index(float value) noexcept {
    if (!(value >= 0.0f)) return 0;
    if (value >= 4.0f) return 4;
    return static_cast<std::uint32_t>(value);
}

} // namespace

float shape(std::uint32_t curve, float x) noexcept {
    switch (curve) {
    case 0: return Tanh::at(x);
    case 1: return Hard::at(x);
    case 2: return SoftClip::at(x);
    case 3: return Fold::at(x);
    default: return Tube::at(x);
    }
}

const BlockInfo Shaper::INFO = {
    "shaper",
    "Pushes the signal through a curve. Drive sets how hard, and every curve adds harmonics. Bias moves the signal "
    "off centre before the curve, which adds even harmonics. It does not oversample yet, so very high drive can "
    "alias. Follow it with a low-pass to tame the top.",
    ARGS,
    {},
    &Shaper::make,
};

std::unique_ptr<Block> Shaper::make() { return std::make_unique<Shaper>(); }

void Shaper::prepare(float sample_rate, std::uint32_t channel_count) noexcept {
    static_cast<void>(sample_rate);
    static_cast<void>(channel_count);
    curve = 0;
    drive_from = drive_to = 0.0f;
    output_from = output_to = 0.0f;
    bias = 0.0f;
    offset = 0.0f;
    started = false;
    seen_drive_db = seen_output_db = NOT_SEEN;
}

void Shaper::control(std::span<const float> args) noexcept {
    require_args(args, 4, "shaper: control needs 4 argument values");
    curve = curve_index(args[0]);
    bias = args[2];
    offset = shape(curve, bias);
    const bool same = started && args[1] == seen_drive_db && args[3] == seen_output_db;
    const float drive = same ? drive_to : std::exp(args[1] * 0.11512925f);
    const float output = same ? output_to : std::exp(args[3] * 0.11512925f);
    seen_drive_db = args[1];
    seen_output_db = args[3];
    if (started) {
        drive_from = drive_to;
        output_from = output_to;
    } else {
        started = true;
        drive_from = drive;
        output_from = output;
    }
    drive_to = drive;
    output_to = output;
}

void Shaper::process(Frame& frame, std::uint32_t period_offset) noexcept {
    if (frame.channel_count() == 0 || frame.len == 0) return;
    switch (curve) {
    case 0: shape_frame<Tanh>(*this, frame, period_offset); break;
    case 1: shape_frame<Hard>(*this, frame, period_offset); break;
    case 2: shape_frame<SoftClip>(*this, frame, period_offset); break;
    case 3: shape_frame<Fold>(*this, frame, period_offset); break;
    default: shape_frame<Tube>(*this, frame, period_offset); break;
    }
}

} // namespace loom
