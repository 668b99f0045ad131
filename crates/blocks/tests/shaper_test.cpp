#include "blocks/shaper.hpp"

#include "frames.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using loom::Frame;
using loom::Shaper;
using loom::test::mono_frame;
using loom::test::signal;
using loom::test::signal_frame;

// The five curves as the block's table gives them.
float expected_curve(std::uint32_t curve, float x) {
    switch (curve) {
    case 0: return std::tanh(x);
    case 1: return x < -1.0f ? -1.0f : x > 1.0f ? 1.0f : x;
    case 2:
        if (x >= 1.0f) return 1.0f;
        if (x <= -1.0f) return -1.0f;
        return 1.5f * (x + (x * (x * x)) / -3.0f);
    case 3: return std::sin(x * 1.5707964f);
    default: return x >= 0.0f ? 1.0f - std::exp(-x) : (1.0f - std::exp(1.25f * x)) * -0.8f;
    }
}

// One period through a freshly prepared shaper with the given arguments.
Frame shape_once(float curve, float drive_db, float bias, float output_db, Frame frame) {
    Shaper shaper;
    shaper.prepare(48000.0f, static_cast<std::uint32_t>(frame.channel_count()));
    const float args[] = {curve, drive_db, bias, output_db};
    shaper.control(args);
    shaper.process(frame, 0);
    return frame;
}

struct PointCase {
    const char* name;
    float curve;
    float input;
    float output;    // the value the curve's description gives
    float tolerance;
};

const PointCase POINT_CASES[] = {
    {"HardPassesWithin", 1.0f, 0.7f, 0.7f, 0.0f},
    {"HardCutsAbove", 1.0f, 1.5f, 1.0f, 0.0f},
    {"HardCutsBelow", 1.0f, -3.0f, -1.0f, 0.0f},
    {"HardKeepsOne", 1.0f, -1.0f, -1.0f, 0.0f},
    {"SoftclipHalf", 2.0f, 0.5f, 0.6875f, 1e-7f},
    {"SoftclipNegativeHalf", 2.0f, -0.5f, -0.6875f, 1e-7f},
    {"SoftclipOneIsExactlyOne", 2.0f, 1.0f, 1.0f, 0.0f},
    {"SoftclipAboveIsOne", 2.0f, 1.25f, 1.0f, 0.0f},
    {"SoftclipBelowIsMinusOne", 2.0f, -1.0f, -1.0f, 0.0f},
    {"TanhHalf", 0.0f, 0.5f, 0.46211716f, 1e-7f},
    {"TanhLarge", 0.0f, -1.5f, -0.90514825f, 1e-7f},
    {"FoldOneIsPeak", 3.0f, 1.0f, 1.0f, 1e-7f},
    {"FoldHalf", 3.0f, 0.5f, 0.70710677f, 1e-7f},
    {"FoldBeyondFoldsBack", 3.0f, 1.5f, 0.70710677f, 1e-6f},
    {"TubePositive", 4.0f, 1.0f, 0.63212056f, 1e-6f},
    {"TubeNegative", 4.0f, -1.0f, -0.57079616f, 1e-6f},
    {"TubeIndexSevenIsTube", 7.0f, -1.0f, -0.57079616f, 1e-6f},
};

class ShaperPoint : public ::testing::TestWithParam<PointCase> {};

TEST_P(ShaperPoint, PlainCurveMatchesItsDescription) {
    const PointCase& row = GetParam();
    const Frame out = shape_once(row.curve, 0.0f, 0.0f, 0.0f, mono_frame({row.input, 0.0f}));
    const std::uint32_t index = row.curve >= 4.0f ? 4u : static_cast<std::uint32_t>(row.curve);
    EXPECT_EQ(out.channels[0][0], expected_curve(index, row.input));
    EXPECT_NEAR(out.channels[0][0], row.output, row.tolerance);
    EXPECT_EQ(out.channels[0][1], 0.0f);
}

INSTANTIATE_TEST_SUITE_P(All, ShaperPoint, ::testing::ValuesIn(POINT_CASES), loom::test::RowName{});

