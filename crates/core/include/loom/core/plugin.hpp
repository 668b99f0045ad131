#pragma once
// The plug-in contract: what a plug-in type offers the format wrappers, and what it is told.
//
// Calling sequence seen by a plug-in object (the wrappers hold it through their own
// type-erased `Inner` view and never see the concrete type):
//   1. construction, without arguments: a complete, ready-to-prepare object;
//   2. `layout`, `params`, `ParamSet::set_channels(default channels)`, `latency_samples`,
//      `tail_samples`;
//   3. on activation and on reset: `ParamSet::set_channels(channels)`, `prepare`,
//      `latency_samples`, `tail_samples`;
//   4. per audio call: any `midi` messages (Audio Unit instruments only), `process`,
//      `latency_samples`, `tail_samples`;
//   5. destruction; the parameter set goes with its last reference.
//
// Threads: `prepare` runs on a host thread and never overlaps `process`; `process`, `midi`
// and the latency and tail reads after it run on the audio thread. `process` works in place
// within memory sized by `prepare`: it never allocates, locks, waits, logs or throws.

#include "loom/core/param.hpp"

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace loom {

// The largest channel count the wrappers accept for any bus or buffer list.
inline constexpr std::uint32_t MAX_CHANNELS = 64;

// How many channels a bus accepts.
struct Fixed {
    std::uint32_t n = 0; // exactly n channels
};
struct Range {
    std::uint32_t min = 0;
    std::uint32_t max = 0;
};
struct Any {}; // 1 to 64 channels
using Channels = std::variant<Fixed, Range, Any>;

struct Bus {
    std::string_view name = {}; // "Main"
    Channels channels = Any{};
};

// The buses a plug-in declares; the first of each list is the main one.
struct Layout {
    std::vector<Bus> inputs;
    std::vector<Bus> outputs;
};

// A bus's channel rule as counts, each limited to 1..64.
struct ChannelRange {
    std::uint32_t min = 1;
    std::uint32_t max = 1;

    bool operator==(const ChannelRange&) const = default;
};

// Fixed n: n..n; Range: min..max with max raised to min; Any: 1..64.
ChannelRange channel_range(const Channels& channels) noexcept;

// 2 when the range allows it, else its minimum.
std::uint32_t default_channels(ChannelRange range) noexcept;

// What `prepare` is told.
struct PrepareContext {
    std::uint64_t max_frames = 0; // largest frame count of a later `process` call
    float sample_rate = 48000.0f; // Hz
    std::uint32_t channels = 1;   // channel buffers every later `process` call carries
};

// What `process` is told besides the audio; valid for the duration of the call.
struct ProcessContext {
    std::optional<double> position = {}; // timeline position of the first frame, in samples
    std::optional<double> tempo = {};    // beats per minute
    float sample_rate = 48000.0f;   // Hz
    bool playing = false;           // false when the host does not say
};

// The audio of one `process` call: one buffer per channel (at most 64), all of the frame
// count's length, holding the input on entry and the output on return.
using Buffers = std::span<const std::span<float>>;

// The operations a plug-in type offers. `is_instrument` and `midi` are optional: see
// `plugin_is_instrument` and `plugin_midi` for their defaults.
template <class P>
concept Plugin = std::default_initializable<P> &&
                 requires(P& p, const P& cp, const PrepareContext& prepare, Buffers buffers,
                          const ProcessContext& context) {
                     { P::layout() } -> std::same_as<Layout>;
                     { cp.params() } -> std::same_as<ParamSet>;
                     p.prepare(prepare);
                     p.process(buffers, context);
                     { cp.latency_samples() } -> std::same_as<std::uint32_t>;
                     { cp.tail_samples() } -> std::same_as<std::uint32_t>;
                 };

// Whether the plug-in makes its sound from MIDI; false unless the type says otherwise.
template <Plugin P>
constexpr bool plugin_is_instrument() noexcept {
    if constexpr (requires { { P::is_instrument() } -> std::convertible_to<bool>; })
        return P::is_instrument();
    else
        return false;
}

// Delivers one short MIDI message; ignored unless the type takes it.
template <Plugin P>
void plugin_midi(P& plugin, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                 std::uint32_t frame) noexcept {
    if constexpr (requires { plugin.midi(status, data1, data2, frame); })
        plugin.midi(status, data1, data2, frame);
}

} // namespace loom
