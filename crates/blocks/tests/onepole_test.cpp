#include "blocks/onepole.hpp"

#include "frames.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using loom::Frame;
using loom::OnePole;
using loom::test::mono_frame;
using loom::test::signal;
using loom::test::signal_frame;

// The coefficient for a corner of `fc` Hz, as the block defines it: 1 − exp(fc·(−2π) / rate).
float expected_coefficient(float fc, float rate) { return 1.0f - std::exp((fc * -6.2831855f) / rate); }

// The corner of a first period: 2^log2(freq), which need not be exactly `freq` in floats.
float corner(float freq) { return std::exp2(std::log2(freq)); }

// The smoother step per period: 1 − exp(−32 / (rate × 0.005)).
float expected_smoothing(float rate) { return 1.0f - std::exp(-32.0f / (rate * 0.005f)); }

OnePole prepared(float rate, std::uint32_t channels, float type, float freq) {
    OnePole filter;
    filter.prepare(rate, channels);
    const float args[] = {type, freq};
    filter.control(args);
    return filter;
}

// The first output sample for a unit impulse into an empty memory is the coefficient.
float impulse_answer(OnePole& filter) {
    Frame frame = mono_frame({1.0f});
    filter.process(frame, 0);
    return frame.channels[0][0];
}

TEST(OnePole, LowPassFollowsTheRecursion) {
    OnePole filter = prepared(48000.0f, 2, 0.0f, 1000.0f);
    const float a = expected_coefficient(corner(1000.0f), 48000.0f);
    float y[2] = {0.0f, 0.0f};
    for (std::size_t period = 0; period < 3; ++period) {
        Frame frame = signal_frame(2, 32, 32 * period);
        filter.process(frame, 7);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::uint32_t j = 0; j < 32; ++j) {
                y[c] = y[c] + a * (signal(c, 32 * period + j) - y[c]);
                ASSERT_EQ(frame.channels[c][j], y[c]) << period << " " << c << " " << j;
            }
        const float args[] = {0.0f, 1000.0f};
        filter.control(args);
    }
}

TEST(OnePole, HighPassIsTheComplementOfTheLowPass) {
    OnePole low = prepared(44100.0f, 2, 0.0f, 2500.0f);
    OnePole high = prepared(44100.0f, 2, 1.0f, 2500.0f);
    for (std::size_t period = 0; period < 4; ++period) {
        Frame lp = signal_frame(2, 32, 32 * period);
        Frame hp = lp;
        low.process(lp, 0);
        high.process(hp, 0);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::uint32_t j = 0; j < 32; ++j) {
                const float x = signal(c, 32 * period + j);
                ASSERT_EQ(hp.channels[c][j], x - lp.channels[c][j]);
                ASSERT_NEAR(hp.channels[c][j] + lp.channels[c][j], x, 1e-6f);
            }
    }
}

TEST(OnePole, ConstantInputSettles) {
    // In floats the memory stops moving once a·(x − y) is below half a step of y, a few
    // tenths of a millionth here.
    OnePole low = prepared(48000.0f, 1, 0.0f, 1000.0f);
    OnePole high = prepared(48000.0f, 1, 1.0f, 1000.0f);
    Frame lp;
    Frame hp;
    for (int period = 0; period < 200; ++period) {
        lp = mono_frame(std::vector<float>(32, 0.75f));
        hp = lp;
        low.process(lp, 0);
        high.process(hp, 0);
    }
    EXPECT_NEAR(lp.channels[0][31], 0.75f, 1e-6f);
    EXPECT_NEAR(hp.channels[0][31], 0.0f, 1e-6f);
}

TEST(OnePole, CornerIsLimitedBelowNyquist) {
    struct Row { float rate, freq, corner; };
    const Row rows[] = {{44100.0f, 24000.0f, 21609.0f}, {48000.0f, 24000.0f, 23520.0f},
                        {8000.0f, 5000.0f, 3920.0f}, {44100.0f, 1.0f, 1.0f},
                        {44100.0f, 21000.0f, corner(21000.0f)}};
    for (const Row& row : rows) {
        OnePole filter = prepared(row.rate, 1, 0.0f, row.freq);
        EXPECT_EQ(impulse_answer(filter), expected_coefficient(row.corner, row.rate)) << row.rate << " " << row.freq;
    }
}

TEST(OnePole, CornerMovesByOneSmoothingStepPerPeriod) {
    OnePole filter = prepared(48000.0f, 1, 0.0f, 1000.0f);
    EXPECT_EQ(impulse_answer(filter), expected_coefficient(corner(1000.0f), 48000.0f));

    // Silence leaves the memory empty for the next impulse.
    filter.prepare(48000.0f, 1);
    const float first[] = {0.0f, 1000.0f};
    const float second[] = {0.0f, 2000.0f};
    filter.control(first);
    Frame silence = mono_frame(std::vector<float>(32, 0.0f));
    filter.process(silence, 0);
    filter.control(second);
    const float s = expected_smoothing(48000.0f);
    EXPECT_NEAR(s, 0.125f, 5e-4f);
    const float log_freq = std::log2(1000.0f) + s * (std::log2(2000.0f) - std::log2(1000.0f));
    EXPECT_EQ(impulse_answer(filter), expected_coefficient(std::exp2(log_freq), 48000.0f));
}

