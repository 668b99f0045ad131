#include "blocks/gain.hpp"

#include "frames.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using loom::Frame;
using loom::Gain;
using loom::test::signal;
using loom::test::signal_frame;

// The gains worked out as written for the block: g = exp(dB × 0.11512925), negated when
// inverted; with two channels left = s·1.4142135·cos θ and right = s·1.4142135·sin θ for
// θ = (pan + 1) × 0.7853982; otherwise both s.
struct Gains {
    float left, right, mono;
};
Gains expected_gains(float gain_db, float pan, float invert, std::uint32_t channels) {
    const float g = std::exp(gain_db * 0.11512925f);
    const float s = invert < 0.5f ? g : -g;
    if (channels != 2) return {s, s, s};
    const float theta = (pan + 1.0f) * 0.7853982f;
    return {s * 1.4142135f * std::cos(theta), s * 1.4142135f * std::sin(theta), s};
}

struct ConstantCase {
    const char* name;
    std::uint32_t prepared;       // channels given to prepare
    std::uint32_t frame_channels; // channels of the processed frame
    float gain_db, pan, invert;
    std::vector<float> factors;   // per frame channel, as the block's text describes them
    float tolerance;              // relative to 1, for the described factors
};

const ConstantCase CONSTANT_CASES[] = {
    {"UnityMono", 1, 1, 0.0f, 0.0f, 0.0f, {1.0f}, 0.0f},
    {"MinusSixHalves", 1, 1, -6.0206f, 0.0f, 0.0f, {0.5f}, 1e-7f},
    {"MinusNinetySixIsSmallNotZero", 1, 1, -96.0f, 0.0f, 0.0f, {1.5848932e-5f}, 1e-10f},
    {"InvertNegates", 1, 1, 0.0f, 0.0f, 1.0f, {-1.0f}, 0.0f},
    {"StereoPanLeft", 2, 2, 0.0f, -1.0f, 0.0f, {1.4142135f, 0.0f}, 0.0f},
    {"StereoPanRight", 2, 2, 0.0f, 1.0f, 0.0f, {0.0f, 1.4142135f}, 1e-7f},
    {"StereoCentre", 2, 2, 0.0f, 0.0f, 0.0f, {1.0f, 1.0f}, 1e-7f},
    {"StereoPanGainInvert", 2, 2, 6.0f, 0.5f, 1.0f, {-1.0798282f, -2.6069358f}, 1e-6f},
    {"MonoIgnoresPan", 1, 1, 0.0f, -1.0f, 0.0f, {1.0f}, 0.0f},
    {"ThreeChannelsIgnorePan", 3, 3, -6.0206f, -1.0f, 0.0f, {0.5f, 0.5f, 0.5f}, 1e-7f},
    {"StereoExtraChannelsTakeRight", 2, 3, 0.0f, -1.0f, 0.0f, {1.4142135f, 0.0f, 0.0f}, 0.0f},
    {"StereoOneChannelFrameTakesLeft", 2, 1, 0.0f, 1.0f, 0.0f, {0.0f}, 1e-7f},
};

class GainConstant : public ::testing::TestWithParam<ConstantCase> {};

TEST_P(GainConstant, FirstPeriodMultipliesByTheTarget) {
    const ConstantCase& row = GetParam();
    Gain gain;
    gain.prepare(44100.0f, row.prepared);
    const float args[] = {row.gain_db, row.pan, row.invert};
    gain.control(args);
    const Gains g = expected_gains(row.gain_db, row.pan, row.invert, row.prepared);
    for (std::size_t period = 0; period < 2; ++period) {
        Frame frame = signal_frame(row.frame_channels, 32, 32 * period);
        gain.process(frame, 0);
        for (std::size_t c = 0; c < row.frame_channels; ++c) {
            const float factor = row.prepared != 2 ? g.mono : c == 0 ? g.left : g.right;
            EXPECT_NEAR(factor, row.factors[c], row.tolerance) << "channel " << c;
            for (std::uint32_t j = 0; j < 32; ++j)
                ASSERT_EQ(frame.channels[c][j], signal(c, 32 * period + j) * factor) << "channel " << c << ", " << j;
        }
        gain.control(args);
    }
}

