#include "blocks/delay.hpp"

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

using loom::Delay;
using loom::Frame;
using loom::test::run_periods;

// The seven arguments, at their catalogue defaults unless a test says otherwise.
struct DelayArgs {
    float time_ms = 250.0f;
    float feedback = 0.35f;
    float damp_hz = 8000.0f;
    float mode = 0.0f;
    float mod_depth_ms = 0.0f;
    float mod_rate_hz = 0.5f;
    float max_ms = 2000.0f;

    std::vector<float> list() const {
        return {time_ms, feedback, damp_hz, mode, mod_depth_ms, mod_rate_hz, max_ms};
    }
};

// A delay configured with `args` and prepared; no control has run yet.
Delay prepared(float rate, std::uint32_t channels, const DelayArgs& args) {
    Delay delay;
    delay.configure(args.list());
    delay.prepare(rate, channels);
    return delay;
}

// `periods` periods of `input` through a fresh delay controlled with `args` every period.
std::vector<std::vector<float>> run(float rate, std::size_t channels, const DelayArgs& args, std::size_t periods,
                                    const loom::test::Input& input) {
    Delay delay = prepared(rate, static_cast<std::uint32_t>(channels), args);
    return run_periods(delay, {args.list()}, channels, periods, input);
}

float impulse_left(std::size_t channel, std::size_t index) { return channel == 0 && index == 0 ? 1.0f : 0.0f; }

// Every channel a ramp that rises by one per sample: a Catmull-Rom read of it at any delay d
// is n − d, so the output shows the delay the block read at.
float ramp(std::size_t, std::size_t index) { return static_cast<float>(index); }

// The one-pole coefficient of the feedback low-pass: 1 − e^(−2π fc / fs).
double damping(double fc, double fs) { return 1.0 - std::exp(-2.0 * std::numbers::pi * fc / fs); }

TEST(Delay, RingsAreSizedFromMaxMsAtPrepare) {
    struct Row { float rate, max_ms; std::size_t size; };
    const Row rows[] = {{48000.0f, 2000.0f, 96024},
                        {44100.0f, 10.0f, 465},
                        {8000.0f, 4000.0f, 32024},
                        {96000.0f, 4000.0f, 384024}};
    for (const Row& row : rows) {
        DelayArgs args;
        args.max_ms = row.max_ms;
        const Delay delay = prepared(row.rate, 3, args);
        ASSERT_EQ(delay.lines.size(), 3u);
        for (const Delay::Line& line : delay.lines) {
            EXPECT_EQ(line.buffer.size(), row.size) << row.rate << " " << row.max_ms;
            EXPECT_EQ(line.write_pos, 0u);
            EXPECT_EQ(line.damped, 0.0f);
        }
    }
    // Without a configure the made `max_ms` of 0 leaves the 24 spare samples.
    Delay bare;
    bare.prepare(48000.0f, 1);
    EXPECT_EQ(bare.lines[0].buffer.size(), 24u);
}

TEST(Delay, PrepareClearsEverythingButMaxMs) {
    DelayArgs args;
    args.max_ms = 100.0f;
    args.mode = 1.0f;
    args.mod_depth_ms = 3.0f;
    Delay delay = prepared(48000.0f, 2, args);
    static_cast<void>(run_periods(delay, {args.list()}, 2, 10));
    delay.prepare(44100.0f, 1);
    EXPECT_EQ(delay.max_ms, 100.0f);
    EXPECT_EQ(delay.sample_rate, 44100.0f);
    ASSERT_EQ(delay.lines.size(), 1u);
    EXPECT_EQ(delay.lines[0].buffer, std::vector<float>(4434, 0.0f));
    EXPECT_EQ(delay.lines[0].write_pos, 0u);
    EXPECT_EQ(delay.lines[0].damped, 0.0f);
    EXPECT_EQ(delay.time_from, 0.0f);
    EXPECT_EQ(delay.time_to, 0.0f);
    EXPECT_EQ(delay.phase_step, 0.0);
    EXPECT_EQ(delay.phase, 0.0);
    EXPECT_EQ(delay.feedback, 0.0f);
    EXPECT_EQ(delay.damp, 0.0f);
    EXPECT_EQ(delay.depth, 0.0f);
    EXPECT_FALSE(delay.pingpong);
    EXPECT_FALSE(delay.started);
}

