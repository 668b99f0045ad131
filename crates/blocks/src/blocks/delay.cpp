#include "blocks/delay.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view MODES[] = {"normal", "pingpong"};

constexpr ArgInfo ARGS[] = {
    {"time_ms", "ms", {}, "The delay. Bind it to sync(beats) to lock it to the tempo.", 0.1f, 4000.0f, 250.0f,
     false},
    {"feedback", "", {}, "How much of the output returns to the input. It stays below 1 so the echoes die away.",
     0.0f, 0.97f, 0.35f, false},
    {"damp_hz", "Hz", {}, "A low-pass in the feedback path, so each repeat is darker.", 200.0f, 20000.0f, 8000.0f,
     false},
    {"mode", "", MODES, "pingpong bounces the echoes between left and right when there are two channels.", 0.0f,
     1.0f, 0.0f, false},
    {"mod_depth_ms", "ms", {}, "How far the delay time swings from an LFO.", 0.0f, 20.0f, 0.0f, false},
    {"mod_rate_hz", "Hz", {}, "The speed of that swing.", 0.02f, 20.0f, 0.5f, false},
    {"max_ms", "ms", {}, "The longest delay the line can hold. Sets the memory used.", 10.0f, 4000.0f, 2000.0f,
     true},
};

// Feedback memories below this magnitude are set to 0 after each frame, out of denormal range.
constexpr float SILENT = 1e-20f;

// Samples a ring holds beyond the longest delay: room for the interpolator's neighbours and
// for a swing that reaches past the end (such reads are held to N − 4).
constexpr std::uint32_t SPARE = 24;

// The part of `x` after the point, 0 to below 1.
double frac(double x) noexcept { return x - std::floor(x); }

// The LFO at phase `phi` (cycles): sin(2π × frac(phi)), in single precision.
float lfo(double phi) noexcept { return std::sin(static_cast<float>(frac(phi)) * 6.2831855f); }

// delay(j, φ): the delay time gliding across the period plus the LFO swing at the sample's
// own phase. With no depth the swing is exactly 0 and the sine is skipped.
float delay_at(const Delay& d, std::uint32_t position, double phi) noexcept {
    const float time = glide(d.time_from, d.time_to, position);
    if (d.depth == 0.0f) return time;
    return time + d.depth * lfo(phi);
}

} // namespace

const BlockInfo Delay::INFO = {
    "delay",
    "A delay line. The block outputs only the delayed signal, so set the node's `mix` to blend it with the dry "
    "sound. For an echo use 100 ms or more with feedback. For a chorus use 10 to 30 ms with depth and no feedback "
    "and a mix of 0.5. For a flanger use 1 to 5 ms with depth and feedback. For a vibrato use mix 1.",
    ARGS,
    {},
    &Delay::make,
};

std::unique_ptr<Block> Delay::make() { return std::make_unique<Delay>(); }

// With i = floor(d) and t = d − i, the four samples are i − 1, i, i + 1 and i + 2 back from
// `write_pos` (sample 1 back is the newest), and
//   y = y₀ + t·(½(y₁ − y₋₁) + t·((y₋₁ − 2.5y₀ + 2y₁ − ½y₂) + t·(1.5(y₀ − y₁) + ½(y₂ − y₋₁))))
// passes through y₀ at t = 0 and y₁ at t = 1. Holding d to 2 .. N − 4 keeps all four within
// the N − 1 samples written before the one at `write_pos`.
float Delay::Line::read(float delay) const noexcept {
    const auto n = static_cast<std::uint32_t>(buffer.size());
    if (!(delay >= 2.0f)) delay = 2.0f;
    if (delay > static_cast<float>(n - 4)) delay = static_cast<float>(n - 4);
    const float whole = std::floor(delay);
    const float t = delay - whole;
    const std::uint32_t i = std::min(static_cast<std::uint32_t>(whole), n - 4);
    const auto back = [&](std::uint32_t samples) noexcept {
        std::uint32_t k = write_pos + n - samples;
        if (k >= n) k -= n;
        return buffer[k];
    };
    const float ym1 = back(i - 1);
    const float y0 = back(i);
    const float y1 = back(i + 1);
    const float y2 = back(i + 2);
    return y0 + t * (0.5f * (y1 - ym1) +
                     t * ((ym1 - 2.5f * y0 + 2.0f * y1 - 0.5f * y2) + t * (1.5f * (y0 - y1) + 0.5f * (y2 - ym1))));
}

void Delay::Line::write(float x) noexcept {
    buffer[write_pos] = x;
    if (++write_pos == buffer.size()) write_pos = 0;
}