INSTANTIATE_TEST_SUITE_P(All, GainConstant, ::testing::ValuesIn(CONSTANT_CASES), loom::test::RowName{});

TEST(Gain, PanIsConstantPower) {
    for (float pan : {-1.0f, -0.6f, -0.1f, 0.0f, 0.35f, 0.9f, 1.0f}) {
        Gain gain;
        gain.prepare(48000.0f, 2);
        const float args[] = {-3.0f, pan, 0.0f};
        gain.control(args);
        const float s = std::exp(-3.0f * 0.11512925f);
        EXPECT_NEAR(gain.to_left * gain.to_left + gain.to_right * gain.to_right, 2.0f * s * s, 1e-6f) << pan;
    }
}

TEST(Gain, ChangeBetweenPeriodsGlidesAcrossTheNextPeriod) {
    Gain gain;
    gain.prepare(48000.0f, 1);
    const float unity[] = {0.0f, 0.0f, 0.0f};
    const float quiet[] = {-96.0f, 0.0f, 0.0f};
    gain.control(unity);
    Frame first = signal_frame(1, 32);
    gain.process(first, 0);

    gain.control(quiet);
    Frame second = signal_frame(1, 32, 32);
    gain.process(second, 0);
    const float g = std::exp(-96.0f * 0.11512925f);
    for (std::uint32_t j = 0; j < 32; ++j) {
        const float factor = 1.0f + (g - 1.0f) * static_cast<float>(j + 1) / 32.0f;
        EXPECT_EQ(second.channels[0][j], signal(0, 32 + j) * factor) << j;
    }
    // Sample 31 is 1 + (g − 1), within rounding of 1.0 of g.
    EXPECT_NEAR(1.0f + (g - 1.0f), g, 6e-8f);

    gain.control(quiet);
    Frame third = signal_frame(1, 32, 64);
    gain.process(third, 0);
    for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(third.channels[0][j], signal(0, 64 + j) * g) << j;
}

TEST(Gain, StereoPanGlidesEachSide) {
    Gain gain;
    gain.prepare(48000.0f, 2);
    const float left[] = {0.0f, -1.0f, 0.0f};
    const float right[] = {0.0f, 1.0f, 0.0f};
    gain.control(left);
    gain.control(right);
    const Gains from = expected_gains(0.0f, -1.0f, 0.0f, 2);
    const Gains to = expected_gains(0.0f, 1.0f, 0.0f, 2);
    Frame frame = signal_frame(2, 12, 20);
    gain.process(frame, 20);
    for (std::uint32_t j = 0; j < 12; ++j) {
        const float u = static_cast<float>(20 + j + 1) / 32.0f;
        EXPECT_EQ(frame.channels[0][j], signal(0, 20 + j) * (from.left + (to.left - from.left) * u)) << j;
        EXPECT_EQ(frame.channels[1][j], signal(1, 20 + j) * (from.right + (to.right - from.right) * u)) << j;
    }
}

TEST(Gain, FirstPeriodAfterPrepareHasNoGlide) {
    Gain gain;
    gain.prepare(48000.0f, 1);
    const float unity[] = {0.0f, 0.0f, 0.0f};
    gain.control(unity);
    Frame before = signal_frame(1, 32);
    gain.process(before, 0);

    gain.prepare(48000.0f, 1);
    const float far[] = {-40.0f, 0.0f, 1.0f};
    gain.control(far);
    Frame frame = signal_frame(1, 32);
    gain.process(frame, 0);
    const float g = -std::exp(-40.0f * 0.11512925f);
    EXPECT_NEAR(g, -0.01f, 1e-8f);
    for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(frame.channels[0][j], signal(0, j) * g) << j;
}

TEST(Gain, MadeStateIsAllZero) {
    const std::unique_ptr<loom::Block> block = Gain::make();
    const Gain& gain = static_cast<const Gain&>(*block);
    EXPECT_EQ(gain.channels, 0u);
    EXPECT_EQ(gain.from_left, 0.0f);
    EXPECT_EQ(gain.to_mono, 0.0f);
    EXPECT_FALSE(gain.started);
}

} // namespace
