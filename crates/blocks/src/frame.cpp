#include "loom/blocks/frame.hpp"

#include "loom/core/fatal.hpp"

namespace loom {

namespace {

void check(const Frame& frame, std::size_t index) noexcept {
    if (frame.len > FRAME_SIZE) fatal("frame: len is above 32");
    if (index >= frame.channels.size()) fatal("frame: channel index beyond the last channel");
}

} // namespace

// The arrays are value-initialised: every sample starts at 0.0.
Frame::Frame(std::size_t channel_count) : channels(channel_count) {}

std::span<float> Frame::channel(std::size_t index) noexcept {
    check(*this, index);
    return std::span<float>(channels[index].data(), len);
}

std::span<const float> Frame::channel(std::size_t index) const noexcept {
    check(*this, index);
    return std::span<const float>(channels[index].data(), len);
}

} // namespace loom
