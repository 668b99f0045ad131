#pragma once
// The delay block: one ring per channel with Catmull-Rom reads, feedback through a one-pole
// low-pass, a sine LFO on the delay time and a ping-pong mode for two channels. It outputs
// only the delayed signal; the node's mix blends it with the dry sound.

#include "loom/blocks/block.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace loom {

class Delay final : public Block {
public:
    static const BlockInfo INFO;

    // One channel's ring of past input and its feedback low-pass memory.
    struct Line {
        std::vector<float> buffer;   // N samples, N = trunc(fs × max_ms × 0.001) + 24
        std::uint32_t write_pos = 0; // where the next sample goes, 0 to N − 1
        float damped = 0.0f;         // feedback low-pass memory

        // [audio-thread] The input of `delay` samples ago, held to 2 to N − 4 and
        // interpolated between whole samples by a four-point Catmull-Rom cubic.
        float read(float delay) const noexcept;
        // [audio-thread] Stores `x` at `write_pos` and advances it, wrapping at N.
        void write(float x) noexcept;
    };

    // [build] A delay with no lines and every number 0.
    static std::unique_ptr<Block> make();

    // Keeps `max_ms` (argument 6) for the next `prepare`.
    void configure(std::span<const float> args) noexcept override;
    // Sizes one cleared ring per channel (allocates) and zeroes every setting and the LFO.
    void prepare(float rate, std::uint32_t channel_count) noexcept override;
    // args: `time_ms`, `feedback`, `damp_hz`, `mode`, `mod_depth_ms`, `mod_rate_hz`, `max_ms`.
    void control(std::span<const float> args) noexcept override;
    void process(Frame& frame, std::uint32_t offset) noexcept override;
    // The repeats until the echoes have fallen by 60 dB (at most 60) times the delay, plus
    // the LFO swing; `max_ms` is the configured one.
    std::uint32_t tail(std::span<const float> args, float rate) const noexcept override;

    std::vector<Line> lines;   // one per prepared channel
    float time_from = 0.0f;    // delay in samples at the start of the period
    float time_to = 0.0f;      // delay in samples at its end
    double phase_step = 0.0;   // LFO advance per sample, in cycles
    double phase = 0.0;        // LFO phase of channel 0, in cycles, 0 to below 1
    float sample_rate = 0.0f;  // Hz, of the last `prepare`
    float max_ms = 0.0f;       // from `configure`, kept across `prepare`
    float feedback = 0.0f;     // share of the damped output written back
    float damp = 0.0f;         // feedback low-pass coefficient
    float depth = 0.0f;        // LFO swing in samples
    bool pingpong = false;     // ping-pong in force (set and exactly two lines)
    bool started = false;      // a `control` has run since the last `prepare`
};

} // namespace loom
