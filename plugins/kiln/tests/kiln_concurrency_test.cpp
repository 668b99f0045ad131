// Host threads race Kiln's audio thread the way hosts do: one writes and reads parameters and
// the channel count, one saves and loads states, while the audio thread processes. Run under
// ThreadSanitizer by the `tsan` preset (label `concurrency`); elsewhere it still checks the
// values and the allocation count.
#include "kiln/kiln.hpp"

#include "loom/core/state.hpp"
#include "loom/test/allocation_counter.hpp"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <latch>
#include <limits>
#include <span>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t CHANNELS = 2;
constexpr std::size_t FRAMES = 100; // not a multiple of 32: periods straddle host buffers

// Whether every cell holds a value the value rule leaves unchanged.
bool valid(const loom::ParamSet& params) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const loom::Param& p = params.at(i);
        for (std::size_t ch = 0; ch < p.cells(); ++ch) {
            const float v = p.get_ch(ch);
            if (std::isnan(v) || p.info().apply_rule(v) != v) return false;
        }
    }
    return true;
}

TEST(KilnConcurrency, HostThreadsRaceTheAudioThread) {
    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(CHANNELS);
    plugin.prepare({.max_frames = FRAMES, .sample_rate = 48000.0f, .channels = CHANNELS});

    // Hard mode at full drive into a dark tone, bypassed: another state to load than the saved ones.
    const std::vector<std::uint8_t> other = {'L', 'O', 'O', 'M', 1, 0, 0, 0, 4, 0, 0, 0,
                                             1, 0, 0, 0, 0, 0, 0xC0, 0x41, 1, 0, 0, 0, 0, 0, 0x80, 0x3F,
                                             1, 0, 0, 0, 0, 0, 0x48, 0x43, 1, 0, 0, 0, 0, 0, 0x80, 0x3F};
    const std::vector<std::uint8_t> broken(other.begin(), other.end() - 1);
    constexpr std::array<float, 8> VALUES = {0.0f, 1.0f, 24.0f, 16000.0f, -3.0f,
                                             std::numeric_limits<float>::quiet_NaN(),
                                             std::numeric_limits<float>::infinity(), 0.49f};

    std::latch start(3);
    std::atomic<int> hosts_running{2};
    std::atomic<std::size_t> faults{0};
    std::size_t blocks = 0;
    std::size_t allocations = 0;

    std::thread audio_thread([&] {
        std::vector<std::vector<float>> audio(CHANNELS, std::vector<float>(FRAMES));
        std::array<std::span<float>, CHANNELS> buffers;
        for (std::size_t ch = 0; ch < CHANNELS; ++ch) buffers[ch] = std::span<float>(audio[ch]);
        start.arrive_and_wait();
        loom::test::AllocationCounter counter;
        // At least 200 buffers, and on until both host threads are through.
        for (; blocks < 200 || hosts_running.load(std::memory_order_acquire) > 0; ++blocks) {
            for (std::size_t ch = 0; ch < CHANNELS; ++ch)
                for (std::size_t i = 0; i < FRAMES; ++i)
                    audio[ch][i] = 0.7f * std::sin(0.05f * static_cast<float>(blocks * FRAMES + i) + static_cast<float>(ch));
            plugin.process(buffers, loom::ProcessContext{.tempo = 120.0});
            static_cast<void>(plugin.latency_samples());
            static_cast<void>(plugin.tail_samples());
            for (const auto& channel : audio)
                for (const float y : channel)
                    if (!std::isfinite(y)) faults.fetch_add(1, std::memory_order_relaxed);
        }
        allocations = counter.count();
    });

    std::thread parameter_thread([&] {
        start.arrive_and_wait();
        for (std::size_t k = 0; k < 20000; ++k) {
            loom::Param& p = params.at(k % params.size());
            const float v = VALUES[k % VALUES.size()];
            if (k % 3 == 0)
                p.set_ch(k % 5, v);
            else
                p.set(v);
            const float got = p.get_ch(k % 7);
            if (std::isnan(got) || got < p.info().min || got > p.info().max) faults.fetch_add(1, std::memory_order_relaxed);
            if (k % 64 == 0) params.set_channels(k % 70);
        }
        hosts_running.fetch_sub(1, std::memory_order_release);
    });

    std::thread state_thread([&] {
        start.arrive_and_wait();
        for (std::size_t k = 0; k < 2000; ++k) {
            const std::vector<std::uint8_t> saved = loom::state::save(params);
            if (saved.size() != 44) faults.fetch_add(1, std::memory_order_relaxed);
            if (!loom::state::load(params, k % 2 == 0 ? saved : other)) faults.fetch_add(1, std::memory_order_relaxed);
            if (loom::state::load(params, broken)) faults.fetch_add(1, std::memory_order_relaxed);
            if (!valid(params)) faults.fetch_add(1, std::memory_order_relaxed);
        }
        hosts_running.fetch_sub(1, std::memory_order_release);
    });

    parameter_thread.join();
    state_thread.join();
    audio_thread.join();
    EXPECT_EQ(faults.load(), 0u);
    EXPECT_EQ(allocations, 0u);
    EXPECT_GE(blocks, 200u);
    EXPECT_TRUE(valid(params));
}

} // namespace
