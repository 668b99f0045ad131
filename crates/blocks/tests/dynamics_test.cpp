#include "blocks/dynamics.hpp"

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

using loom::Dynamics;
using loom::Frame;
using loom::test::run_periods;

// The thirteen arguments, at their catalogue defaults unless a test says otherwise.
struct DynamicsArgs {
    float mode = 0.0f;
    float threshold_db = -18.0f;
    float ratio = 4.0f;
    float knee_db = 6.0f;
    float attack_ms = 10.0f;
    float release_ms = 120.0f;
    float makeup_db = 0.0f;
    float auto_makeup = 0.0f;
    float detector = 0.0f;
    float sidechain_hpf_hz = 10.0f;
    float link = 1.0f;
    float lookahead_ms = 0.0f;
    float range_db = 80.0f;

    std::vector<float> list() const {
        return {mode,     threshold_db,     ratio, knee_db,      attack_ms, release_ms, makeup_db,
                auto_makeup, detector, sidechain_hpf_hz, link, lookahead_ms, range_db};
    }
};

// A dynamics block configured with `args` and prepared; no control has run yet.
Dynamics prepared(float rate, std::uint32_t channels, const DynamicsArgs& args) {
    Dynamics dynamics;
    dynamics.configure(args.list());
    dynamics.prepare(rate, channels);
    return dynamics;
}

double from_db(double db) { return std::pow(10.0, db / 20.0); }

// Every channel holds `value`.
loom::test::Input constant(float value) {
    return [value](std::size_t, std::size_t) { return value; };
}

// A smoother t + c·(g − t) in single precision stops moving once c·(g − t) rounds away
// against t: with the 10 ms attack (c = e^(−1/480)) a target of −13.5 dB is held within
// about 480 half-steps of 13.5, 2.3e-4 dB.
constexpr float SETTLED = 5e-4f;

TEST(Dynamics, CompressorSettlesAtTheDocumentedGain) {
    // Threshold −18 dB, ratio 4, knee 6 dB, peak detector, link 1: a level of 0 dB lies 18 dB
    // over, beyond the knee, and keeps 18 / 4 of it: −13.5 dB.
    const DynamicsArgs args;
    Dynamics dynamics = prepared(48000.0f, 2, args);
    const auto out = run_periods(dynamics, {args.list()}, 2, 1500, constant(1.0f));
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_NEAR(dynamics.gain[c], -13.5f, SETTLED) << c;
        EXPECT_NEAR(out[c].back(), from_db(-13.5), 5e-5) << c;
    }
    EXPECT_NEAR(dynamics.meter(0), 13.5f, SETTLED);
    EXPECT_EQ(dynamics.meter(1), 0.0f);
}

struct ComputerCase {
    const char* name;
    float mode, threshold_db, ratio, knee_db, range_db;
    float level_db;   // of the constant input
    double gain_db;   // the settled gain change, worked out by hand
};

const ComputerCase COMPUTER_CASES[] = {
    // Compressor, threshold −18, ratio 4, knee 6 (h = 3): inside the knee
    // w = −0.75 (u + 3)² / 12, above it −0.75 u.
    {"CompressorBeyondTheKnee", 0, -18, 4, 6, 80, 0, -13.5},
    {"CompressorInsideTheKnee", 0, -18, 4, 6, 80, -16, -1.5625},
    {"CompressorAtTheThreshold", 0, -18, 4, 6, 80, -18, -0.5625},
    {"CompressorLowInTheKnee", 0, -18, 4, 6, 80, -20, -0.0625},
    {"CompressorKneeMeetsTheLine", 0, -18, 4, 6, 80, -15, -2.25},
    {"CompressorBelowTheKnee", 0, -18, 4, 6, 80, -22, 0},
    {"HardKneeAbove", 0, -18, 4, 0, 80, -16, -1.5},
    {"HardKneeBelow", 0, -18, 4, 0, 80, -19, 0},
    {"CompressorRatioOneDoesNothing", 0, -18, 1, 6, 80, 0, 0},
    {"CompressorHeldToRange", 0, -40, 100, 0, 20, 0, -20},
    // The limiter's ratio is 1000 whatever `ratio` says: (1/1000 − 1) × 18.
    {"LimiterIgnoresRatio", 1, -18, 4, 0, 80, 0, -17.982},
    // The gate's ratio is at least 20: 19 dB down per dB below the threshold.
    {"GateSteepRatio", 2, -40, 4, 0, 80, -42, -38},
    {"GateIsHeldToRange", 2, -40, 4, 0, 80, -60, -80},
    {"GateIsHeldToASmallerRange", 2, -40, 4, 0, 30, -60, -30},
    {"GateLeavesWhatIsAbove", 2, -40, 4, 0, 80, -30, 0},
    {"GateKeepsALargerRatio", 2, -40, 50, 0, 80, -41, -49},
    // Expander, threshold −40, ratio 2: inside the knee w = −(h − u)² / 2K.
    {"ExpanderBelow", 3, -40, 2, 0, 80, -50, -10},
    {"ExpanderInsideTheKnee", 3, -40, 2, 6, 80, -41, -16.0 / 12.0},
    {"ExpanderLeavesWhatIsAbove", 3, -40, 2, 6, 80, -30, 0},
};

