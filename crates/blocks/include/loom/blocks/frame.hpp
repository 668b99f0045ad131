#pragma once
// The engine's audio block: up to 32 samples per channel, processed in place. Not a ring or a
// host buffer: the graph copies host audio in and out of it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace loom {

// Samples per channel of a `Frame`, the length of the control period and of every glide.
inline constexpr std::uint32_t FRAME_SIZE = 32;

struct Frame {
    // One array of 32 samples per channel; the count is fixed when the frame is made.
    std::vector<std::array<float, FRAME_SIZE>> channels;
    // Valid samples of every channel, 0 to 32. A larger value is a broken precondition.
    std::uint32_t len = 0;

    // [any-thread] No channels, `len` 0.
    Frame() = default;
    // [main-thread] `channel_count` channels of silence, `len` 0. Allocates.
    explicit Frame(std::size_t channel_count);

    // [any-thread] The number of channels.
    std::size_t channel_count() const noexcept { return channels.size(); }

    // [audio-thread] The first `len` samples of channel `index`. A `len` above 32 or an index
    // beyond the last channel is a fatal stop.
    std::span<float> channel(std::size_t index) noexcept {
        check(index);
        return std::span<float>(channels[index].data(), len);
    }
    std::span<const float> channel(std::size_t index) const noexcept {
        check(index);
        return std::span<const float>(channels[index].data(), len);
    }

private:
    void check(std::size_t index) const noexcept {
        if (len > FRAME_SIZE || index >= channels.size()) [[unlikely]]
            broken(index);
    }
    [[noreturn]] void broken(std::size_t index) const noexcept;
};

} // namespace loom