TEST(Delay, MadeStateIsEmpty) {
    const std::unique_ptr<loom::Block> block = Delay::make();
    const Delay& delay = static_cast<const Delay&>(*block);
    EXPECT_TRUE(delay.lines.empty());
    EXPECT_EQ(delay.max_ms, 0.0f);
    EXPECT_EQ(delay.sample_rate, 0.0f);
    EXPECT_FALSE(delay.started);
    EXPECT_EQ(block->latency(), 0u);
    EXPECT_EQ(block->meter(0), 0.0f);
}

TEST(Delay, ImpulseComesOutOnceAfterTheDelayTime) {
    DelayArgs args;
    args.time_ms = 100.0f; // 4800 samples at 48 kHz
    args.feedback = 0.0f;
    const auto out = run(48000.0f, 2, args, 450, impulse_left);
    for (std::size_t n = 0; n < out[0].size(); ++n) {
        ASSERT_EQ(out[0][n], n == 4800 ? 1.0f : 0.0f) << n;
        ASSERT_EQ(out[1][n], 0.0f) << n;
    }
}

// The Catmull-Rom weight of the sample `age` samples back in a read at delay d: with
// i = floor(d) and t = d − i, the samples i − 1, i, i + 1 and i + 2 back are weighted
// (−t³ + 2t² − t)/2, (3t³ − 5t² + 2)/2, (−3t³ + 4t² + t)/2 and (t³ − t²)/2.
double read_weight(std::size_t age, double d) {
    const double i = std::floor(d);
    const double t = d - i;
    const double offset = static_cast<double>(age) - i;
    if (offset == -1.0) return (-t * t * t + 2 * t * t - t) / 2;
    if (offset == 0.0) return (3 * t * t * t - 5 * t * t + 2) / 2;
    if (offset == 1.0) return (-3 * t * t * t + 4 * t * t + t) / 2;
    if (offset == 2.0) return (t * t * t - t * t) / 2;
    return 0.0;
}

TEST(Delay, DelayIsLimitedByMaxMs) {
    DelayArgs args;
    args.time_ms = 4000.0f;
    args.max_ms = 2000.0f;
    args.feedback = 0.0f;
    const auto out = run(48000.0f, 1, args, 96064 / 32, impulse_left);
    // 2000 ms: fs × 2000 × 0.001 in single precision is 96000 and a fraction of a 128th.
    const float d = 48000.0f * 2000.0f * 0.001f;
    EXPECT_NEAR(d, 96000.0f, 0.01f);
    for (std::size_t n = 0; n < out[0].size(); ++n) ASSERT_NEAR(out[0][n], read_weight(n, d), 1e-6) << n;
    EXPECT_NEAR(out[0][96000], 1.0f, 1e-3f);
}

TEST(Delay, ShortestDelayReadsTwoSamplesBack) {
    // 0.1 ms at 10 kHz is one sample, held to two.
    DelayArgs args;
    args.time_ms = 0.1f;
    args.feedback = 0.0f;
    const auto out = run(10000.0f, 1, args, 2, impulse_left);
    for (std::size_t n = 0; n < out[0].size(); ++n) EXPECT_EQ(out[0][n], n == 2 ? 1.0f : 0.0f) << n;
}

// A 24-sample line whose sample a samples back holds f(a), written through `write`.
Delay::Line line_of(double (*f)(double)) {
    Delay::Line line;
    line.buffer.assign(24, 0.0f);
    for (int age = 40; age >= 1; --age) line.write(static_cast<float>(f(age)));
    return line;
}