class DynamicsComputer : public ::testing::TestWithParam<ComputerCase> {};

TEST_P(DynamicsComputer, SettlesAtTheCurve) {
    const ComputerCase& row = GetParam();
    DynamicsArgs args;
    args.mode = row.mode;
    args.threshold_db = row.threshold_db;
    args.ratio = row.ratio;
    args.knee_db = row.knee_db;
    args.range_db = row.range_db;
    args.attack_ms = 0.01f;
    Dynamics dynamics = prepared(48000.0f, 1, args);
    const auto x = static_cast<float>(from_db(row.level_db));
    const auto out = run_periods(dynamics, {args.list()}, 1, 100, constant(x));
    EXPECT_NEAR(dynamics.gain[0], row.gain_db, 2e-4);
    EXPECT_NEAR(out[0].back(), x * from_db(row.gain_db), 3e-5 * x);
    EXPECT_NEAR(dynamics.meter(0), -row.gain_db, 2e-4);
}

INSTANTIATE_TEST_SUITE_P(All, DynamicsComputer, ::testing::ValuesIn(COMPUTER_CASES), loom::test::RowName{});

TEST(Dynamics, EffectiveRatio) {
    struct Row { float mode, ratio, effective; };
    const Row rows[] = {{0, 4, 4}, {1, 4, 1000}, {1, 100, 1000}, {2, 4, 20}, {2, 50, 50}, {3, 4, 4}, {3, 1, 1}};
    for (const Row& row : rows) {
        DynamicsArgs args;
        args.mode = row.mode;
        args.ratio = row.ratio;
        Dynamics dynamics = prepared(48000.0f, 1, args);
        dynamics.control(args.list());
        EXPECT_EQ(dynamics.mode, static_cast<std::uint32_t>(row.mode));
        EXPECT_EQ(dynamics.ratio, row.effective) << row.mode << " " << row.ratio;
    }
}

TEST(Dynamics, AutomaticMakeupOnlyForTheCompressor) {
    struct Row { float mode, threshold_db, ratio, makeup_db, auto_makeup, total; };
    const Row rows[] = {
        {0, -18, 4, 0, 1, 6.75f},   // (1 − 1/4) × −18 × −0.5
        {0, -18, 4, 0, 0, 0},
        {0, -18, 4, -3, 1, 3.75f},
        {0, -80, 100, 0, 1, 24},    // 39.6, held to 24
        {0, -80, 100, 6, 1, 30},
        {1, -18, 4, 0, 1, 0},       // the limiter gets none
        {2, -18, 4, 2, 1, 2},
        {3, -18, 4, 0, 1, 0},
    };
    for (const Row& row : rows) {
        DynamicsArgs args;
        args.mode = row.mode;
        args.threshold_db = row.threshold_db;
        args.ratio = row.ratio;
        args.makeup_db = row.makeup_db;
        args.auto_makeup = row.auto_makeup;
        Dynamics dynamics = prepared(48000.0f, 1, args);
        dynamics.control(args.list());
        EXPECT_NEAR(dynamics.makeup_db, row.total, 1e-6f) << row.mode << " " << row.threshold_db;
    }
    // With it, the 0 dB input of the documented compressor comes out at −13.5 + 6.75 dB.
    DynamicsArgs args;
    args.auto_makeup = 1.0f;
    Dynamics dynamics = prepared(48000.0f, 1, args);
    const auto out = run_periods(dynamics, {args.list()}, 1, 1500, constant(1.0f));
    EXPECT_NEAR(out[0].back(), from_db(-6.75), 5e-5);
    EXPECT_NEAR(dynamics.meter(0), 13.5f, SETTLED);
}

