// Kiln against what a host or a broken signal chain can hand it: NaN, infinities, denormals
// and huge values in the audio, out-of-range parameter values, every corner of the parameter
// space, and an hour of audio without drift or allocation.
#include "kiln/kiln.hpp"

#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

namespace {

constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float LARGEST = std::numeric_limits<float>::max();
constexpr float TINIEST = std::numeric_limits<float>::denorm_min();

// Builds without optimisation or with sanitizers run the long test for minutes, not an hour.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(NDEBUG)
constexpr bool SHORT_RUNS = true;
#else
constexpr bool SHORT_RUNS = false;
#endif

struct Corner {
    float drive, mode, tone, bypass;
};

// The sixteen corners: drive 0 and 24 dB, Soft and Hard, tone 200 and 16000 Hz, bypass off and on.
std::vector<Corner> corners() {
    std::vector<Corner> out;
    for (float drive : {0.0f, 24.0f})
        for (float mode : {0.0f, 1.0f})
            for (float tone : {200.0f, 16000.0f})
                for (float bypass : {0.0f, 1.0f}) out.push_back({drive, mode, tone, bypass});
    return out;
}

// A prepared stereo Kiln at 48 kHz and buffers for it.
class Host {
public:
    explicit Host(float rate = 48000.0f, std::size_t frames = 256) : audio(2, std::vector<float>(frames)) {
        params.set_channels(2);
        plugin.prepare({.max_frames = frames, .sample_rate = rate, .channels = 2});
    }

    void set(const Corner& c) {
        params.at(0).set(c.drive);
        params.at(1).set(c.mode);
        params.at(2).set(c.tone);
        params.at(3).set(c.bypass);
    }

    // Fills both channels with a 441 Hz sine of the given peak, then lets `hostile` overwrite
    // every `every`-th sample of channel 0 and the second half of channel 1 (`every` 0: none).
    void fill(float peak, float hostile = 0.0f, std::size_t every = 0) {
        for (std::size_t ch = 0; ch < 2; ++ch)
            for (std::size_t i = 0; i < audio[ch].size(); ++i) {
                audio[ch][i] = peak * static_cast<float>(std::sin(2.0 * std::numbers::pi * 441.0 * double(i + 100 * ch) / 48000.0));
                const bool overwritten = every != 0 && (ch == 0 ? i % every == 3 : i >= audio[ch].size() / 2);
                if (overwritten) audio[ch][i] = hostile;
            }
    }

    void process() {
        std::array<std::span<float>, 2> buffers = {std::span<float>(audio[0]), std::span<float>(audio[1])};
        plugin.process(buffers, loom::ProcessContext{});
    }