TEST(OnePole, SweepReachesNinetyFivePercentAfterTwentyThreePeriods) {
    OnePole filter = prepared(48000.0f, 1, 0.0f, 1000.0f);
    const float target[] = {0.0f, 2000.0f};
    const float start = std::log2(1000.0f);
    std::vector<float> covered; // of the one octave, after each period
    for (int period = 1; period <= 23; ++period) {
        filter.control(target);
        covered.push_back(filter.log_freq - start);
    }
    EXPECT_LT(covered[21], 0.95f);
    EXPECT_GT(covered[22], 0.95f);
}

TEST(OnePole, TypeSwitchKeepsTheMemory) {
    OnePole switching = prepared(48000.0f, 1, 0.0f, 3000.0f);
    OnePole reference = prepared(48000.0f, 1, 0.0f, 3000.0f);
    Frame a = signal_frame(1, 32);
    Frame b = a;
    switching.process(a, 0);
    reference.process(b, 0);
    const float high[] = {1.0f, 3000.0f};
    const float low[] = {0.0f, 3000.0f};
    switching.control(high);
    reference.control(low);
    Frame hp = signal_frame(1, 32, 32);
    Frame lp = hp;
    switching.process(hp, 0);
    reference.process(lp, 0);
    for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(hp.channels[0][j], signal(0, 32 + j) - lp.channels[0][j]) << j;
}

TEST(OnePole, TinyMemoryBecomesExactlyZero) {
    OnePole filter = prepared(48000.0f, 2, 0.0f, 1000.0f);
    const float a = expected_coefficient(corner(1000.0f), 48000.0f);
    // After 32 silent samples a memory m becomes m·(1 − a)^32, about 0.015·m here.
    filter.state = {5e-19f, 1e-17f};
    Frame silence = signal_frame(2, 32);
    for (auto& samples : silence.channels) samples.fill(0.0f);
    filter.process(silence, 0);
    EXPECT_EQ(filter.state[0], 0.0f);
    float y = 1e-17f;
    for (int j = 0; j < 32; ++j) y = y + a * (0.0f - y);
    EXPECT_GT(std::fabs(y), 1e-20f);
    EXPECT_EQ(filter.state[1], y);

    // With no samples only the flush runs.
    filter.state = {-9e-21f, 2e-20f};
    silence.len = 0;
    filter.process(silence, 0);
    EXPECT_EQ(filter.state[0], 0.0f);
    EXPECT_EQ(filter.state[1], 2e-20f);
}

// A NaN or an infinity in the input spoils the rest of its frame, but the memory starts the
// next frame from 0, so finite input is finite again from there on (a kept NaN would never
// leave the recursion).
TEST(OnePole, NonFiniteMemoryStartsAgainFromZero) {
    for (const float bad : {std::nanf(""), INFINITY, -INFINITY}) {
        SCOPED_TRACE(bad);
        for (const float type : {0.0f, 1.0f}) {
            OnePole filter = prepared(48000.0f, 2, type, 1000.0f);
            Frame spoiled = signal_frame(2, 32);
            spoiled.channels[1][5] = bad;
            filter.process(spoiled, 0);
            EXPECT_EQ(filter.state[1], 0.0f);
            EXPECT_NE(filter.state[0], 0.0f);

            OnePole fresh = prepared(48000.0f, 1, type, 1000.0f);
            Frame next = signal_frame(2, 32, 32);
            Frame expected = signal_frame(1, 32, 32);
            for (std::uint32_t j = 0; j < 32; ++j) expected.channels[0][j] = next.channels[1][j];
            filter.process(next, 0);
            fresh.process(expected, 0);
            for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(next.channels[1][j], expected.channels[0][j]) << j;
        }
    }
}

TEST(OnePole, ChannelsBeyondThePreparedOnesAreUnchanged) {
    OnePole filter = prepared(48000.0f, 1, 0.0f, 500.0f);
    Frame frame = signal_frame(3, 32);
    filter.process(frame, 0);
    const float a = expected_coefficient(corner(500.0f), 48000.0f);
    float y = 0.0f;
    for (std::uint32_t j = 0; j < 32; ++j) {
        y = y + a * (signal(0, j) - y);
        EXPECT_EQ(frame.channels[0][j], y);
        EXPECT_EQ(frame.channels[1][j], signal(1, j));
        EXPECT_EQ(frame.channels[2][j], signal(2, j));
    }
    ASSERT_EQ(filter.state.size(), 1u);

    OnePole unprepared;
    Frame untouched = signal_frame(2, 32);
    unprepared.process(untouched, 0);
    EXPECT_EQ(untouched.channels[1][5], signal(1, 5));
}

TEST(OnePole, PrepareSetsTheSmootherAndClearsTheRest) {
    OnePole filter = prepared(44100.0f, 2, 1.0f, 3000.0f);
    filter.state = {0.5f, -0.5f};
    filter.prepare(96000.0f, 3);
    EXPECT_EQ(filter.state, std::vector<float>(3, 0.0f));
    EXPECT_EQ(filter.sample_rate, 96000.0f);
    EXPECT_EQ(filter.smoothing, expected_smoothing(96000.0f));
    EXPECT_EQ(filter.log_freq, 0.0f);
    EXPECT_EQ(filter.coefficient, 0.0f);
    EXPECT_FALSE(filter.started);
    EXPECT_FALSE(filter.highpass);
    const float args[] = {1.0f, 3000.0f};
    filter.control(args);
    EXPECT_EQ(filter.log_freq, std::log2(3000.0f));
    EXPECT_TRUE(filter.highpass);
}

} // namespace