TEST(Dynamics, AttackAndReleaseAreTimeConstants) {
    DynamicsArgs args;
    args.knee_db = 0.0f; // target −13.5 dB for a 0 dB input
    Dynamics dynamics = prepared(48000.0f, 1, args);
    // After one attack time (10 ms, 480 samples) 1 − 1/e of the way.
    static_cast<void>(run_periods(dynamics, {args.list()}, 1, 15, constant(1.0f)));
    EXPECT_NEAR(dynamics.gain[0], -13.5 * (1.0 - std::exp(-1.0)), 1e-3);
    static_cast<void>(run_periods(dynamics, {args.list()}, 1, 1500, constant(1.0f)));
    EXPECT_NEAR(dynamics.gain[0], -13.5f, SETTLED);
    // After one release time (120 ms, 5760 samples) of silence, 1/e of the way back.
    static_cast<void>(run_periods(dynamics, {args.list()}, 1, 180, constant(0.0f)));
    EXPECT_NEAR(dynamics.gain[0], -13.5 * std::exp(-1.0), 2e-3);
    EXPECT_NEAR(dynamics.attack, std::exp(-1.0 / 480.0), 1e-7);
    EXPECT_NEAR(dynamics.release, std::exp(-1.0 / 5760.0), 1e-7);
}

TEST(Dynamics, LinkSharesTheLoudestLevel) {
    // Left at 0 dB, right at −40 dB (below the knee on its own).
    struct Row { float link; double left_db, right_db; };
    const double half_linked = 20.0 * std::log10(0.01 + 0.5 * (1.0 - 0.01)) + 18.0;
    const Row rows[] = {{0.0f, -13.5, 0.0}, {1.0f, -13.5, -13.5}, {0.5f, -13.5, -0.75 * half_linked}};
    for (const Row& row : rows) {
        DynamicsArgs args;
        args.link = row.link;
        Dynamics dynamics = prepared(48000.0f, 2, args);
        const auto out = run_periods(dynamics, {args.list()}, 2, 1500, [](std::size_t c, std::size_t) {
            return c == 0 ? 1.0f : 0.01f;
        });
        EXPECT_NEAR(dynamics.gain[0], row.left_db, SETTLED) << row.link;
        EXPECT_NEAR(dynamics.gain[1], row.right_db, SETTLED) << row.link;
        EXPECT_NEAR(out[1].back(), 0.01 * from_db(row.right_db), 1e-6) << row.link;
        // The meter shows the deepest reduction.
        EXPECT_NEAR(dynamics.meter(0), 13.5f, SETTLED) << row.link;
    }
}

TEST(Dynamics, DetectorHighPassAboveFifteenHertz) {
    struct Row { float hpf_hz; double coefficient; };
    const Row rows[] = {{10.0f, 0.0},
                        {15.0f, 0.0},
                        {100.0f, 1.0 - std::exp(-2.0 * std::numbers::pi * 100.0 / 48000.0)},
                        {1000.0f, 1.0 - std::exp(-2.0 * std::numbers::pi * 1000.0 / 48000.0)}};
    for (const Row& row : rows) {
        DynamicsArgs args;
        args.sidechain_hpf_hz = row.hpf_hz;
        args.release_ms = 1.0f;
        Dynamics dynamics = prepared(48000.0f, 1, args);
        dynamics.control(args.list());
        EXPECT_NEAR(dynamics.hpf, row.coefficient, 1e-7) << row.hpf_hz;
        // A constant input is all below the high-pass: filtered, the detector soon hears
        // nothing and the gain comes back.
        const auto out = run_periods(dynamics, {args.list()}, 1, 1500, constant(1.0f));
        if (row.coefficient == 0.0) {
            EXPECT_NEAR(dynamics.gain[0], -13.5f, SETTLED) << row.hpf_hz;
        } else {
            EXPECT_GT(dynamics.gain[0], -1e-4f) << row.hpf_hz;
            EXPECT_NEAR(out[0].back(), 1.0f, 1e-5f) << row.hpf_hz;
        }
    }
}

