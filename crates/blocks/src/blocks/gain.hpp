#pragma once
// The gain block: level, polarity and constant-power pan of a two-channel signal, each change
// gliding across one control period. No metering, no latency.

#include "loom/blocks/block.hpp"

#include <array>
#include <cstdint>
#include <limits>
#include <memory>

namespace loom {

class Gain final : public Block {
public:
    static constexpr float NOT_SEEN = std::numeric_limits<float>::quiet_NaN();

    static const BlockInfo INFO;

    // [build] A gain with every field 0, not started.
    static std::unique_ptr<Block> make();

    // Stores the channel count; zeroes the gains and the glide. The rate is not used.
    void prepare(float sample_rate, std::uint32_t channel_count) noexcept override;
    // args: `gain_db`, `pan`, `invert`.
    void control(std::span<const float> args) noexcept override;
    void process(Frame& frame, std::uint32_t offset) noexcept override;

    std::uint32_t channels = 0; // channel count of the last `prepare`
    float from_left = 0.0f;     // linear gains at the start of the glide
    float from_right = 0.0f;
    float from_mono = 0.0f;
    float to_left = 0.0f;       // linear gains at the end of the glide
    float to_right = 0.0f;
    float to_mono = 0.0f;
    bool started = false;       // a `control` has run since the last `prepare`
    // The arguments the targets were computed from: unchanged arguments give the same
    // targets, so the exponential and the pan law are skipped.
    std::array<float, 3> seen = {NOT_SEEN, NOT_SEEN, NOT_SEEN};
};

} // namespace loom