TEST(DelayLine, ReadsQuadraticsExactly) {
    // The Catmull-Rom cubic reproduces every polynomial up to degree two.
    const auto f = [](double age) { return 0.5 + 0.25 * age - 0.01 * age * age; };
    const Delay::Line line = line_of(f);
    for (float d : {2.0f, 2.25f, 3.5f, 7.75f, 12.125f, 19.5f, 20.0f})
        EXPECT_NEAR(line.read(d), f(d), 2e-6) << d;
    // Held to 2 .. N − 4 = 20.
    EXPECT_EQ(line.read(1.0f), line.read(2.0f));
    EXPECT_EQ(line.read(0.0f), static_cast<float>(f(2)));
    EXPECT_EQ(line.read(20.5f), static_cast<float>(f(20)));
    EXPECT_EQ(line.read(1000.0f), static_cast<float>(f(20)));
}

TEST(DelayLine, WeightsTheFourNeighbours) {
    const auto f = [](double age) { return std::sin(1.7 * age) + 0.1 * age; };
    const Delay::Line line = line_of(f);
    for (int i : {2, 5, 19}) {
        // Whole delays are the stored samples.
        EXPECT_EQ(line.read(static_cast<float>(i)), static_cast<float>(f(i))) << i;
        for (double t : {0.25, 0.5, 0.75}) {
            // The Catmull-Rom basis: the sample one newer, the sample i back, and two older.
            const double w_newer = (-t * t * t + 2 * t * t - t) / 2;
            const double w_0 = (3 * t * t * t - 5 * t * t + 2) / 2;
            const double w_1 = (-3 * t * t * t + 4 * t * t + t) / 2;
            const double w_2 = (t * t * t - t * t) / 2;
            const auto y = [&](int age) { return static_cast<double>(static_cast<float>(f(age))); };
            const double expected = w_newer * y(i - 1) + w_0 * y(i) + w_1 * y(i + 1) + w_2 * y(i + 2);
            EXPECT_NEAR(line.read(static_cast<float>(i + t)), expected, 1e-6) << i << " + " << t;
        }
    }
    // 3.5 samples lies half-way between the samples 3 and 4 back: (−y₂ + 9y₃ + 9y₄ − y₅) / 16.
    const auto y = [&](int age) { return static_cast<double>(static_cast<float>(f(age))); };
    EXPECT_NEAR(line.read(3.5f), (-y(2) + 9 * y(3) + 9 * y(4) - y(5)) / 16, 1e-6);
}

TEST(Delay, FeedbackRepeatsAreScaledAndDarkened) {
    DelayArgs args;
    args.time_ms = 50.0f; // 2400 samples
    args.feedback = 0.5f;
    args.damp_hz = 2000.0f;
    ASSERT_EQ(48000.0f * 50.0f * 0.001f, 2400.0f);
    const auto out = run(48000.0f, 1, args, 450, impulse_left);
    const double a = damping(2000.0, 48000.0);
    // First repeat: the impulse itself. Second: the impulse through the low-pass, times 0.5.
    for (std::size_t n = 0; n < 4800; ++n) ASSERT_EQ(out[0][n], n == 2400 ? 1.0f : 0.0f) << n;
    for (std::size_t m = 0; m < 2400; ++m)
        ASSERT_NEAR(out[0][4800 + m], 0.5 * a * std::pow(1.0 - a, static_cast<double>(m)), 1e-7) << m;
    // Each repeat carries half the one before (the low-pass passes DC whole), later and
    // smeared: its first sample drops by a further factor of a.
    double expected = 1.0;
    for (std::size_t repeat = 1; repeat <= 5; ++repeat) {
        double sum = 0.0;
        for (std::size_t n = 2400 * repeat; n < 2400 * (repeat + 1); ++n) sum += out[0][n];
        EXPECT_NEAR(sum, expected, 1e-5) << repeat;
        expected *= 0.5;
    }
    EXPECT_NEAR(out[0][7200], 0.25 * a * a, 1e-7);
}

