#include "loom/core/plugin.hpp"

namespace loom {

namespace {

std::uint32_t limit(std::uint32_t n) noexcept { return n < 1 ? 1 : (n > MAX_CHANNELS ? MAX_CHANNELS : n); }

struct RangeOf {
    ChannelRange operator()(Fixed f) const noexcept { return {limit(f.n), limit(f.n)}; }
    ChannelRange operator()(Range r) const noexcept {
        const std::uint32_t min = limit(r.min);
        return {min, r.max < min ? min : (r.max > MAX_CHANNELS ? MAX_CHANNELS : r.max)};
    }
    ChannelRange operator()(Any) const noexcept { return {1, MAX_CHANNELS}; }
};

} // namespace

ChannelRange channel_range(const Channels& channels) noexcept { return std::visit(RangeOf{}, channels); }

std::uint32_t default_channels(ChannelRange range) noexcept {
    return range.min <= 2 && range.max >= 2 ? 2 : range.min;
}

} // namespace loom