TEST(Dynamics, RmsDetectorAveragesTenMilliseconds) {
    DynamicsArgs args;
    args.detector = 1.0f;
    Dynamics dynamics = prepared(48000.0f, 1, args);
    static_cast<void>(run_periods(dynamics, {args.list()}, 1, 15, constant(1.0f)));
    // 480 samples of a unit square: 1 − 1/e of the way to 1.
    EXPECT_NEAR(dynamics.mean_square[0], 1.0 - std::exp(-1.0), 1e-4);
    EXPECT_NEAR(dynamics.level[0], std::sqrt(1.0 - std::exp(-1.0)), 1e-4);

    // A sine of amplitude √2 has an RMS of 1 (0 dB) and settles near −13.5 dB; its peaks at
    // +3 dB would have given more.
    Dynamics sine = prepared(48000.0f, 1, args);
    static_cast<void>(run_periods(sine, {args.list()}, 1, 1500, [](std::size_t, std::size_t n) {
        return static_cast<float>(std::sqrt(2.0) * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / 48000.0));
    }));
    EXPECT_NEAR(sine.gain[0], -13.5f, 0.1f);
}

TEST(Dynamics, SilenceBringsTheMemoriesToExactlyZero) {
    DynamicsArgs args;
    args.detector = 1.0f;
    args.release_ms = 10.0f;
    Dynamics dynamics = prepared(48000.0f, 2, args);
    static_cast<void>(run_periods(dynamics, {args.list()}, 2, 750, loom::test::signal));
    EXPECT_LT(dynamics.gain[0], -5.0f);
    const auto out = run_periods(dynamics, {args.list()}, 2, 3000, constant(0.0f));
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_EQ(dynamics.gain[c], 0.0f);
        EXPECT_EQ(dynamics.mean_square[c], 0.0f);
        EXPECT_EQ(out[c].back(), 0.0f);
    }
    EXPECT_EQ(dynamics.meter(0), 0.0f);
    EXPECT_FALSE(std::signbit(dynamics.meter(0)));
}

TEST(Dynamics, LatencyIsTheLookaheadInSamples) {
    struct Row { float rate, lookahead_ms; std::uint32_t samples; };
    const Row rows[] = {{48000.0f, 5.0f, 240},  {48000.0f, 0.0f, 0},    {44100.0f, 10.0f, 441},
                        {96000.0f, 2.5f, 240},  {48000.0f, 0.02f, 1},   {48000.0f, 0.01f, 0}};
    for (const Row& row : rows) {
        DynamicsArgs args;
        args.lookahead_ms = row.lookahead_ms;
        Dynamics dynamics;
        dynamics.configure(args.list());
        // The lookahead takes effect at prepare.
        EXPECT_EQ(dynamics.latency(), 0u);
        dynamics.prepare(row.rate, 2);
        EXPECT_EQ(dynamics.latency(), row.samples) << row.rate << " " << row.lookahead_ms;
        ASSERT_EQ(dynamics.lines.size(), 2u);
        EXPECT_EQ(dynamics.lines[1].size(), std::max(row.samples, 1u));
    }
    Dynamics dynamics = prepared(48000.0f, 1, DynamicsArgs{.lookahead_ms = 5.0f});
    dynamics.configure(DynamicsArgs{.lookahead_ms = 10.0f}.list());
    EXPECT_EQ(dynamics.latency(), 240u);
    dynamics.prepare(48000.0f, 1);
    EXPECT_EQ(dynamics.latency(), 480u);
}

// A positive input that never comes near 0, so gains can be recovered by division.
float swell(std::size_t channel, std::size_t index) {
    return 0.5f + 0.45f * std::sin(0.003f * static_cast<float>(index) + static_cast<float>(channel));
}

