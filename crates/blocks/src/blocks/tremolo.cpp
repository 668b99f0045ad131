#include "blocks/tremolo.hpp"

#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view SHAPES[] = {"sine", "triangle"};

constexpr ArgInfo ARGS[] = {
    {"rate_hz", "Hz", {}, "The speed.", 0.05f, 40.0f, 4.0f, false},
    {"depth", "", {}, "0 does nothing. 1 takes the level all the way down at the bottom of each cycle.", 0.0f, 1.0f,
     0.5f, false},
    {"shape", "", SHAPES, "The wave.", 0.0f, 1.0f, 0.0f, false},
    {"stereo_phase", "deg", {},
     "How far each channel's cycle is offset from the one before. 180 with two channels is an auto-pan.", 0.0f,
     180.0f, 0.0f, false},
};

// The part of `x` after the point, 0 to below 1.
double frac(double x) noexcept { return x - std::floor(x); }

// The waves, −1 to 1, at phase φ in cycles. The sine starts a cycle half-way down and is at
// its bottom at φ = 0.75; the triangle starts at its bottom and is at its top at φ = 0.5.

// sin(2π φ).
struct Sine {
    static float at(double phi) noexcept { return std::sin(static_cast<float>(frac(phi)) * 6.2831855f); }
};

// 1 − 4 × |frac(φ) − 0.5|.
struct Triangle {
    static float at(double phi) noexcept { return 1.0f - 4.0f * std::fabs(static_cast<float>(frac(phi)) - 0.5f); }
};

// Each sample is scaled by 1 − d × (1 − s) / 2: 1 at the top of the wave, 1 − d at the bottom,
// with the depth d gliding across the period.
template <class Wave>
void modulate(const Tremolo& t, Frame& frame, std::uint32_t offset) noexcept {
    for (std::size_t k = 0; k < frame.channel_count(); ++k) {
        const std::span<float> samples = frame.channel(k);
        const double start = t.phase + static_cast<double>(k) * t.channel_offset;
        for (std::uint32_t j = 0; j < samples.size(); ++j) {
            const float s = Wave::at(start + t.phase_step * j);
            const float d = glide(t.depth_from, t.depth_to, offset + j);
            samples[j] *= 1.0f - d * (1.0f - s) / 2.0f;
        }
    }
}

} // namespace

const BlockInfo Tremolo::INFO = {
    "tremolo",
    "Varies the level with a low-frequency oscillator. With the channels half a cycle apart it is an auto-pan.",
    ARGS,
    {},
    &Tremolo::make,
};

std::unique_ptr<Block> Tremolo::make() { return std::make_unique<Tremolo>(); }

void Tremolo::prepare(float rate, std::uint32_t channel_count) noexcept {
    static_cast<void>(channel_count);
    phase_step = 0.0;
    depth_from = depth_to = 0.0f;
    channel_offset = 0.0;
    phase = 0.0;
    sample_rate = rate;
    triangle = false;
    started = false;
}

// phase_step = rate_hz / fs and channel_offset = stereo_phase / 360, both in 64 bits; the
// depth glides from the previous target (none on the first period).
void Tremolo::control(std::span<const float> args) noexcept {
    require_args(args, 4, "tremolo: control needs 4 argument values");
    phase_step = static_cast<double>(args[0]) / static_cast<double>(sample_rate);
    if (!started) {
        depth_to = args[1];
        started = true;
    }
    depth_from = depth_to;
    depth_to = args[1];
    triangle = args[2] >= 0.5f;
    channel_offset = static_cast<double>(args[3]) / 360.0;
}

// A frame without channels still moves the phase on by its length.
void Tremolo::process(Frame& frame, std::uint32_t offset) noexcept {
    if (triangle)
        modulate<Triangle>(*this, frame, offset);
    else
        modulate<Sine>(*this, frame, offset);
    phase = frac(phase + phase_step * frame.len);
}

} // namespace loom
