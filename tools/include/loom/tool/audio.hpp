#pragma once
// Audio held whole in memory: one run of 32-bit floats per channel, all of one length, and
// the sample rate. What the WAV reader gives, the renderers process and the demo measures.

#include <cstddef>
#include <vector>

namespace loom::tool {

struct Audio {
    double sample_rate = 48000.0;            // Hz
    std::vector<std::vector<float>> channels; // all of one length

    std::size_t channel_count() const noexcept { return channels.size(); }
    std::size_t frames() const noexcept { return channels.empty() ? 0 : channels[0].size(); }

    // `count` channels of `frames` zeros.
    static Audio silence(double rate, std::size_t count, std::size_t frames) {
        return Audio{rate, std::vector<std::vector<float>>(count, std::vector<float>(frames, 0.0f))};
    }
};

} // namespace loom::tool