TEST(Dynamics, LookaheadDelaysTheAudioButNotTheDetector) {
    DynamicsArgs plain;
    plain.threshold_db = -12.0f;
    plain.attack_ms = 1.0f;
    plain.release_ms = 30.0f;
    DynamicsArgs ahead = plain;
    ahead.lookahead_ms = 5.0f;
    Dynamics now = prepared(48000.0f, 2, plain);
    Dynamics late = prepared(48000.0f, 2, ahead);
    const auto direct = run_periods(now, {plain.list()}, 2, 400, swell);
    const auto delayed = run_periods(late, {ahead.list()}, 2, 400, swell);
    double deepest = 0.0;
    for (std::size_t c = 0; c < 2; ++c) {
        for (std::size_t n = 0; n < 240; ++n) ASSERT_EQ(delayed[c][n], 0.0f) << n;
        for (std::size_t n = 240; n < direct[c].size(); ++n) {
            // Both apply the gain of sample n, worked out from the undelayed input.
            const double gain = direct[c][n] / swell(c, n);
            deepest = std::min(deepest, gain);
            ASSERT_NEAR(delayed[c][n], swell(c, n - 240) * gain, 1e-6) << c << " " << n;
        }
    }
    EXPECT_LT(deepest, 0.5); // the gain did move
}

TEST(Dynamics, LookaheadWithoutReductionIsAPureDelay) {
    DynamicsArgs args;
    args.threshold_db = 0.0f;
    args.knee_db = 0.0f;
    args.lookahead_ms = 5.0f;
    Dynamics dynamics = prepared(48000.0f, 2, args);
    const auto out = run_periods(dynamics, {args.list()}, 2, 40, swell, {13, 19});
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t n = 0; n < out[c].size(); ++n)
            ASSERT_EQ(out[c][n], n < 240 ? 0.0f : swell(c, n - 240)) << c << " " << n;
}

TEST(Dynamics, FrameWithoutChannelsClearsTheMeterAndMovesTheRing) {
    DynamicsArgs args;
    args.lookahead_ms = 5.0f;
    Dynamics dynamics = prepared(48000.0f, 2, args);
    static_cast<void>(run_periods(dynamics, {args.list()}, 2, 3, constant(1.0f), {10, 22}));
    ASSERT_GT(dynamics.meter(0), 0.0f);
    EXPECT_EQ(dynamics.write_pos, 96u);
    const float meter = dynamics.meter(0);
    // No samples: nothing changes.
    Frame empty = loom::test::signal_frame(2, 0);
    dynamics.process(empty, 0);
    EXPECT_EQ(dynamics.meter(0), meter);
    EXPECT_EQ(dynamics.write_pos, 96u);
    Frame none;
    none.len = 30;
    dynamics.process(none, 2);
    EXPECT_EQ(dynamics.meter(0), 0.0f);
    EXPECT_EQ(dynamics.write_pos, 126u);
    for (int i = 0; i < 4; ++i) dynamics.process(none, 2);
    EXPECT_EQ(dynamics.write_pos, (126u + 120u) % 240u);
}

TEST(Dynamics, ChannelsBeyondThePreparedOnesPassUnchanged) {
    const DynamicsArgs args;
    Dynamics dynamics = prepared(48000.0f, 1, args);
    dynamics.control(args.list());
    Frame frame = loom::test::signal_frame(3, 32);
    dynamics.process(frame, 0);
    for (std::uint32_t j = 0; j < 32; ++j) {
        EXPECT_EQ(frame.channels[1][j], loom::test::signal(1, j));
        EXPECT_EQ(frame.channels[2][j], loom::test::signal(2, j));
    }
}

TEST(Dynamics, MadeAndPreparedStates) {
    const std::unique_ptr<loom::Block> block = Dynamics::make();
    const Dynamics& made = static_cast<const Dynamics&>(*block);
    EXPECT_TRUE(made.gain.empty());
    EXPECT_TRUE(made.lines.empty());
    EXPECT_EQ(made.lookahead_ms, 0.0f);
    EXPECT_FALSE(made.rms);
    EXPECT_EQ(block->latency(), 0u);
    EXPECT_EQ(block->meter(0), 0.0f);
    EXPECT_EQ(block->tail(DynamicsArgs{}.list(), 48000.0f), 0u);

    DynamicsArgs args;
    args.detector = 1.0f;
    args.sidechain_hpf_hz = 200.0f;
    args.lookahead_ms = 1.0f;
    Dynamics dynamics = prepared(48000.0f, 2, args);
    static_cast<void>(run_periods(dynamics, {args.list()}, 2, 7, loom::test::signal, {5, 27}));
    dynamics.prepare(44100.0f, 3);
    EXPECT_EQ(dynamics.gain, std::vector<float>(3, 0.0f));
    EXPECT_EQ(dynamics.mean_square, std::vector<float>(3, 0.0f));
    EXPECT_EQ(dynamics.detector_hp, std::vector<float>(3, 0.0f));
    EXPECT_EQ(dynamics.level, std::vector<float>(3, 0.0f));
    EXPECT_EQ(dynamics.lines, std::vector<std::vector<float>>(3, std::vector<float>(44, 0.0f)));
    EXPECT_EQ(dynamics.lookahead, 44u);
    EXPECT_EQ(dynamics.write_pos, 0u);
    EXPECT_EQ(dynamics.sample_rate, 44100.0f);
    EXPECT_EQ(dynamics.ratio, 0.0f);
    EXPECT_EQ(dynamics.hpf, 0.0f);
    EXPECT_EQ(dynamics.gain_reduction_db, 0.0f);
    EXPECT_FALSE(dynamics.rms);
}