TEST(Delay, TimeChangeGlidesAcrossOnePeriod) {
    DelayArgs near_args;
    near_args.time_ms = 100.0f;
    DelayArgs far_args;
    far_args.time_ms = 200.0f;
    near_args.feedback = far_args.feedback = 0.0f;
    // 100 ms and 200 ms are whole sample counts, so every read below is of a stored sample.
    ASSERT_EQ(48000.0f * 100.0f * 0.001f, 4800.0f);
    ASSERT_EQ(48000.0f * 200.0f * 0.001f, 9600.0f);
    Delay delay = prepared(48000.0f, 1, near_args);
    std::vector<std::vector<float>> args(400, near_args.list());
    args.push_back(far_args.list());
    const auto out = run_periods(delay, args, 1, 403, ramp);
    for (std::size_t n = 4800; n < 12800; ++n) ASSERT_EQ(out[0][n], static_cast<float>(n) - 4800.0f) << n;
    for (std::size_t j = 0; j < 32; ++j) {
        // From 4800 to 9600 samples: 150 further per sample, 9600 at the period's last.
        const float delay_samples = 4800.0f + 150.0f * static_cast<float>(j + 1);
        EXPECT_EQ(out[0][12800 + j], static_cast<float>(12800 + j) - delay_samples) << j;
    }
    for (std::size_t n = 12832; n < out[0].size(); ++n) EXPECT_EQ(out[0][n], static_cast<float>(n) - 9600.0f) << n;
}

TEST(Delay, FirstControlAfterPrepareSetsTheDelayWithoutGlide) {
    DelayArgs args;
    args.time_ms = 100.0f;
    Delay delay = prepared(48000.0f, 1, args);
    delay.control(args.list());
    EXPECT_EQ(delay.time_from, 4800.0f);
    EXPECT_EQ(delay.time_to, 4800.0f);
    EXPECT_TRUE(delay.started);
    args.time_ms = 200.0f;
    delay.control(args.list());
    EXPECT_EQ(delay.time_from, 4800.0f);
    EXPECT_EQ(delay.time_to, 9600.0f);
    delay.prepare(48000.0f, 1);
    delay.control(args.list());
    EXPECT_EQ(delay.time_from, 9600.0f);
    EXPECT_EQ(delay.time_to, 9600.0f);
}

TEST(Delay, ControlSetsTheCoefficients) {
    DelayArgs args;
    args.feedback = 0.6f;
    args.mod_depth_ms = 5.0f;
    args.mod_rate_hz = 2.0f;
    for (float damp_hz : {200.0f, 8000.0f, 20000.0f}) {
        args.damp_hz = damp_hz;
        Delay delay = prepared(8000.0f, 2, args);
        delay.control(args.list());
        // The corner is held to 0.49 × fs: 3920 Hz at 8 kHz.
        const double fc = std::min(static_cast<double>(damp_hz), 3920.0);
        EXPECT_NEAR(delay.damp, damping(fc, 8000.0), 1e-6) << damp_hz;
        EXPECT_EQ(delay.feedback, 0.6f);
        EXPECT_FLOAT_EQ(delay.depth, 40.0f);
        EXPECT_EQ(delay.phase_step, 2.0 / 8000.0);
    }
}

TEST(Delay, PingPongAlternatesSides) {
    DelayArgs args;
    args.time_ms = 50.0f; // 2400 samples
    args.feedback = 0.5f;
    args.damp_hz = 20000.0f;
    args.mode = 1.0f;
    const auto out = run(48000.0f, 2, args, 675, impulse_left);
    const double a = damping(20000.0, 48000.0);
    // The left input enters as half the mono sum; repeat k lies in [2400k, 2400(k + 1)), on
    // the left for odd k and on the right for even k, each carrying half the one before.
    double expected = 0.5;
    for (std::size_t repeat = 1; repeat <= 8; ++repeat) {
        const std::vector<float>& on = out[repeat % 2 == 1 ? 0 : 1];
        const std::vector<float>& off = out[repeat % 2 == 1 ? 1 : 0];
        double sum = 0.0;
        for (std::size_t n = 2400 * repeat; n < 2400 * (repeat + 1); ++n) {
            sum += on[n];
            ASSERT_EQ(off[n], 0.0f) << repeat << " " << n;
        }
        EXPECT_NEAR(sum, expected, 1e-6) << repeat;
        expected *= 0.5;
    }
    for (std::size_t n = 0; n < 2400; ++n) ASSERT_TRUE(out[0][n] == 0.0f && out[1][n] == 0.0f) << n;
    // Each crossing goes through one more low-pass.
    EXPECT_EQ(out[0][2400], 0.5f);
    EXPECT_NEAR(out[1][4800], 0.25 * a, 1e-7);
    EXPECT_NEAR(out[0][7200], 0.125 * a * a, 1e-7);
}

