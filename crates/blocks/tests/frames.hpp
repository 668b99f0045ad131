#pragma once
// Frames for block tests: a deterministic test signal and frames filled from it.

#include "loom/blocks/block.hpp"
#include "loom/blocks/frame.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace loom::test {

// A signal between −1.5 and 1.5 that differs per channel, with no repeated values.
inline float signal(std::size_t channel, std::size_t index) {
    return 1.5f * std::sin(0.37f * static_cast<float>(index) + 1.1f * static_cast<float>(channel) + 0.2f);
}

// A frame of `channels` channels and `len` samples of `signal`, starting at signal index
// `start`.
inline Frame signal_frame(std::size_t channels, std::uint32_t len, std::size_t start = 0) {
    Frame frame(channels);
    frame.len = len;
    for (std::size_t c = 0; c < channels; ++c)
        for (std::uint32_t j = 0; j < len; ++j) frame.channels[c][j] = signal(c, start + j);
    return frame;
}

// A one-channel frame holding `samples` (at most 32).
inline Frame mono_frame(const std::vector<float>& samples) {
    Frame frame(1);
    frame.len = static_cast<std::uint32_t>(samples.size());
    for (std::size_t j = 0; j < samples.size(); ++j) frame.channels[0][j] = samples[j];
    return frame;
}

// Runs four periods of two prepared stereo blocks of one kind, alternating the argument lists
// `first` and `second`: `whole` gets each period in one call, `pieces` in two calls split at
// `split`. The outputs must be equal, sample for sample.
inline void expect_split_equals_whole(Block& whole, Block& pieces, std::span<const float> first,
                                      std::span<const float> second, std::uint32_t split) {
    for (std::size_t period = 0; period < 4; ++period) {
        const std::span<const float> args = period % 2 == 0 ? first : second;
        whole.control(args);
        pieces.control(args);
        Frame all = signal_frame(2, 32, 32 * period);
        whole.process(all, 0);
        Frame head = signal_frame(2, split, 32 * period);
        Frame tail = signal_frame(2, 32 - split, 32 * period + split);
        pieces.process(head, 0);
        pieces.process(tail, split);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::uint32_t j = 0; j < 32; ++j)
                ASSERT_EQ(all.channels[c][j], j < split ? head.channels[c][j] : tail.channels[c][j - split])
                    << "period " << period << " channel " << c << " sample " << j;
    }
}

} // namespace loom::test