// Argument lists that change mode, detector, filter and link from period to period.
std::vector<std::vector<float>> changing_args() {
    DynamicsArgs a;
    a.threshold_db = -24.0f;
    a.attack_ms = 0.5f;
    a.release_ms = 20.0f;
    a.lookahead_ms = 1.0f;
    DynamicsArgs b = a;
    b.detector = 1.0f;
    b.sidechain_hpf_hz = 300.0f;
    b.link = 0.3f;
    b.auto_makeup = 1.0f;
    DynamicsArgs c = a;
    c.mode = 2.0f;
    c.threshold_db = -6.0f;
    c.knee_db = 12.0f;
    c.range_db = 40.0f;
    DynamicsArgs d = c;
    d.mode = 1.0f;
    d.link = 0.0f;
    std::vector<std::vector<float>> args;
    const DynamicsArgs* cycle[] = {&a, &b, &c, &d};
    for (int p = 0; p < 40; ++p) args.push_back(cycle[(p / 3) % 4]->list());
    return args;
}

TEST(Dynamics, PeriodSplitOverSeveralCallsEqualsOneCall) {
    const auto args = changing_args();
    Dynamics whole = prepared(48000.0f, 2, DynamicsArgs{.lookahead_ms = 1.0f});
    const auto expected = run_periods(whole, args, 2, args.size());
    for (const auto& split : loom::test::SPLITS) {
        Dynamics pieces = prepared(48000.0f, 2, DynamicsArgs{.lookahead_ms = 1.0f});
        EXPECT_EQ(run_periods(pieces, args, 2, args.size(), loom::test::signal, split), expected);
    }
}

TEST(Dynamics, PrepareAgainEqualsFresh) {
    const auto args = changing_args();
    Dynamics fresh = prepared(48000.0f, 2, DynamicsArgs{.lookahead_ms = 1.0f});
    Dynamics reused = prepared(48000.0f, 2, DynamicsArgs{.lookahead_ms = 1.0f});
    static_cast<void>(run_periods(reused, args, 2, 23, loom::test::signal, {13, 19}));
    reused.prepare(48000.0f, 2);
    EXPECT_EQ(run_periods(reused, args, 2, args.size()), run_periods(fresh, args, 2, args.size()));
}

TEST(Dynamics, ControlProcessAndMeterDoNotAllocate) {
    const auto args = changing_args();
    Dynamics dynamics = prepared(48000.0f, 2, DynamicsArgs{.lookahead_ms = 1.0f});
    Frame frame = loom::test::signal_frame(2, 32);
    Frame none;
    loom::test::AllocationCounter counter;
    for (const auto& list : args) {
        dynamics.control(list);
        frame.len = 9;
        dynamics.process(frame, 0);
        frame.len = 23;
        dynamics.process(frame, 9);
        none.len = 4;
        dynamics.process(none, 0);
        static_cast<void>(dynamics.meter(0));
        static_cast<void>(dynamics.latency());
    }
    EXPECT_EQ(counter.count(), 0u);
}

TEST(DynamicsDeathTest, TooFewArgumentValuesAreFatal) {
    Dynamics dynamics;
    const std::vector<float> twelve(12, 1.0f);
    EXPECT_DEATH(dynamics.configure(twelve), "dynamics: configure needs 13 argument values");
    dynamics.prepare(48000.0f, 1);
    EXPECT_DEATH(dynamics.control(twelve), "dynamics: control needs 13 argument values");
}

} // namespace