TEST(Delay, PingPongTakesTheRightInputIntoTheLeftLine) {
    DelayArgs args;
    args.time_ms = 50.0f;
    args.feedback = 0.0f;
    args.mode = 1.0f;
    const auto out = run(48000.0f, 2, args, 160, [](std::size_t c, std::size_t n) {
        return c == 1 && n == 0 ? 1.0f : 0.0f;
    });
    for (std::size_t n = 0; n < out[0].size(); ++n) {
        ASSERT_EQ(out[0][n], n == 2400 ? 0.5f : 0.0f) << n;
        ASSERT_EQ(out[1][n], 0.0f) << n;
    }
}

TEST(Delay, PingPongNeedsExactlyTwoChannels) {
    DelayArgs normal;
    normal.time_ms = 3.0f;
    normal.feedback = 0.7f;
    normal.mod_depth_ms = 1.0f;
    DelayArgs pingpong = normal;
    pingpong.mode = 1.0f;
    for (std::size_t channels : {1u, 3u}) {
        Delay delay = prepared(48000.0f, static_cast<std::uint32_t>(channels), pingpong);
        delay.control(pingpong.list());
        EXPECT_FALSE(delay.pingpong);
        EXPECT_EQ(run(48000.0f, channels, pingpong, 30, loom::test::signal),
                  run(48000.0f, channels, normal, 30, loom::test::signal))
            << channels;
    }
    Delay stereo = prepared(48000.0f, 2, pingpong);
    stereo.control(pingpong.list());
    EXPECT_TRUE(stereo.pingpong);
}

TEST(Delay, NormalModeKeepsChannelsApart) {
    DelayArgs args;
    args.time_ms = 5.0f;
    args.feedback = 0.9f;
    const auto out = run(48000.0f, 3, args, 60, impulse_left);
    for (std::size_t n = 0; n < out[0].size(); ++n) ASSERT_TRUE(out[1][n] == 0.0f && out[2][n] == 0.0f) << n;
    EXPECT_NEAR(out[0][240], 1.0f, 1e-6f);
    EXPECT_NEAR(out[0][480], 0.9 * damping(8000.0, 48000.0), 1e-5);
}

TEST(Delay, LfoSwingsEachChannelAQuarterCycleOn) {
    DelayArgs args;
    args.time_ms = 10.0f;     // 480 samples
    args.feedback = 0.0f;
    args.mod_depth_ms = 2.0f; // 96 samples
    args.mod_rate_hz = 5.0f;  // 9600 samples a cycle
    const auto out = run(48000.0f, 2, args, 700, ramp);
    for (std::size_t n = 1000; n < out[0].size(); ++n) {
        for (std::size_t k = 0; k < 2; ++k) {
            const double phase = 5.0 * static_cast<double>(n) / 48000.0 + 0.25 * static_cast<double>(k);
            const double expected = 480.0 + 96.0 * std::sin(2.0 * std::numbers::pi * phase);
            ASSERT_NEAR(static_cast<double>(n) - out[k][n], expected, 0.02) << n << " " << k;
        }
    }
}

