#include "blocks/stereo.hpp"

#include "frames.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using loom::Frame;
using loom::Stereo;
using loom::test::signal;
using loom::test::signal_frame;

// Samples as a 24-bit converter gives them: whole multiples of 2^-23 within ±0.9. Sums and
// differences of two such samples are exact in 32-bit floats.
float pcm(std::size_t channel, std::size_t index) {
    return std::round(signal(channel, index) * 0.6f * 8388608.0f) / 8388608.0f;
}

Frame pcm_frame(std::size_t channels, std::uint32_t len, std::size_t start = 0) {
    Frame frame(channels);
    frame.len = len;
    for (std::size_t c = 0; c < channels; ++c)
        for (std::uint32_t j = 0; j < len; ++j) frame.channels[c][j] = pcm(c, start + j);
    return frame;
}

Frame pair_frame(float left, float right, std::uint32_t len = 32) {
    Frame frame(2);
    frame.len = len;
    frame.channels[0].fill(left);
    frame.channels[1].fill(right);
    return frame;
}

Stereo prepared(std::uint32_t channels, float mode, float width = 1.0f, float mid_db = 0.0f, float side_db = 0.0f) {
    Stereo stereo;
    stereo.prepare(48000.0f, channels);
    const float args[] = {mode, width, mid_db, side_db};
    stereo.control(args);
    return stereo;
}

struct ModeCase {
    const char* name;
    float mode, width, mid_db, side_db;
    bool exact; // the output is exactly representable for 24-bit input
};

const ModeCase MODE_CASES[] = {
    {"WidthOneIsUnchanged", 0, 1, 0, 0, true},
    {"WidthZeroIsTheMonoSum", 0, 0, 0, 0, true},
    {"WidthTwoDoublesTheSide", 0, 2, 0, 0, false},
    {"MidLevel", 0, 1, -6, 0, false},
    {"SideLevelAndWidth", 0, 1.5f, 3, -9, false},
    {"Encode", 1, 1, 0, 0, true},
    {"EncodeIgnoresTheWidthArguments", 1, 2, -6, 12, true},
    {"Decode", 2, 1, 0, 0, true},
    {"Mono", 3, 0.5f, 0, 0, true},
    {"Swap", 4, 1, 0, 0, true},
};

// The two outputs for inputs L and R, worked out in 64 bits from the mode's definition.
std::pair<double, double> expected_pair(const ModeCase& row, double l, double r) {
    switch (static_cast<int>(row.mode)) {
    case 0: {
        const double mid = std::pow(10.0, row.mid_db / 20.0) * (l + r) / 2.0;
        const double side = row.width * std::pow(10.0, row.side_db / 20.0) * (l - r) / 2.0;
        return {mid + side, mid - side};
    }
    case 1: return {(l + r) / 2.0, (l - r) / 2.0};
    case 2: return {l + r, l - r};
    case 3: return {(l + r) / 2.0, (l + r) / 2.0};
    default: return {r, l};
    }
}

class StereoMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(StereoMode, GivesTheDefinedPair) {
    const ModeCase& row = GetParam();
    Stereo stereo = prepared(2, row.mode, row.width, row.mid_db, row.side_db);
    for (std::size_t period = 0; period < 2; ++period) {
        Frame frame = pcm_frame(2, 32, 32 * period);
        stereo.process(frame, 0);
        for (std::uint32_t j = 0; j < 32; ++j) {
            const auto [left, right] = expected_pair(row, pcm(0, 32 * period + j), pcm(1, 32 * period + j));
            if (row.exact) {
                ASSERT_EQ(frame.channels[0][j], static_cast<float>(left)) << j;
                ASSERT_EQ(frame.channels[1][j], static_cast<float>(right)) << j;
            } else {
                ASSERT_NEAR(frame.channels[0][j], left, 1e-6) << j;
                ASSERT_NEAR(frame.channels[1][j], right, 1e-6) << j;
            }
        }
        const float args[] = {row.mode, row.width, row.mid_db, row.side_db};
        stereo.control(args);
    }
}

INSTANTIATE_TEST_SUITE_P(All, StereoMode, ::testing::ValuesIn(MODE_CASES), loom::test::RowName{});

TEST(Stereo, WorkedPairs) {
    struct Row { const char* name; float mode, mid_db, left, right, out_left, out_right, tolerance; };
    const Row rows[] = {
        {"EncodeLeftOnly", 1, 0, 1.0f, 0.0f, 0.5f, 0.5f, 0.0f},
        {"DecodeMidAndSide", 2, 0, 0.5f, 0.5f, 1.0f, 0.0f, 0.0f},
        {"MonoOfOppositesIsSilence", 3, 0, 1.0f, -1.0f, 0.0f, 0.0f, 0.0f},
        {"MidMinusSixHalvesTheMid", 0, -6, 1.0f, 1.0f, 0.501f, 0.501f, 3e-4f},
        {"MidMinusSixLeavesTheSide", 0, -6, 1.0f, -1.0f, 1.0f, -1.0f, 0.0f},
    };
    for (const Row& row : rows) {
        Stereo stereo = prepared(2, row.mode, 1.0f, row.mid_db);
        Frame frame = pair_frame(row.left, row.right, 3);
        stereo.process(frame, 0);
        EXPECT_NEAR(frame.channels[0][2], row.out_left, row.tolerance) << row.name;
        EXPECT_NEAR(frame.channels[1][2], row.out_right, row.tolerance) << row.name;
    }
}

