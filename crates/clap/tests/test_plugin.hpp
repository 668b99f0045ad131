#pragma once
// A small plug-in for the CLAP wrapper's tests: a per-channel gain and offset with a
// polarity switch, a bypass, a peak meter, and a latency chosen by a parameter. Built into
// the module test_plugin.clap and into the tests, which also drive it directly.

#include "loom/core/param.hpp"
#include "loom/core/plugin.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace loom::test {

class GainPlugin {
public:
    // Parameter indices; CLAP ids are index × 128 + channel.
    static constexpr std::size_t GAIN = 0;    // Float, per channel, dB
    static constexpr std::size_t OFFSET = 1;  // Float, per channel, added after the gain
    static constexpr std::size_t LATENCY = 2; // Choice: None, Short, Long
    static constexpr std::size_t INVERT = 3;  // Toggle: polarity
    static constexpr std::size_t BYPASS = 4;  // Toggle: passes the input through
    static constexpr std::size_t PEAK = 5;    // ReadOnly: largest output magnitude of the last call

    // Latency in samples for each choice of LATENCY; the tail is twice the latency.
    static constexpr std::array<std::uint32_t, 3> LATENCIES = {0, 16, 64};

    GainPlugin();

    static Layout layout();
    ParamSet params() const { return set; }
    void prepare(const PrepareContext& context);
    // y = x × exp(gain_db × 0.11512925) × (invert ? −1 : 1) + offset, per channel; x when bypassed.
    void process(Buffers buffers, const ProcessContext& context) noexcept;
    std::uint32_t latency_samples() const { return latency; }
    std::uint32_t tail_samples() const { return 2 * latency; }

    // What the tests look at.
    PrepareContext prepared;
    ProcessContext last_context;
    std::size_t prepare_calls = 0;
    std::size_t process_calls = 0;
    std::size_t last_channels = 0; // buffers of the last process call
    std::size_t last_frames = 0;

private:
    ParamSet set;
    std::uint32_t latency = 0;
};

} // namespace loom::test