TEST(Delay, NoDepthMeansNoLfo) {
    DelayArgs slow;
    slow.time_ms = 2.5f;
    slow.mod_rate_hz = 0.02f;
    DelayArgs fast = slow;
    fast.mod_rate_hz = 20.0f;
    EXPECT_EQ(run(48000.0f, 2, slow, 40, loom::test::signal), run(48000.0f, 2, fast, 40, loom::test::signal));
}

TEST(Delay, LfoPhaseRunsOnAcrossFrames) {
    DelayArgs args;
    args.mod_depth_ms = 1.0f;
    args.mod_rate_hz = 3.0f;
    Delay delay = prepared(48000.0f, 1, args);
    static_cast<void>(run_periods(delay, {args.list()}, 1, 1001, loom::test::signal, {5, 27}));
    const double cycles = 3.0 * 32032.0 / 48000.0;
    EXPECT_NEAR(delay.phase, cycles - std::floor(cycles), 1e-12);
    EXPECT_GE(delay.phase, 0.0);
    EXPECT_LT(delay.phase, 1.0);
}

struct TailCase {
    const char* name;
    float time_ms, feedback, mod_depth_ms, max_ms, rate;
    std::uint32_t samples;
};

const TailCase TAIL_CASES[] = {
    // One repeat of 250 ms plus the 5 ms swing.
    {"NoFeedbackIsOneDelayPlusDepth", 250.0f, 0.0f, 5.0f, 2000.0f, 48000.0f, 12000 + 240},
    {"OnePercentIsOneRepeat", 100.0f, 0.01f, 0.0f, 2000.0f, 48000.0f, 4800},
    // ceil(6.9077554 / 3.912023) = ceil(1.77)
    {"TwoPercentIsTwoRepeats", 100.0f, 0.02f, 0.0f, 2000.0f, 48000.0f, 2 * 4800},
    // ceil(6.9077554 / 0.6931472) = ceil(9.97)
    {"HalfIsTenRepeats", 100.0f, 0.5f, 0.0f, 2000.0f, 48000.0f, 10 * 4800},
    // ceil(6.9077554 / 1.0498221) = ceil(6.58)
    {"DefaultFeedbackIsSevenRepeats", 250.0f, 0.35f, 0.0f, 2000.0f, 44100.0f, 7 * 11025},
    // ceil gives 227, held to 60.
    {"HighFeedbackIsHeldToSixty", 100.0f, 0.97f, 0.0f, 2000.0f, 48000.0f, 60 * 4800},
    {"TimeIsLimitedByMaxMs", 4000.0f, 0.0f, 0.0f, 2000.0f, 48000.0f, 96000},
    {"DepthAddsOnce", 100.0f, 0.5f, 20.0f, 2000.0f, 48000.0f, 10 * 4800 + 960},
};

class DelayTail : public ::testing::TestWithParam<TailCase> {};

TEST_P(DelayTail, CountsTheRepeatsUntilSixtyDecibelsDown) {
    const TailCase& row = GetParam();
    DelayArgs args;
    args.time_ms = row.time_ms;
    args.feedback = row.feedback;
    args.mod_depth_ms = row.mod_depth_ms;
    args.max_ms = row.max_ms;
    Delay delay;
    delay.configure(args.list());
    // Asked any time after configure, prepared or not.
    EXPECT_EQ(delay.tail(args.list(), row.rate), row.samples);
    delay.prepare(row.rate, 2);
    EXPECT_EQ(delay.tail(args.list(), row.rate), row.samples);
}

INSTANTIATE_TEST_SUITE_P(All, DelayTail, ::testing::ValuesIn(TAIL_CASES), loom::test::RowName{});

TEST(Delay, TinyFeedbackMemoryBecomesExactlyZero) {
    DelayArgs args;
    Delay delay = prepared(48000.0f, 2, args);
    delay.control(args.list());
    delay.lines[0].damped = 9e-21f;
    delay.lines[1].damped = -2e-20f;
    Frame empty(2);
    delay.process(empty, 0);
    EXPECT_EQ(delay.lines[0].damped, 0.0f);
    EXPECT_EQ(delay.lines[1].damped, -2e-20f);
}

