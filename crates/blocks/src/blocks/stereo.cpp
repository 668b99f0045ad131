#include "blocks/stereo.hpp"

#include <cmath>
#include <span>
#include <string_view>

namespace loom {

namespace {

constexpr std::string_view MODES[] = {"width", "encode", "decode", "mono", "swap"};

constexpr ArgInfo ARGS[] = {
    {"mode", "", MODES,
     "width scales mid and side. encode puts mid in channel 0 and side in channel 1. decode reverses it. mono sums "
     "to the middle. swap exchanges left and right.",
     0.0f, 4.0f, 0.0f, false},
    {"width", "", {}, "Side level multiplier for width mode. 0 is mono, 1 is unchanged, 2 is twice as wide.", 0.0f,
     2.0f, 1.0f, false},
    {"mid_db", "dB", {}, "Mid level for width mode.", -24.0f, 24.0f, 0.0f, false},
    {"side_db", "dB", {}, "Side level for width mode.", -24.0f, 24.0f, 0.0f, false},
};

// The mode of a control value: truncation toward zero, a negative or NaN value taken as 0 and
// anything above 4 as 4, so no conversion can overflow.
std::uint32_t mode_index(float value) noexcept {
    if (!(value >= 0.0f)) return 0;
    if (value >= 4.0f) return 4;
    return static_cast<std::uint32_t>(value);
}

} // namespace

const BlockInfo Stereo::INFO = {
    "stereo",
    "Mid/side work on a two-channel signal. width changes the level of the side signal and mid_db and side_db "
    "change each one's level. encode turns left and right into mid and side, so a filter or compressor on one "
    "channel, with the node's `only` option, works on the mid or the side alone. decode turns them back. With any "
    "other channel count the block does nothing.",
    ARGS,
    {},
    &Stereo::make,
};

std::unique_ptr<Block> Stereo::make() { return std::make_unique<Stereo>(); }

void Stereo::prepare(float sample_rate, std::uint32_t channel_count) noexcept {
    static_cast<void>(sample_rate);
    mode = 0;
    mid_from = mid_to = 0.0f;
    side_from = side_to = 0.0f;
    two_channels = channel_count == 2;
    started = false;
}

// Mid gain m = exp(mid_db × 0.11512925) and side gain s = width × exp(side_db × 0.11512925),
// both gliding from the previous targets (none after `prepare`).
void Stereo::control(std::span<const float> args) noexcept {
    require_args(args, 4, "stereo: control needs 4 argument values");
    mode = mode_index(args[0]);
    const float m = std::exp(args[2] * 0.11512925f);
    const float s = args[1] * std::exp(args[3] * 0.11512925f);
    if (started) {
        mid_from = mid_to;
        side_from = side_to;
    } else {
        started = true;
        mid_from = m;
        side_from = s;
    }
    mid_to = m;
    side_to = s;
}

// With L and R the samples of channels 0 and 1:
//   width   M = gm·(L + R)/2, S = gs·(L − R)/2, out M + S and M − S, gm and gs gliding
//   encode  (L + R)/2 and (L − R)/2
//   decode  L + R and L − R
//   mono    (L + R)/2 on both
//   swap    R and L
// Channels from 2 on are not touched. Halving is exact, so encode then decode gives back L
// and R whenever L + R and L − R are exact, as they are for 24-bit samples.
void Stereo::process(Frame& frame, std::uint32_t offset) noexcept {
    if (!two_channels || frame.channel_count() < 2) return;
    const std::span<float> left = frame.channel(0);
    const std::span<float> right = frame.channel(1);
    switch (mode) {
    case 0:
        for (std::uint32_t j = 0; j < left.size(); ++j) {
            const float l = left[j];
            const float r = right[j];
            const float mid = glide(mid_from, mid_to, offset + j) * (l + r) / 2.0f;
            const float side = glide(side_from, side_to, offset + j) * (l - r) / 2.0f;
            left[j] = mid + side;
            right[j] = mid - side;
        }
        break;
    case 1:
        for (std::uint32_t j = 0; j < left.size(); ++j) {
            const float l = left[j];
            const float r = right[j];
            left[j] = (l + r) / 2.0f;
            right[j] = (l - r) / 2.0f;
        }
        break;
    case 2:
        for (std::uint32_t j = 0; j < left.size(); ++j) {
            const float l = left[j];
            const float r = right[j];
            left[j] = l + r;
            right[j] = l - r;
        }
        break;
    case 3:
        for (std::uint32_t j = 0; j < left.size(); ++j) {
            const float sum = (left[j] + right[j]) / 2.0f;
            left[j] = sum;
            right[j] = sum;
        }
        break;
    default:
        for (std::uint32_t j = 0; j < left.size(); ++j) {
            const float l = left[j];
            left[j] = right[j];
            right[j] = l;
        }
        break;
    }
}

} // namespace loom
