#pragma once
// Frames for block tests: a deterministic test signal and frames filled from it.

#include "loom/blocks/frame.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
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

} // namespace loom::test
