#include "blocks/tremolo.hpp"

#include "frames.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"
#include "runs.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using loom::Frame;
using loom::Tremolo;
using loom::test::run_periods;

Tremolo prepared(float rate, std::uint32_t channels) {
    Tremolo tremolo;
    tremolo.prepare(rate, channels);
    return tremolo;
}

float ones(std::size_t, std::size_t) { return 1.0f; }

// The wave at phase φ (cycles): a sine, or a triangle with its bottom at whole cycles.
double wave(bool triangle, double phi) {
    if (triangle) return 1.0 - 4.0 * std::fabs(phi - std::floor(phi) - 0.5);
    return std::sin(2.0 * std::numbers::pi * phi);
}

// The level factor 1 − d(1 − s)/2: 1 at the top of the wave, 1 − d at the bottom.
double level(double depth, bool triangle, double phi) { return 1.0 - depth * (1.0 - wave(triangle, phi)) / 2.0; }

struct WaveCase {
    const char* name;
    float rate_hz, depth, shape, stereo_phase;
    std::size_t channels;
};

const WaveCase WAVE_CASES[] = {
    {"SineMono", 4.0f, 0.5f, 0.0f, 0.0f, 1},
    {"SineAutoPan", 4.0f, 1.0f, 0.0f, 180.0f, 2},
    {"TriangleAutoPan", 4.0f, 1.0f, 1.0f, 180.0f, 2},
    {"SineThreeChannelsAThirdApart", 3.0f, 0.8f, 0.0f, 120.0f, 3},
    {"TriangleFastEighthApart", 40.0f, 0.7f, 1.0f, 45.0f, 2},
    {"SineSlowestQuarterApart", 0.05f, 1.0f, 0.0f, 90.0f, 2},
};

class TremoloWave : public ::testing::TestWithParam<WaveCase> {};