    // Every output sample is finite, and none is a denormal or anything else below 1e-30 but 0.
    ::testing::AssertionResult clean() const {
        for (std::size_t ch = 0; ch < 2; ++ch)
            for (std::size_t i = 0; i < audio[ch].size(); ++i) {
                const float y = audio[ch][i];
                if (!std::isfinite(y)) return ::testing::AssertionFailure() << "channel " << ch << " sample " << i << " is " << y;
                if (y != 0.0f && std::fabs(y) < 1e-30f)
                    return ::testing::AssertionFailure() << "channel " << ch << " sample " << i << " is tiny: " << y;
            }
        return ::testing::AssertionSuccess();
    }

    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    std::vector<std::vector<float>> audio;
};

struct HostileCase {
    const char* name;
    float value;
};

constexpr HostileCase HOSTILE[] = {
    {"NotANumber", NOT_A_NUMBER},   {"PlusInfinity", INF},        {"MinusInfinity", -INF},
    {"Denormal", 1e-40f},           {"NegativeDenormal", -1e-42f}, {"SmallestDenormal", TINIEST},
    {"Largest", LARGEST},           {"MostNegative", -LARGEST},    {"Huge", 1e30f},
};

class KilnHostileInput : public ::testing::TestWithParam<HostileCase> {};

// At every corner: a buffer spoiled by the value never crashes and, when the value is finite,
// comes out clean; the buffers of ordinary audio after it come out clean whatever it was.
TEST_P(KilnHostileInput, NeverCrashesAndFiniteAudioComesOutFinite) {
    const float bad = GetParam().value;
    for (const Corner& c : corners()) {
        SCOPED_TRACE(::testing::Message() << "drive " << c.drive << " mode " << c.mode << " tone " << c.tone
                                          << " bypass " << c.bypass);
        Host host;
        host.set(c);
        host.fill(0.8f);
        host.process();
        host.fill(0.8f, bad, 7);
        host.process();
        if (std::isfinite(bad)) {
            EXPECT_TRUE(host.clean());
        }
        for (int buffer = 0; buffer < 3; ++buffer) {
            host.fill(0.8f);
            host.process();
            ASSERT_TRUE(host.clean()) << "buffer " << buffer << " after the spoiled one";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, KilnHostileInput, ::testing::ValuesIn(HOSTILE), loom::test::RowName{});

// Walking from every corner to every other one with the loudest finite input a float holds:
// the glides between corners stay finite too.
TEST(KilnHostile, LoudestFiniteInputStaysFiniteAcrossEveryCornerChange) {
    Host host(44100.0f, 100);
    const std::vector<Corner> all = corners();
    for (const Corner& from : all)
        for (const Corner& to : all) {
            host.set(from);
            host.fill(LARGEST);
            host.process();
            ASSERT_TRUE(host.clean());
            host.set(to);
            host.fill(-LARGEST);
            host.process();
            ASSERT_TRUE(host.clean());
        }
}

// Parameter values a host should never send are corrected by the value rule, so the signal
// path only ever sees valid settings.
TEST(KilnHostile, OutOfRangeParameterValuesAreCorrected) {
    Host host;
    for (const float v : {NOT_A_NUMBER, INF, -INF, LARGEST, -LARGEST, 1e-40f, -0.0f, 0.5f}) {
        SCOPED_TRACE(v);
        for (std::size_t i = 0; i < 4; ++i) host.params.at(i).set(v);
        for (std::size_t i = 0; i < 4; ++i) {
            const loom::Param& p = host.params.at(i);
            const float got = p.get();
            EXPECT_FALSE(std::isnan(got));
            EXPECT_GE(got, p.info().min);
            EXPECT_LE(got, p.info().max);
        }
        host.fill(1.0f);
        host.process();
        EXPECT_TRUE(host.clean());
    }
}

// An hour of audio at 48 kHz in host buffers of 480 samples (one cycle of a 100 Hz sine, so
// every buffer holds the same input). Each minute runs the same schedule: 40 s Hard at 12 dB
// into a 3000 Hz tone, 10 s Soft at 24 dB into 16000 Hz, 10 s bypassed. From the second minute
// on, each section must end with exactly the output it ended with the minute before: nothing
// drifts. Processed output never leaves -1..1, bypassed output is the input, and nothing is
// allocated after prepare. Builds with sanitizers or without optimisation run three minutes.
TEST(KilnLongRun, AnHourOfAudioDoesNotDriftOrAllocate) {
    constexpr std::size_t FRAMES = 480;
    constexpr std::size_t PER_SECOND = 48000 / FRAMES;
    constexpr std::size_t MINUTES = SHORT_RUNS ? 3 : 60;
    constexpr std::array<std::size_t, 3> SECTION_END = {40 * PER_SECOND, 50 * PER_SECOND, 60 * PER_SECOND};
    constexpr std::array<Corner, 3> SECTION = {{{12, 1, 3000, 0}, {24, 0, 16000, 0}, {24, 0, 16000, 1}}};

    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    plugin.prepare({.max_frames = FRAMES, .sample_rate = 48000.0f, .channels = 1});
    std::vector<float> input(FRAMES);
    for (std::size_t i = 0; i < FRAMES; ++i)
        input[i] = static_cast<float>(0.9 * std::sin(2.0 * std::numbers::pi * double(i) / double(FRAMES)));
    std::vector<float> audio(FRAMES);
    std::array<std::span<float>, 1> buffers = {std::span<float>(audio)};

    // The output at the end of each section in the minute before (sized in the first minute).
    std::array<std::vector<float>, 3> last_minute;
    std::optional<loom::test::AllocationCounter> counter;
    std::size_t out_of_bounds = 0;
    std::size_t not_the_input = 0;
    for (std::size_t minute = 0; minute < MINUTES; ++minute) {
        if (minute == 1) counter.emplace();
        std::size_t block = 0;
        for (std::size_t section = 0; section < 3; ++section) {
            const Corner& c = SECTION[section];
            params.at(0).set(c.drive);
            params.at(1).set(c.mode);
            params.at(2).set(c.tone);
            params.at(3).set(c.bypass);
            const std::size_t first = block;
            for (; block < SECTION_END[section]; ++block) {
                std::copy(input.begin(), input.end(), audio.begin());
                plugin.process(buffers, loom::ProcessContext{});
                // After the first buffer of a bypassed section the 32-sample crossfade is over.
                const bool through = c.bypass == 1.0f && block > first;
                for (std::size_t i = 0; i < FRAMES; ++i) {
                    out_of_bounds += std::fabs(audio[i]) <= 1.0f ? 0 : 1;
                    not_the_input += through && audio[i] != input[i] ? 1 : 0;
                }
                if (block + 1 < SECTION_END[section]) continue;
                if (minute >= 2) {
                    ASSERT_EQ(audio, last_minute[section]) << "minute " << minute << " section " << section;
                }
                last_minute[section] = audio;
            }
        }
    }
    ASSERT_TRUE(counter.has_value());
    EXPECT_EQ(counter->count(), 0u);
    EXPECT_EQ(out_of_bounds, 0u);
    EXPECT_EQ(not_the_input, 0u);
}

} // namespace
