#pragma once
// CLAP parameter ids: parameter index × 128 + channel (bits 0 to 6 the channel). A parameter
// that is not per-channel has only channel 0; a per-channel one has channels 0 up to the
// instance's channel count minus 1.

#include "loom/clap/abi.hpp"
#include "loom/core/param.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace loom::clap {

inline constexpr std::uint32_t CHANNELS_PER_ID = 128;

struct ParamAddress {
    std::size_t index = 0;     // in the parameter set
    std::uint32_t channel = 0; // 0 for a parameter that is not per-channel
};

// [any-thread] The parameter and channel an id names; nothing for an id that names none.
inline std::optional<ParamAddress> decode_id(const ParamSet& params, std::uint32_t channel_count,
                                             clap_id id) noexcept {
    const std::size_t index = id / CHANNELS_PER_ID;
    const std::uint32_t channel = id % CHANNELS_PER_ID;
    if (index >= params.size()) return std::nullopt;
    const bool per_channel = params.at(index).info().per_channel;
    if (per_channel ? channel >= channel_count : channel != 0) return std::nullopt;
    return ParamAddress{index, channel};
}

// [any-thread] The id of a parameter at a channel.
inline clap_id encode_id(std::size_t index, std::uint32_t channel) noexcept {
    return static_cast<clap_id>(index * CHANNELS_PER_ID + channel);
}

} // namespace loom::clap