TEST(Delay, ChannelsWithoutALinePassUnchanged) {
    DelayArgs args;
    Delay delay = prepared(48000.0f, 1, args);
    delay.control(args.list());
    Frame frame = loom::test::signal_frame(3, 32);
    delay.process(frame, 0);
    for (std::uint32_t j = 0; j < 32; ++j) {
        EXPECT_EQ(frame.channels[0][j], 0.0f);
        EXPECT_EQ(frame.channels[1][j], loom::test::signal(1, j));
        EXPECT_EQ(frame.channels[2][j], loom::test::signal(2, j));
    }
}

// Two argument lists that differ in every gliding or settable value, with the LFO running.
std::vector<std::vector<float>> changing_args(float mode) {
    DelayArgs first;
    first.time_ms = 3.0f;
    first.feedback = 0.6f;
    first.damp_hz = 3000.0f;
    first.mode = mode;
    first.mod_depth_ms = 1.0f;
    first.mod_rate_hz = 3.0f;
    first.max_ms = 10.0f;
    DelayArgs second = first;
    second.time_ms = 7.5f;
    second.feedback = 0.2f;
    second.damp_hz = 12000.0f;
    second.mod_depth_ms = 0.5f;
    second.mod_rate_hz = 11.0f;
    std::vector<std::vector<float>> args;
    for (int p = 0; p < 40; ++p) args.push_back(p % 3 == 1 ? second.list() : first.list());
    return args;
}

TEST(Delay, PeriodSplitOverSeveralCallsEqualsOneCall) {
    for (float mode : {0.0f, 1.0f}) {
        const auto args = changing_args(mode);
        Delay whole = prepared(48000.0f, 2, DelayArgs{.max_ms = 10.0f});
        const auto expected = run_periods(whole, args, 2, args.size());
        for (const auto& split : loom::test::SPLITS) {
            Delay pieces = prepared(48000.0f, 2, DelayArgs{.max_ms = 10.0f});
            EXPECT_EQ(run_periods(pieces, args, 2, args.size(), loom::test::signal, split), expected) << mode;
        }
    }
}

TEST(Delay, PrepareAgainEqualsFresh) {
    const auto args = changing_args(1.0f);
    Delay fresh = prepared(48000.0f, 2, DelayArgs{.max_ms = 10.0f});
    Delay reused = prepared(48000.0f, 2, DelayArgs{.max_ms = 10.0f});
    static_cast<void>(run_periods(reused, args, 2, 17, loom::test::signal, {13, 19}));
    reused.prepare(48000.0f, 2);
    EXPECT_EQ(run_periods(reused, args, 2, args.size()), run_periods(fresh, args, 2, args.size()));
}

TEST(Delay, ControlProcessAndTailDoNotAllocate) {
    for (float mode : {0.0f, 1.0f}) {
        const auto args = changing_args(mode);
        Delay delay = prepared(48000.0f, 2, DelayArgs{.max_ms = 10.0f});
        Frame frame = loom::test::signal_frame(2, 32);
        loom::test::AllocationCounter counter;
        for (const auto& list : args) {
            delay.control(list);
            frame.len = 11;
            delay.process(frame, 0);
            frame.len = 21;
            delay.process(frame, 11);
            static_cast<void>(delay.tail(list, 48000.0f));
        }
        EXPECT_EQ(counter.count(), 0u) << mode;
    }
}

TEST(DelayDeathTest, TooFewArgumentValuesAreFatal) {
    Delay delay;
    const std::vector<float> six(6, 1.0f);
    EXPECT_DEATH(delay.configure(six), "delay: configure needs 7 argument values");
    delay.prepare(48000.0f, 1);
    EXPECT_DEATH(delay.control(six), "delay: control needs 7 argument values");
    EXPECT_DEATH(static_cast<void>(delay.tail(six, 48000.0f)), "delay: tail needs 7 argument values");
}

} // namespace