TEST_P(TremoloWave, ScalesEachChannelByItsOffsetWave) {
    const WaveCase& row = GetParam();
    Tremolo tremolo = prepared(48000.0f, static_cast<std::uint32_t>(row.channels));
    const std::vector<float> args = {row.rate_hz, row.depth, row.shape, row.stereo_phase};
    const auto out = run_periods(tremolo, {args}, row.channels, 600, ones);
    for (std::size_t k = 0; k < row.channels; ++k) {
        for (std::size_t n = 0; n < out[k].size(); ++n) {
            const double phi = static_cast<double>(row.rate_hz) * static_cast<double>(n) / 48000.0 +
                               static_cast<double>(k) * static_cast<double>(row.stereo_phase) / 360.0;
            ASSERT_NEAR(out[k][n], level(row.depth, row.shape >= 0.5f, phi), 2e-6) << k << " " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, TremoloWave, ::testing::ValuesIn(WAVE_CASES), loom::test::RowName{});

TEST(Tremolo, NoDepthLeavesTheSignalUntouched) {
    for (float shape : {0.0f, 1.0f}) {
        Tremolo tremolo = prepared(48000.0f, 2);
        const auto out = run_periods(tremolo, {{7.0f, 0.0f, shape, 90.0f}}, 2, 50);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t n = 0; n < out[c].size(); ++n) ASSERT_EQ(out[c][n], loom::test::signal(c, n));
    }
}

TEST(Tremolo, FullSineDepthReachesSilenceAndUnity) {
    // 4 Hz at 48 kHz: 12000 samples a cycle; the bottom at φ = 0.75, the top at φ = 0.25.
    Tremolo tremolo = prepared(48000.0f, 1);
    const auto out = run_periods(tremolo, {{4.0f, 1.0f, 0.0f, 0.0f}}, 1, 400, ones);
    EXPECT_NEAR(out[0][9000], 0.0f, 1e-6f);
    EXPECT_NEAR(out[0][3000], 1.0f, 1e-6f);
    for (float x : out[0]) {
        ASSERT_GE(x, 0.0f);
        ASSERT_LE(x, 1.0f);
    }
}

TEST(Tremolo, FirstSampleAfterPrepare) {
    for (float depth : {0.3f, 1.0f}) {
        Tremolo sine = prepared(48000.0f, 1);
        Tremolo triangle = prepared(48000.0f, 1);
        // Half-way down for the sine, the bottom for the triangle.
        EXPECT_EQ(run_periods(sine, {{4.0f, depth, 0.0f, 0.0f}}, 1, 1, ones)[0][0], 1.0f - depth / 2.0f);
        EXPECT_EQ(run_periods(triangle, {{4.0f, depth, 1.0f, 0.0f}}, 1, 1, ones)[0][0], 1.0f - depth);
        // And again after a prepare in mid-cycle.
        static_cast<void>(run_periods(sine, {{4.0f, depth, 0.0f, 0.0f}}, 1, 77, ones));
        sine.prepare(44100.0f, 1);
        EXPECT_EQ(run_periods(sine, {{4.0f, depth, 0.0f, 0.0f}}, 1, 1, ones)[0][0], 1.0f - depth / 2.0f);
    }
}

TEST(Tremolo, HalfACycleApartIsAnAutoPan) {
    for (float shape : {0.0f, 1.0f}) {
        Tremolo tremolo = prepared(48000.0f, 2);
        const auto out = run_periods(tremolo, {{4.0f, 1.0f, shape, 180.0f}}, 2, 400, ones);
        // The two levels always add up to one: one side is up as far as the other is down.
        for (std::size_t n = 0; n < out[0].size(); ++n) ASSERT_NEAR(out[0][n] + out[1][n], 1.0f, 2e-6f) << n;
    }
    Tremolo sine = prepared(48000.0f, 2);
    const auto out = run_periods(sine, {{4.0f, 1.0f, 0.0f, 180.0f}}, 2, 300, ones);
    EXPECT_NEAR(out[0][9000], 0.0f, 1e-6f);
    EXPECT_NEAR(out[1][9000], 1.0f, 1e-6f);
}

TEST(Tremolo, ThreeChannelsAThirdOfACycleApart) {
    Tremolo tremolo = prepared(48000.0f, 3);
    const auto out = run_periods(tremolo, {{4.0f, 0.9f, 0.0f, 120.0f}}, 3, 800, ones);
    EXPECT_EQ(tremolo.channel_offset, 120.0 / 360.0);
    // Channel k now is where channel 0 will be k × 4000 samples later.
    for (std::size_t k = 1; k < 3; ++k)
        for (std::size_t n = 0; n + 8000 < out[0].size(); ++n)
            ASSERT_NEAR(out[k][n], out[0][n + 4000 * k], 2e-6f) << k << " " << n;
}

TEST(Tremolo, CycleAtFourHertzIsTwelveThousandSamples) {
    Tremolo tremolo = prepared(48000.0f, 1);
    const auto out = run_periods(tremolo, {{4.0f, 0.6f, 0.0f, 0.0f}}, 1, 375, ones, {3, 29});
    EXPECT_EQ(out[0].size(), 12000u);
    EXPECT_NEAR(tremolo.phase - std::round(tremolo.phase), 0.0, 1e-12);
    EXPECT_GE(tremolo.phase, 0.0);
    EXPECT_LT(tremolo.phase, 1.0);
    const auto next = run_periods(tremolo, {{4.0f, 0.6f, 0.0f, 0.0f}}, 1, 1, ones);
    EXPECT_NEAR(next[0][0], 1.0f - 0.6f / 2.0f, 1e-6f);
}

TEST(Tremolo, DepthStepRampsOverTheNextPeriod) {
    Tremolo tremolo = prepared(48000.0f, 1);
    const auto out = run_periods(tremolo, {{0.05f, 0.2f, 0.0f, 0.0f}, {0.05f, 1.0f, 0.0f, 0.0f}}, 1, 3, ones);
    const auto phi = [](std::size_t n) { return 0.05 * static_cast<double>(n) / 48000.0; };
    for (std::size_t j = 0; j < 32; ++j) {
        EXPECT_NEAR(out[0][j], level(0.2, false, phi(j)), 1e-6) << j;
        const double depth = 0.2 + 0.8 * static_cast<double>(j + 1) / 32.0;
        EXPECT_NEAR(out[0][32 + j], level(depth, false, phi(32 + j)), 1e-6) << j;
        EXPECT_NEAR(out[0][64 + j], level(1.0, false, phi(64 + j)), 1e-6) << j;
    }
    EXPECT_EQ(tremolo.depth_from, 1.0f);
    EXPECT_EQ(tremolo.depth_to, 1.0f);
}

TEST(Tremolo, RateChangeKeepsThePhase) {
    Tremolo tremolo = prepared(48000.0f, 1);
    std::vector<std::vector<float>> args(10, {4.0f, 1.0f, 1.0f, 0.0f});
    args.push_back({10.0f, 1.0f, 1.0f, 0.0f});
    const auto out = run_periods(tremolo, args, 1, 20, ones);
    for (std::size_t n = 0; n < out[0].size(); ++n) {
        const double phi = n < 320 ? 4.0 * static_cast<double>(n) / 48000.0
                                   : (4.0 * 320.0 + 10.0 * static_cast<double>(n - 320)) / 48000.0;
        ASSERT_NEAR(out[0][n], level(1.0, true, phi), 2e-6) << n;
    }
    EXPECT_NEAR(tremolo.phase, (4.0 * 320.0 + 10.0 * 320.0) / 48000.0, 1e-12);
}

TEST(Tremolo, FrameWithoutChannelsStillMovesThePhase) {
    Tremolo tremolo = prepared(48000.0f, 2);
    tremolo.control(std::vector<float>{6.0f, 0.5f, 0.0f, 0.0f});
    Frame none;
    none.len = 32;
    tremolo.process(none, 0);
    none.len = 16;
    tremolo.process(none, 0);
    EXPECT_NEAR(tremolo.phase, 6.0 * 48.0 / 48000.0, 1e-15);
}

TEST(Tremolo, ControlSetsTheFields) {
    Tremolo tremolo = prepared(44100.0f, 2);
    tremolo.control(std::vector<float>{5.0f, 0.25f, 1.0f, 90.0f});
    EXPECT_EQ(tremolo.phase_step, 5.0 / 44100.0);
    EXPECT_EQ(tremolo.depth_from, 0.25f);
    EXPECT_EQ(tremolo.depth_to, 0.25f);
    EXPECT_TRUE(tremolo.triangle);
    EXPECT_EQ(tremolo.channel_offset, 0.25);
    EXPECT_TRUE(tremolo.started);
    tremolo.control(std::vector<float>{5.0f, 0.75f, 0.0f, 90.0f});
    EXPECT_EQ(tremolo.depth_from, 0.25f);
    EXPECT_EQ(tremolo.depth_to, 0.75f);
    EXPECT_FALSE(tremolo.triangle);
}

TEST(Tremolo, MadeAndPreparedStates) {
    const std::unique_ptr<loom::Block> block = Tremolo::make();
    const Tremolo& made = static_cast<const Tremolo&>(*block);
    EXPECT_EQ(made.phase_step, 0.0);
    EXPECT_EQ(made.phase, 0.0);
    EXPECT_EQ(made.sample_rate, 0.0f);
    EXPECT_FALSE(made.started);
    const std::vector<float> args = {4.0f, 0.5f, 0.0f, 0.0f};
    EXPECT_EQ(block->latency(), 0u);
    EXPECT_EQ(block->tail(args, 48000.0f), 0u);
    EXPECT_EQ(block->meter(0), 0.0f);

    Tremolo tremolo = prepared(48000.0f, 2);
    static_cast<void>(run_periods(tremolo, {{3.0f, 0.5f, 1.0f, 30.0f}}, 2, 5, loom::test::signal, {5, 27}));
    tremolo.prepare(96000.0f, 1);
    EXPECT_EQ(tremolo.phase_step, 0.0);
    EXPECT_EQ(tremolo.depth_from, 0.0f);
    EXPECT_EQ(tremolo.depth_to, 0.0f);
    EXPECT_EQ(tremolo.channel_offset, 0.0);
    EXPECT_EQ(tremolo.phase, 0.0);
    EXPECT_EQ(tremolo.sample_rate, 96000.0f);
    EXPECT_FALSE(tremolo.triangle);
    EXPECT_FALSE(tremolo.started);
}

// Argument lists that change every value from period to period.
std::vector<std::vector<float>> changing_args() {
    std::vector<std::vector<float>> args;
    for (int p = 0; p < 40; ++p)
        args.push_back(p % 3 == 1 ? std::vector<float>{31.0f, 0.9f, 1.0f, 45.0f}
                                  : std::vector<float>{7.0f, 0.3f, 0.0f, 170.0f});
    return args;
}

TEST(Tremolo, PeriodSplitOverSeveralCallsEqualsOneCall) {
    const auto args = changing_args();
    Tremolo whole = prepared(48000.0f, 2);
    const auto expected = run_periods(whole, args, 2, args.size());
    for (const auto& split : loom::test::SPLITS) {
        Tremolo pieces = prepared(48000.0f, 2);
        EXPECT_EQ(run_periods(pieces, args, 2, args.size(), loom::test::signal, split), expected);
    }
}

TEST(Tremolo, PrepareAgainEqualsFresh) {
    const auto args = changing_args();
    Tremolo fresh = prepared(48000.0f, 2);
    Tremolo reused = prepared(48000.0f, 2);
    static_cast<void>(run_periods(reused, args, 2, 11, loom::test::signal, {13, 19}));
    reused.prepare(48000.0f, 2);
    EXPECT_EQ(run_periods(reused, args, 2, args.size()), run_periods(fresh, args, 2, args.size()));
}

TEST(Tremolo, ControlAndProcessDoNotAllocate) {
    const auto args = changing_args();
    Tremolo tremolo = prepared(48000.0f, 2);
    Frame frame = loom::test::signal_frame(2, 32);
    Frame none;
    loom::test::AllocationCounter counter;
    for (const auto& list : args) {
        tremolo.control(list);
        frame.len = 14;
        tremolo.process(frame, 0);
        frame.len = 18;
        tremolo.process(frame, 14);
        none.len = 3;
        tremolo.process(none, 0);
    }
    EXPECT_EQ(counter.count(), 0u);
}

TEST(TremoloDeathTest, TooFewArgumentValuesAreFatal) {
    Tremolo tremolo = prepared(48000.0f, 1);
    const std::vector<float> three(3, 1.0f);
    EXPECT_DEATH(tremolo.control(three), "tremolo: control needs 4 argument values");
}

} // namespace
