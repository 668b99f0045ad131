#pragma once
// The one-pole block: a first-order low-pass or its complementary high-pass, 6 dB per octave,
// one memory per channel, with the corner smoothed in octaves once per control period.

#include "loom/blocks/block.hpp"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace loom {

class OnePole final : public Block {
public:
    static constexpr float NOT_SEEN = std::numeric_limits<float>::quiet_NaN();

    static const BlockInfo INFO;

    // [build] A one-pole with no channels, every number 0 and both flags false.
    static std::unique_ptr<Block> make();

    // Sizes and clears the memories (allocates), resets the smoother and sets its step.
    void prepare(float rate, std::uint32_t channel_count) noexcept override;
    // args: `type`, `freq`.
    void control(std::span<const float> args) noexcept override;
    // The offset is not used: the coefficient holds for the whole period.
    void process(Frame& frame, std::uint32_t offset) noexcept override;

    std::vector<float> state;  // per channel: the low-pass output of the last sample
    float log_freq = 0.0f;     // smoothed corner, log2 of Hz
    bool started = false;      // a `control` has run since the last `prepare`
    float sample_rate = 0.0f;  // Hz, of the last `prepare`
    float smoothing = 0.0f;    // step of the corner smoother per control period
    float coefficient = 0.0f;  // the filter coefficient a
    bool highpass = false;     // output x − y instead of y
    // What the last control computed from: an unchanged `freq` gives the same target, and an
    // unchanged corner the same coefficient, so their logarithm and exponentials are skipped.
    float seen_freq = NOT_SEEN;
    float seen_target = 0.0f;
    float seen_log_freq = NOT_SEEN;
};

} // namespace loom
