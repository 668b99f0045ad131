#pragma once
// The dynamics block: compressor, limiter, gate or expander. A peak or RMS detector, with an
// optional high-pass and channel linking, feeds a soft-knee gain computer in dB; the gain is
// limited by a range, smoothed by attack and release and applied with make-up gain to the
// audio, which a fixed lookahead may delay. Reports the lookahead as latency.

#include "loom/blocks/block.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace loom {

class Dynamics final : public Block {
public:
    static const BlockInfo INFO;

    // [build] A dynamics block with empty per-channel lists, every number 0 and `rms` false.
    static std::unique_ptr<Block> make();

    // Keeps `lookahead_ms` (argument 11) for the next `prepare`.
    void configure(std::span<const float> args) noexcept override;
    // Sizes and clears the per-channel memories and lookahead rings (allocates), sets the
    // lookahead in samples and zeroes every setting until the next `control`.
    void prepare(float rate, std::uint32_t channel_count) noexcept override;
    // args: `mode`, `threshold_db`, `ratio`, `knee_db`, `attack_ms`, `release_ms`,
    // `makeup_db`, `auto_makeup`, `detector`, `sidechain_hpf_hz`, `link`, `lookahead_ms`,
    // `range_db`.
    void control(std::span<const float> args) noexcept override;
    // The offset is not used: the settings hold for the whole period. Channels beyond the
    // prepared ones pass unchanged.
    void process(Frame& frame, std::uint32_t offset) noexcept override;
    // The lookahead in samples.
    std::uint32_t latency() const noexcept override;
    // Index 0: `gain_reduction_db`; any other index 0.0.
    float meter(std::uint32_t index) const noexcept override;

    std::vector<float> gain;                // per channel: smoothed gain change in dB, 0 or below
    std::vector<float> mean_square;         // per channel: RMS detector memory
    std::vector<float> detector_hp;         // per channel: low-pass memory of the detector's high-pass
    std::vector<std::vector<float>> lines;  // per channel: lookahead ring of max(L, 1) samples
    std::vector<float> level;               // per channel: detected level of the current sample
    std::uint32_t mode = 0;                 // 0 compressor, 1 limiter, 2 gate, 3 expander
    std::uint32_t lookahead = 0;            // L, in samples; also the latency
    std::uint32_t write_pos = 0;            // position in the rings, 0 to L − 1
    float sample_rate = 0.0f;               // Hz, of the last `prepare`
    float threshold_db = 0.0f;
    float ratio = 0.0f;                     // effective ratio: 1000 for the limiter, at least 20 for the gate
    float knee_db = 0.0f;
    float attack = 0.0f;                    // per-sample smoothing coefficient for growing reduction
    float release = 0.0f;                   // per-sample smoothing coefficient for shrinking reduction
    float makeup_db = 0.0f;                 // make-up gain including the automatic part
    float hpf = 0.0f;                       // detector high-pass coefficient; 0 is off
    float link = 0.0f;                      // 0 each channel alone, 1 the loudest for all
    float range_db = 0.0f;                  // largest reduction allowed
    float gain_reduction_db = 0.0f;         // the meter: reduction at the last sample, positive dB
    float lookahead_ms = 0.0f;              // from `configure`, kept across `prepare`
    bool rms = false;                       // RMS detector selected
};

} // namespace loom