TEST(Stereo, EncodeThenDecodeRestoresTheInputExactly) {
    Stereo encode = prepared(2, 1);
    Stereo decode = prepared(2, 2);
    for (std::size_t period = 0; period < 4; ++period) {
        Frame frame = pcm_frame(2, 32, 32 * period);
        encode.process(frame, 0);
        decode.process(frame, 0);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::uint32_t j = 0; j < 32; ++j) ASSERT_EQ(frame.channels[c][j], pcm(c, 32 * period + j));
        // And the other way round.
        decode.process(frame, 0);
        encode.process(frame, 0);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::uint32_t j = 0; j < 32; ++j) ASSERT_EQ(frame.channels[c][j], pcm(c, 32 * period + j));
    }
}

TEST(Stereo, AnyOtherChannelCountPassesUnchanged) {
    for (std::uint32_t channels : {1u, 3u, 4u}) {
        for (float mode = 0.0f; mode <= 4.0f; mode += 1.0f) {
            Stereo stereo = prepared(channels, mode, 0.0f, -12.0f, 6.0f);
            Frame frame = signal_frame(channels, 32);
            stereo.process(frame, 0);
            for (std::size_t c = 0; c < channels; ++c)
                for (std::uint32_t j = 0; j < 32; ++j)
                    ASSERT_EQ(frame.channels[c][j], signal(c, j)) << channels << " channels, mode " << mode;
        }
    }
    // A made block has not been prepared for two channels.
    Stereo made;
    Frame frame = signal_frame(2, 32);
    made.process(frame, 0);
    EXPECT_EQ(frame.channels[1][3], signal(1, 3));
}

TEST(Stereo, OnlyTheFirstTwoChannelsOfAFrameAreTouched) {
    Stereo stereo = prepared(2, 4);
    Frame wide = signal_frame(3, 32);
    stereo.process(wide, 0);
    Frame narrow = signal_frame(1, 32);
    stereo.process(narrow, 0);
    for (std::uint32_t j = 0; j < 32; ++j) {
        EXPECT_EQ(wide.channels[0][j], signal(1, j));
        EXPECT_EQ(wide.channels[1][j], signal(0, j));
        EXPECT_EQ(wide.channels[2][j], signal(2, j));
        EXPECT_EQ(narrow.channels[0][j], signal(0, j));
    }
}

TEST(Stereo, WidthAndLevelsGlideAcrossThePeriod) {
    // Width 1 to 0: the side gain falls linearly from 1 to 0, reaching it on sample 31.
    Stereo stereo = prepared(2, 0, 1.0f);
    const float narrow[] = {0.0f, 0.0f, 0.0f, 0.0f};
    stereo.control(narrow);
    Frame head = pair_frame(1.0f, 0.0f, 20);
    Frame tail = pair_frame(1.0f, 0.0f, 12);
    stereo.process(head, 0);
    stereo.process(tail, 20);
    for (std::uint32_t j = 0; j < 32; ++j) {
        const double side = 1.0 - (j + 1) / 32.0;
        const Frame& frame = j < 20 ? head : tail;
        const std::uint32_t i = j < 20 ? j : j - 20;
        EXPECT_EQ(frame.channels[0][i], static_cast<float>(0.5 + 0.5 * side)) << j;
        EXPECT_EQ(frame.channels[1][i], static_cast<float>(0.5 - 0.5 * side)) << j;
    }
    EXPECT_EQ(tail.channels[0][11], 0.5f);
    EXPECT_EQ(tail.channels[1][11], 0.5f);

    // Right after prepare the new width holds from the first sample.
    stereo.prepare(48000.0f, 2);
    stereo.control(narrow);
    Frame at_once = pair_frame(1.0f, 0.0f);
    stereo.process(at_once, 0);
    for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(at_once.channels[1][j], 0.5f) << j;

    // The mid gain glides in linear terms from 1 to the factor of −24 dB.
    const float quiet[] = {0.0f, 1.0f, -24.0f, 0.0f};
    Stereo mid = prepared(2, 0);
    mid.control(quiet);
    Frame frame = pair_frame(1.0f, 1.0f);
    mid.process(frame, 0);
    const float g = std::exp(-24.0f * 0.11512925f);
    EXPECT_NEAR(g, 0.0631f, 1e-4f);
    for (std::uint32_t j = 0; j < 32; ++j) {
        const float gm = 1.0f + (g - 1.0f) * (static_cast<float>(j + 1) / 32.0f);
        EXPECT_EQ(frame.channels[0][j], gm) << j;
        EXPECT_EQ(frame.channels[1][j], gm) << j;
    }
}

TEST(Stereo, ModeSwitchesAtThePeriodBoundary) {
    Stereo stereo = prepared(2, 1);
    const float swap[] = {4.0f, 1.0f, 0.0f, 0.0f};
    stereo.control(swap);
    Frame frame = pair_frame(0.25f, -0.75f);
    stereo.process(frame, 0);
    EXPECT_EQ(frame.channels[0][0], -0.75f);
    EXPECT_EQ(frame.channels[1][0], 0.25f);
}

TEST(Stereo, ControlAndProcessDoNotAllocate) {
    Stereo stereo;
    stereo.prepare(48000.0f, 2);
    Frame frame = signal_frame(2, 32);
    loom::test::AllocationCounter counter;
    for (int period = 0; period < 10; ++period) {
        const float args[] = {static_cast<float>(period % 5), period % 2 == 0 ? 0.3f : 1.7f, -3.0f, 6.0f};
        stereo.control(args);
        stereo.process(frame, 0);
    }
    EXPECT_EQ(counter.count(), 0u);
}

TEST(StereoDeathTest, TooFewArgumentValuesAreFatal) {
    Stereo stereo;
    stereo.prepare(48000.0f, 2);
    const float three[] = {0.0f, 1.0f, 0.0f};
    EXPECT_DEATH(stereo.control(three), "stereo: control needs 4 argument values");
}

} // namespace
