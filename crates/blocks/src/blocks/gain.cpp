#include "blocks/gain.hpp"

#include <cmath>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view OFF_ON[] = {"off", "on"};

constexpr ArgInfo ARGS[] = {
    {"gain_db", "dB", {}, "Level change.", -96.0f, 48.0f, 0.0f, false},
    {"pan", "", {}, "Balance from -1 (left) to 1 (right), constant power. Only used with exactly two channels.",
     -1.0f, 1.0f, 0.0f, false},
    {"invert", "", OFF_ON, "Flips the polarity.", 0.0f, 1.0f, 0.0f, false},
};

// Multiplies `samples` by the gain gliding from `from` to `to`, the first sample sitting at
// period position `offset`.
void apply(std::span<float> samples, float from, float to, std::uint32_t offset) noexcept {
    if (from == to) {
        for (float& x : samples) x *= to;
        return;
    }
    for (std::uint32_t j = 0; j < samples.size(); ++j) samples[j] *= glide(from, to, offset + j);
}

} // namespace

const BlockInfo Gain::INFO = {
    "gain",
    "Changes the level, flips the polarity and pans a stereo signal. A change glides across 32 samples, so "
    "automating it does not click.",
    ARGS,
    {},
    &Gain::make,
};

std::unique_ptr<Block> Gain::make() { return std::make_unique<Gain>(); }

void Gain::prepare(float sample_rate, std::uint32_t channel_count) noexcept {
    static_cast<void>(sample_rate);
    channels = channel_count;
    from_left = from_right = from_mono = 0.0f;
    to_left = to_right = to_mono = 0.0f;
    started = false;
    seen = {NOT_SEEN, NOT_SEEN, NOT_SEEN};
}

// g = 10^(gain_db / 20) = exp(gain_db × 0.11512925), negated when inverted. With exactly two
// channels the pan law is constant power: θ = (pan + 1) × π/4, left = g·√2·cos θ and
// right = g·√2·sin θ, so left² + right² = 2g² and pan 0 leaves both at g.
void Gain::control(std::span<const float> args) noexcept {
    require_args(args, 3, "gain: control needs 3 argument values");
    if (started && args[0] == seen[0] && args[1] == seen[1] && args[2] == seen[2]) {
        from_left = to_left;
        from_right = to_right;
        from_mono = to_mono;
        return;
    }
    seen = {args[0], args[1], args[2]};
    const float g = std::exp(args[0] * 0.11512925f);
    const float s = args[2] < 0.5f ? g : -g;
    float left = s;
    float right = s;
    if (channels == 2) {
        const float theta = (args[1] + 1.0f) * 0.7853982f;
        left = s * 1.4142135f * std::cos(theta);
        right = s * 1.4142135f * std::sin(theta);
    }
    const float mono = s;
    if (!started) {
        to_left = left;
        to_right = right;
        to_mono = mono;
        started = true;
    }
    from_left = to_left;
    from_right = to_right;
    from_mono = to_mono;
    to_left = left;
    to_right = right;
    to_mono = mono;
}

void Gain::process(Frame& frame, std::uint32_t offset) noexcept {
    if (frame.channel_count() == 0 || frame.len == 0) return;
    for (std::size_t c = 0; c < frame.channel_count(); ++c) {
        const std::span<float> samples = frame.channel(c);
        if (channels != 2)
            apply(samples, from_mono, to_mono, offset);
        else if (c == 0)
            apply(samples, from_left, to_left, offset);
        else
            apply(samples, from_right, to_right, offset);
    }
}

} // namespace loom