TEST(Shaper, EveryCurveAndGainMatchesTheFormula) {
    for (float curve : {0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) {
        for (float bias : {-1.0f, -0.3f, 0.0f, 0.5f, 1.0f}) {
            const float drive_db = 9.0f;
            const float output_db = -4.5f;
            const Frame out = shape_once(curve, drive_db, bias, output_db, signal_frame(2, 32));
            const std::uint32_t index = curve >= 4.0f ? 4u : static_cast<std::uint32_t>(curve);
            const float d = std::exp(drive_db * 0.11512925f);
            const float o = std::exp(output_db * 0.11512925f);
            for (std::size_t c = 0; c < 2; ++c)
                for (std::uint32_t j = 0; j < 32; ++j) {
                    const float expected =
                        o * (expected_curve(index, bias + signal(c, j) * d) - expected_curve(index, bias));
                    ASSERT_EQ(out.channels[c][j], expected) << curve << " " << bias << " " << c << "," << j;
                }
        }
    }
}

TEST(Shaper, SilenceStaysSilentForEveryCurveAndBias) {
    for (float curve : {0.0f, 1.0f, 2.0f, 3.0f, 4.0f}) {
        for (float bias : {-1.0f, -0.5f, 0.25f, 0.5f, 1.0f}) {
            const Frame out = shape_once(curve, 48.0f, bias, 24.0f, mono_frame(std::vector<float>(32, 0.0f)));
            for (std::uint32_t j = 0; j < 32; ++j)
                EXPECT_EQ(out.channels[0][j], 0.0f) << "curve " << curve << " bias " << bias;
        }
    }
}

TEST(Shaper, FoldWrapsTwoBackToTheCentre) {
    // 20·log10(2) dB of drive makes an input of 1 into x = 2, and sin(π) is about 0.
    const Frame out = shape_once(3.0f, 6.0206f, 0.0f, 0.0f, mono_frame({1.0f, -1.0f}));
    EXPECT_NEAR(out.channels[0][0], 0.0f, 1e-4f);
    EXPECT_NEAR(out.channels[0][1], 0.0f, 1e-4f);
}

TEST(Shaper, DriveGlidesToItsNewTargetAcrossThePeriod) {
    Shaper shaper;
    shaper.prepare(48000.0f, 1);
    const float plain[] = {1.0f, 0.0f, 0.0f, 0.0f};
    const float driven[] = {1.0f, 12.0f, 0.0f, 0.0f};
    shaper.control(plain);
    Frame first = signal_frame(1, 32);
    for (float& x : first.channels[0]) x *= 0.1f;
    const Frame input = first;
    shaper.process(first, 0);
    for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(first.channels[0][j], input.channels[0][j]) << j;

    shaper.control(driven);
    Frame second = input;
    shaper.process(second, 0);
    const float target = std::exp(12.0f * 0.11512925f);
    EXPECT_NEAR(target, 3.98107f, 1e-5f);
    for (std::uint32_t j = 0; j < 32; ++j) {
        const float d = 1.0f + (target - 1.0f) * static_cast<float>(j + 1) / 32.0f;
        EXPECT_EQ(second.channels[0][j], input.channels[0][j] * d) << j;
    }
    EXPECT_EQ(second.channels[0][31], input.channels[0][31] * target);
}

TEST(Shaper, OutputGainGlidesAndCurveSwitchesAtOnce) {
    Shaper shaper;
    shaper.prepare(48000.0f, 2);
    const float before[] = {0.0f, 0.0f, 0.2f, 6.0f};
    const float after[] = {4.0f, 0.0f, -0.6f, -12.0f};
    shaper.control(before);
    Frame first = signal_frame(2, 32);
    shaper.process(first, 0);
    shaper.control(after);
    Frame second = signal_frame(2, 12, 32);
    shaper.process(second, 0);
    const float from = std::exp(6.0f * 0.11512925f);
    const float to = std::exp(-12.0f * 0.11512925f);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::uint32_t j = 0; j < 12; ++j) {
            const float o = from + (to - from) * static_cast<float>(j + 1) / 32.0f;
            const float x = -0.6f + signal(c, 32 + j);
            EXPECT_EQ(second.channels[c][j], o * (expected_curve(4, x) - expected_curve(4, -0.6f))) << c << "," << j;
        }
}

TEST(Shaper, FirstPeriodAfterPrepareHasNoGlide) {
    Shaper shaper;
    shaper.prepare(48000.0f, 1);
    const float loud[] = {1.0f, 30.0f, 0.0f, 0.0f};
    shaper.control(loud);
    Frame discard = signal_frame(1, 32);
    shaper.process(discard, 0);

    shaper.prepare(48000.0f, 1);
    const float quiet[] = {1.0f, -20.0f, 0.0f, 10.0f};
    shaper.control(quiet);
    Frame frame = signal_frame(1, 32);
    shaper.process(frame, 0);
    const float d = std::exp(-20.0f * 0.11512925f);
    const float o = std::exp(10.0f * 0.11512925f);
    for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(frame.channels[0][j], o * (signal(0, j) * d)) << j;
}

TEST(Shaper, MadeStateIsAllZero) {
    const std::unique_ptr<loom::Block> block = Shaper::make();
    const Shaper& shaper = static_cast<const Shaper&>(*block);
    EXPECT_EQ(shaper.curve, 0u);
    EXPECT_EQ(shaper.drive_to, 0.0f);
    EXPECT_EQ(shaper.offset, 0.0f);
    EXPECT_FALSE(shaper.started);
}

} // namespace
