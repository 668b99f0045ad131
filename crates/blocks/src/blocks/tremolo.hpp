#pragma once
// The tremolo block: the level varied by a sine or triangle LFO with a 64-bit phase, each
// channel's cycle offset from the one before (half a cycle on two channels is an auto-pan).
// No per-channel memory, meters, latency or tail.

#include "loom/blocks/block.hpp"

#include <cstdint>
#include <memory>

namespace loom {

class Tremolo final : public Block {
public:
    static const BlockInfo INFO;

    // [build] A tremolo with every field 0 or false.
    static std::unique_ptr<Block> make();

    // Zeroes every field but the rate: the phase restarts and the depth glide is cleared.
    // The channel count is not used.
    void prepare(float rate, std::uint32_t channel_count) noexcept override;
    // args: `rate_hz`, `depth`, `shape`, `stereo_phase`.
    void control(std::span<const float> args) noexcept override;
    void process(Frame& frame, std::uint32_t offset) noexcept override;

    double phase_step = 0.0;     // oscillator advance per sample, in cycles
    float depth_from = 0.0f;     // depth at the start of the period
    float depth_to = 0.0f;       // depth at its end
    double channel_offset = 0.0; // phase offset from one channel to the next, in cycles
    double phase = 0.0;          // oscillator phase of channel 0, in cycles, 0 to below 1
    float sample_rate = 0.0f;    // Hz, of the last `prepare`
    bool triangle = false;       // triangle wave instead of sine
    bool started = false;        // a `control` has run since the last `prepare`
};

} // namespace loom
