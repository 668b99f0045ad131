#pragma once
// The shaper block: drive, bias, one of five curves, removal of the bias's constant, output
// gain. Drive and output glide across the control period; it does not oversample.

#include "loom/blocks/block.hpp"

#include <cstdint>
#include <limits>
#include <memory>

namespace loom {

class Shaper final : public Block {
public:
    static constexpr float NOT_SEEN = std::numeric_limits<float>::quiet_NaN();

    static const BlockInfo INFO;

    // [build] A shaper with every field 0, not started.
    static std::unique_ptr<Block> make();

    // Zeroes every field and the glide; neither the rate nor the channel count is kept.
    void prepare(float sample_rate, std::uint32_t channel_count) noexcept override;
    // args: `curve`, `drive_db`, `bias`, `output_db`.
    void control(std::span<const float> args) noexcept override;
    void process(Frame& frame, std::uint32_t period_offset) noexcept override;

    std::uint32_t curve = 0;   // 0 tanh, 1 hard, 2 softclip, 3 fold, 4 (and above) tube
    float drive_from = 0.0f;   // linear drive at the start and end of the glide
    float drive_to = 0.0f;
    float output_from = 0.0f;  // linear output gain at the start and end of the glide
    float output_to = 0.0f;
    float bias = 0.0f;         // added after the drive, before the curve
    float offset = 0.0f;       // curve(bias), removed after the curve
    bool started = false;      // a `control` has run since the last `prepare`
    // The `drive_db` and `output_db` the targets were computed from: unchanged values give
    // the same targets, so the exponentials are skipped.
    float seen_drive_db = NOT_SEEN;
    float seen_output_db = NOT_SEEN;
};

// [any-thread] The curve `curve` (as in `Shaper::curve`) at `x`.
float shape(std::uint32_t curve, float x) noexcept;

} // namespace loom
