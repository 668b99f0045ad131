#include "loom/blocks/frame.hpp"

#include "loom/core/fatal.hpp"

namespace loom {

// The arrays are value-initialised: every sample starts at 0.0.
Frame::Frame(std::size_t channel_count) : channels(channel_count) {}

void Frame::broken(std::size_t index) const noexcept {
    if (len > FRAME_SIZE) fatal("frame: len is above 32");
    static_cast<void>(index);
    fatal("frame: channel index beyond the last channel");
}

} // namespace loom
