#pragma once
// The stereo block: mid/side width and levels, mid/side encode and decode, mono sum and
// channel swap on a two-channel signal. With any other channel count it does nothing. No
// audio memory.

#include "loom/blocks/block.hpp"

#include <cstdint>
#include <memory>

namespace loom {

class Stereo final : public Block {
public:
    static const BlockInfo INFO;

    // [build] A stereo block with every field 0 or false.
    static std::unique_ptr<Block> make();

    // Notes whether there are exactly two channels and clears the mode and the glides. The
    // rate is not used.
    void prepare(float sample_rate, std::uint32_t channel_count) noexcept override;
    // args: `mode`, `width`, `mid_db`, `side_db`.
    void control(std::span<const float> args) noexcept override;
    void process(Frame& frame, std::uint32_t offset) noexcept override;

    std::uint32_t mode = 0;     // 0 width, 1 encode, 2 decode, 3 mono, 4 swap
    float mid_from = 0.0f;      // linear mid gain at the start and end of the glide
    float mid_to = 0.0f;
    float side_from = 0.0f;     // linear side gain at the start and end of the glide
    float side_to = 0.0f;
    bool two_channels = false;  // prepared for exactly two channels
    bool started = false;       // a `control` has run since the last `prepare`
};

} // namespace loom