void Delay::configure(std::span<const float> args) noexcept {
    require_args(args, 7, "delay: configure needs 7 argument values");
    max_ms = args[6];
}

void Delay::prepare(float rate, std::uint32_t channel_count) noexcept {
    const float longest = rate * max_ms * 0.001f;
    // Truncated; a negative size is none, and the bound keeps the conversion defined (a
    // ring that large cannot be allocated, which stops the program as any exhausted memory).
    const std::uint32_t n = (longest > 0.0f ? static_cast<std::uint32_t>(std::min(longest, 4.0e9f)) : 0u) + SPARE;
    lines.assign(channel_count, Line{std::vector<float>(n, 0.0f), 0, 0.0f});
    sample_rate = rate;
    time_from = time_to = 0.0f;
    phase_step = phase = 0.0;
    feedback = damp = depth = 0.0f;
    pingpong = false;
    started = false;
}

// d = fs × min(time_ms, max_ms) × 0.001 samples, gliding from the previous target (none on
// the first period); damp = 1 − exp(−2π fc / fs) with fc = damp_hz held to 1 .. 0.49 fs;
// depth = fs × mod_depth_ms × 0.001 samples; phase_step = mod_rate_hz / fs in 64 bits.
void Delay::control(std::span<const float> args) noexcept {
    require_args(args, 7, "delay: control needs 7 argument values");
    const float fs = sample_rate;
    const float d = fs * std::min(args[0], max_ms) * 0.001f;
    if (!started) {
        time_to = d;
        started = true;
    }
    time_from = time_to;
    time_to = d;
    feedback = args[1];
    const float fc = std::max(std::min(args[2], 0.49f * fs), 1.0f);
    damp = 1.0f - std::exp((fc * -6.2831855f) / fs);
    depth = fs * args[4] * 0.001f;
    phase_step = static_cast<double>(args[5]) / static_cast<double>(fs);
    pingpong = args[3] >= 0.5f && lines.size() == 2;
}

// Normal mode: each channel with a line reads, damps and writes back its own output, its LFO
// a quarter cycle behind the channel before. Ping-pong: one LFO phase; the mono sum enters
// the left line, and each line's damped output feeds the other, so echoes alternate sides.
// Channels without a line (or beyond the two of ping-pong) pass unchanged.
void Delay::process(Frame& frame, std::uint32_t offset) noexcept {
    const std::uint32_t len = frame.len;
    if (pingpong && frame.channel_count() >= 2) {
        const std::span<float> left = frame.channel(0);
        const std::span<float> right = frame.channel(1);
        Line& a = lines[0];
        Line& b = lines[1];
        for (std::uint32_t j = 0; j < len; ++j) {
            const float d = delay_at(*this, offset + j, phase + phase_step * j);
            const float u = a.read(d);
            const float v = b.read(d);
            a.damped += damp * (u - a.damped);
            b.damped += damp * (v - b.damped);
            a.write(feedback * b.damped + 0.5f * (left[j] + right[j]));
            b.write(feedback * a.damped);
            left[j] = u;
            right[j] = v;
        }
    } else {
        const std::size_t n = std::min(frame.channel_count(), lines.size());
        for (std::size_t k = 0; k < n; ++k) {
            const std::span<float> samples = frame.channel(k);
            Line& line = lines[k];
            const double phi = phase + static_cast<double>(k) * 0.25;
            for (std::uint32_t j = 0; j < len; ++j) {
                const float v = line.read(delay_at(*this, offset + j, phi + phase_step * j));
                line.damped += damp * (v - line.damped);
                line.write(feedback * line.damped + samples[j]);
                samples[j] = v;
            }
        }
    }
    phase = frac(phase + phase_step * len);
    for (Line& line : lines)
        if (std::fabs(line.damped) < SILENT) line.damped = 0.0f;
}

// R = 1 for feedback ≤ 0.01, else ceil(ln 0.001 / ln feedback) held to 1 .. 60; the tail is
// R × fs × min(time_ms, max_ms) × 0.001 + fs × mod_depth_ms × 0.001, truncated.
std::uint32_t Delay::tail(std::span<const float> args, float rate) const noexcept {
    require_args(args, 7, "delay: tail needs 7 argument values");
    float repeats = 1.0f;
    if (args[1] > 0.01f) repeats = std::min(std::max(std::ceil(-6.9077554f / std::log(args[1])), 1.0f), 60.0f);
    const float samples = repeats * rate * std::min(args[0], max_ms) * 0.001f + rate * args[4] * 0.001f;
    if (!(samples > 0.0f)) return 0;
    if (samples >= 4294967040.0f) return UINT32_MAX;
    return static_cast<std::uint32_t>(samples);
}

} // namespace loom
