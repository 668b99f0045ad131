#include "blocks/harmonic_eq.hpp"

#include "frames.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"
#include "response.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using loom::Coefficients;
using loom::Frame;
using loom::HarmonicEq;
using loom::test::section_response;
using loom::test::signal;
using loom::test::signal_frame;
using loom::test::to_db;

using Settings = std::vector<std::pair<std::string_view, float>>;

// The argument list: every default, with the named arguments set.
std::vector<float> arguments(const Settings& settings) {
    std::vector<float> values;
    for (const loom::ArgInfo& arg : HarmonicEq::INFO.args) values.push_back(arg.default_value);
    for (const auto& [name, value] : settings) {
        std::size_t i = 0;
        while (i < values.size() && HarmonicEq::INFO.args[i].name != name) ++i;
        EXPECT_LT(i, values.size()) << name;
        if (i < values.size()) values[i] = value;
    }
    return values;
}

HarmonicEq prepared(float rate, std::uint32_t channels, const Settings& settings) {
    HarmonicEq eq;
    eq.prepare(rate, channels);
    eq.control(arguments(settings));
    return eq;
}

std::vector<std::uint32_t> active_bands(const HarmonicEq& eq) {
    std::vector<std::uint32_t> bands;
    for (std::uint32_t k = 1; k <= 32; ++k)
        if (eq.active[k - 1]) bands.push_back(k);
    return bands;
}

double band_db(const Coefficients& band, double freq, double rate) {
    return to_db(std::abs(section_response(band, freq, rate)));
}

// The frequency within lo .. hi where the band's boost or cut is largest, by golden-section
// search (a peaking bell has one extremum, at its centre).
double centre(const Coefficients& band, double lo, double hi, double rate) {
    hi = std::min(hi, 0.499 * rate);
    const auto lift = [&](double f) { return std::fabs(band_db(band, f, rate)); };
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 200; ++i) {
        const double a = hi - ratio * (hi - lo);
        const double b = lo + ratio * (hi - lo);
        if (lift(a) > lift(b))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2.0;
}

// The Q of a band from its half-gain points: the bilinear transform of a peaking bell has
// them where tan(π f / rate) lies tan(π fc / rate) / Q apart.
double measured_q(const Coefficients& band, double fc, double rate) {
    const double half = band_db(band, fc, rate) / 2.0;
    const auto edge = [&](double inside, double outside) {
        for (int i = 0; i < 200; ++i) {
            const double mid = (inside + outside) / 2.0;
            if (std::fabs(band_db(band, mid, rate)) > std::fabs(half))
                inside = mid;
            else
                outside = mid;
        }
        return (inside + outside) / 2.0;
    };
    const double lo = edge(fc, fc / 4.0);
    const double hi = edge(fc, std::min(fc * 4.0, 0.4999 * rate));
    const auto t = [&](double f) { return std::tan(loom::test::PI * f / rate); };
    return t(fc) / (t(hi) - t(lo));
}

struct Band {
    std::uint32_t k;
    double freq, gain_db;
};

struct PlacementCase {
    const char* name;
    float rate;
    Settings settings;
    std::vector<Band> bands; // exactly the active ones
};

// log2 of a harmonic number, for the tilt rule.
double octaves(double k) { return std::log2(k); }

const PlacementCase PLACEMENT_CASES[] = {
    {"FromTheSecondHarmonic", 48000.0f,
     {{"first", 2.0f}, {"gain_db", 3.0f}, {"trim_1_db", 6.0f}, {"trim_8_db", -2.0f}},
     {{2, 220, 3}, {3, 330, 3}, {4, 440, 3}, {5, 550, 3}, {6, 660, 3}, {7, 770, 3}, {8, 880, 1}, {9, 990, 3}}},
    {"LastHarmonicIsThirtyTwo", 48000.0f,
     {{"first", 30.0f}, {"gain_db", -4.0f}},
     {{30, 3300, -4}, {31, 3410, -4}, {32, 3520, -4}}},
    {"StopsBelowFortyFivePercentOfTheRate", 48000.0f,
     {{"fundamental_hz", 2000.0f}, {"harmonics", 32.0f}, {"gain_db", 2.0f}},
     {{1, 2000, 2}, {2, 4000, 2}, {3, 6000, 2}, {4, 8000, 2}, {5, 10000, 2},
      {6, 12000, 2}, {7, 14000, 2}, {8, 16000, 2}, {9, 18000, 2}, {10, 20000, 2}}},
    {"StretchMovesTheBands", 48000.0f,
     {{"fundamental_hz", 100.0f}, {"first", 4.0f}, {"harmonics", 5.0f}, {"stretch", 0.01f}, {"gain_db", 6.0f}},
     {{4, 400 * std::sqrt(1.16), 6}, {5, 500 * std::sqrt(1.25), 6}, {6, 600 * std::sqrt(1.36), 6},
      {7, 700 * std::sqrt(1.49), 6}, {8, 800 * std::sqrt(1.64), 6}}},
    {"TiltAddsPerOctaveOfHarmonicNumber", 48000.0f,
     {{"gain_db", -6.0f}, {"tilt_db_oct", 3.0f}},
     {{1, 110, -6}, {2, 220, -3}, {3, 330, -6 + 3 * octaves(3)}, {5, 550, -6 + 3 * octaves(5)},
      {6, 660, -6 + 3 * octaves(6)}, {7, 770, -6 + 3 * octaves(7)}, {8, 880, 3}}},
    {"OddAlone", 48000.0f, {{"odd_db", 6.0f}}, {{1, 110, 6}, {3, 330, 6}, {5, 550, 6}, {7, 770, 6}}},
    {"EvenAlone", 44100.0f, {{"even_db", -5.0f}}, {{2, 220, -5}, {4, 440, -5}, {6, 660, -5}, {8, 880, -5}}},
    {"TrimsActOnTheirHarmonics", 48000.0f,
     {{"trim_1_db", 1.0f}, {"trim_2_db", -2.0f}, {"trim_4_db", 4.0f}, {"trim_7_db", -7.0f}, {"trim_8_db", 8.0f},
      {"harmonics", 12.0f}, {"gain_db", 0.5f}},
     {{1, 110, 1.5}, {2, 220, -1.5}, {3, 330, 0.5}, {4, 440, 4.5}, {5, 550, 0.5}, {6, 660, 0.5},
      {7, 770, -6.5}, {8, 880, 8.5}, {9, 990, 0.5}, {10, 1100, 0.5}, {11, 1210, 0.5}, {12, 1320, 0.5}}},
    {"GainIsHeldToThirtySixDecibels", 48000.0f,
     {{"gain_db", 24.0f}, {"odd_db", 24.0f}, {"trim_1_db", 2.0f}, {"harmonics", 3.0f}},
     {{1, 110, 36}, {2, 220, 24}, {3, 330, 36}}},
    {"TwoHundredthsOfADecibelIsActive", 48000.0f,
     {{"gain_db", 0.02f}, {"harmonics", 2.0f}},
     {{1, 110, 0.02}, {2, 220, 0.02}}},
    {"LessThanTwoHundredthsOfADecibelIsInactive", 48000.0f, {{"gain_db", -0.0199f}, {"harmonics", 32.0f}}, {}},
    {"CountsRoundHalvesAwayFromZero", 48000.0f,
     {{"first", 1.5f}, {"harmonics", 2.5f}, {"gain_db", 3.0f}},
     {{2, 220, 3}, {3, 330, 3}, {4, 440, 3}}},
    {"CountsRoundDown", 48000.0f,
     {{"first", 2.49f}, {"harmonics", 1.4f}, {"gain_db", 3.0f}},
     {{2, 220, 3}}},
};

class HarmonicEqPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(HarmonicEqPlacement, BandsSitOnTheHarmonicsWithTheirGains) {
    const PlacementCase& row = GetParam();
    const HarmonicEq eq = prepared(row.rate, 1, row.settings);
    std::vector<std::uint32_t> expected;
    for (const Band& band : row.bands) expected.push_back(band.k);
    ASSERT_EQ(active_bands(eq), expected);
    for (const Band& band : row.bands) {
        SCOPED_TRACE(::testing::Message() << "band " << band.k);
        const Coefficients& c = eq.bands[band.k - 1];
        EXPECT_NEAR(band_db(c, band.freq, row.rate), band.gain_db, 0.002);
        // A band of 0.02 dB is too flat for its centre to be found.
        if (std::fabs(band.gain_db) > 0.1) {
            EXPECT_NEAR(centre(c, band.freq * 0.8, band.freq * 1.25, row.rate) / band.freq, 1.0, 1e-3);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, HarmonicEqPlacement, ::testing::ValuesIn(PLACEMENT_CASES), loom::test::RowName{});

TEST(HarmonicEq, BandwidthIsAFractionOfTheFundamental) {
    // bandwidth 0.25 at 100 Hz: every band 25 Hz wide, so Q = k / 0.25.
    const HarmonicEq eq =
        prepared(48000.0f, 1, {{"fundamental_hz", 100.0f}, {"harmonics", 10.0f}, {"gain_db", 12.0f}});
    ASSERT_EQ(active_bands(eq).size(), 10u);
    for (std::uint32_t k : {1u, 2u, 5u, 10u})
        EXPECT_NEAR(measured_q(eq.bands[k - 1], 100.0 * k, 48000.0) / (4.0 * k), 1.0, 1e-3) << "band " << k;

    // bandwidth 0.02 at 20 Hz asks Q = 50 k: 250 for band 5, 300 for band 6, and band 7 is
    // held to 300.
    const HarmonicEq narrow = prepared(
        8000.0f, 1, {{"fundamental_hz", 20.0f}, {"bandwidth", 0.02f}, {"gain_db", -12.0f}, {"harmonics", 8.0f}});
    for (std::uint32_t k : {5u, 6u, 7u, 8u}) {
        const double q = std::min(50.0 * k, 300.0);
        EXPECT_NEAR(measured_q(narrow.bands[k - 1], 20.0 * k, 8000.0) / q, 1.0, 2e-3) << "band " << k;
    }
}

// The fundamental and the bandwidth glide in octaves, gains and trims in dB, each by
// 1 − exp(−32 / (rate × 0.008)) of the remaining distance per period; the first period after
// `prepare` is at the targets.
TEST(HarmonicEq, ValuesGlideByOneStepPerPeriod) {
    const double rate = 48000.0;
    const double s = 1.0 - std::exp(-32.0 / (rate * 0.008));
    EXPECT_NEAR(s, 0.08, 1e-3);
    HarmonicEq eq;
    eq.prepare(48000.0f, 1);
    eq.control(arguments({{"fundamental_hz", 100.0f}, {"harmonics", 1.0f}, {"gain_db", 0.0f}, {"trim_1_db", 3.0f}}));
    ASSERT_EQ(active_bands(eq), std::vector<std::uint32_t>{1});
    EXPECT_NEAR(band_db(eq.bands[0], 100.0, rate), 3.0, 1e-3);
    EXPECT_NEAR(measured_q(eq.bands[0], 100.0, rate), 4.0, 4e-3);

    const std::vector<float> jump = arguments(
        {{"fundamental_hz", 400.0f}, {"harmonics", 1.0f}, {"gain_db", 12.0f}, {"trim_1_db", -6.0f},
         {"bandwidth", 1.0f}});
    for (int period = 1; period <= 12; ++period) {
        eq.control(jump);
        const double left = std::pow(1.0 - s, period);
        const double f0 = std::exp2(std::log2(400.0) - left * 2.0);
        const double bw = std::exp2(-left * 2.0);
        const double gain = 12.0 * (1.0 - left) + (-6.0 + 9.0 * left);
        SCOPED_TRACE(period);
        EXPECT_NEAR(centre(eq.bands[0], f0 * 0.8, f0 * 1.25, rate) / f0, 1.0, 1e-3);
        EXPECT_NEAR(band_db(eq.bands[0], f0, rate), gain, 2e-3);
        EXPECT_NEAR(measured_q(eq.bands[0], f0, rate) * bw, 1.0, 2e-3);
    }

    eq.prepare(48000.0f, 1);
    eq.control(jump);
    EXPECT_NEAR(centre(eq.bands[0], 320.0, 500.0, rate) / 400.0, 1.0, 1e-3);
    EXPECT_NEAR(band_db(eq.bands[0], 400.0, rate), 6.0, 1e-3);
}

// Sines through `process` follow the product of the active bands' responses. Even bands that
// glided to silence keep their old coefficients but no longer run.
TEST(HarmonicEq, SignalRunsThroughTheActiveBandsOnly) {
    const std::vector<float> both = arguments({{"fundamental_hz", 1000.0f}, {"odd_db", 6.0f}, {"even_db", 9.0f}});
    const std::vector<float> odd_only = arguments({{"fundamental_hz", 1000.0f}, {"odd_db", 6.0f}});
    HarmonicEq eq;
    eq.prepare(48000.0f, 2);
    eq.control(both);
    ASSERT_EQ(active_bands(eq).size(), 8u);
    for (int period = 0; period < 100; ++period) eq.control(odd_only);
    ASSERT_EQ(active_bands(eq), (std::vector<std::uint32_t>{1, 3, 5, 7}));
    EXPECT_NE(eq.bands[1].b0, 1.0f);
    for (double freq : {1000.0, 1500.0, 2000.0, 3000.0, 4000.0, 7000.0}) {
        std::complex<double> expected = 1.0;
        for (std::uint32_t k : {1u, 3u, 5u, 7u}) expected *= section_response(eq.bands[k - 1], freq, 48000.0);
        const double gain = loom::test::measured_gain(eq, 2, freq, 48000.0, [&] { eq.control(odd_only); });
        EXPECT_NEAR(to_db(gain), to_db(std::abs(expected)), 0.005) << freq << " Hz";
    }
}

TEST(HarmonicEq, ADepartingBandLeavesItsMemoryAtRest) {
    HarmonicEq eq = prepared(48000.0f, 2, {{"gain_db", 6.0f}, {"harmonics", 4.0f}});
    Frame frame = signal_frame(2, 32);
    eq.process(frame, 0);
    for (std::uint32_t b = 0; b < 4; ++b) EXPECT_NE(eq.state[1][2 * b], 0.0f) << b;
    // Bands 1 to 3 leave (their numbers now lie before `first`); band 4 stays.
    eq.control(arguments({{"gain_db", 6.0f}, {"harmonics", 1.0f}, {"first", 4.0f}}));
    ASSERT_EQ(active_bands(eq), std::vector<std::uint32_t>{4});
    Frame next = signal_frame(2, 32, 32);
    eq.process(next, 0);
    for (std::size_t c = 0; c < 2; ++c) {
        for (std::uint32_t slot = 0; slot < 6; ++slot) EXPECT_EQ(eq.state[c][slot], 0.0f) << c << " " << slot;
        EXPECT_NE(eq.state[c][6], 0.0f);
    }
}

TEST(HarmonicEq, DefaultsPassTheSignalUnchanged) {
    HarmonicEq eq;
    eq.prepare(48000.0f, 2);
    for (std::size_t period = 0; period < 3; ++period) {
        eq.control(arguments({}));
        EXPECT_TRUE(active_bands(eq).empty());
        Frame frame = signal_frame(2, 32, 32 * period);
        eq.process(frame, 0);
        for (std::size_t c = 0; c < 2; ++c)
            for (std::uint32_t j = 0; j < 32; ++j) ASSERT_EQ(frame.channels[c][j], signal(c, 32 * period + j));
    }
}

TEST(HarmonicEq, MadeAndPreparedStatesAreAtRest) {
    const std::unique_ptr<loom::Block> block = HarmonicEq::make();
    const HarmonicEq& made = static_cast<const HarmonicEq&>(*block);
    EXPECT_TRUE(made.state.empty());
    EXPECT_TRUE(active_bands(made).empty());
    EXPECT_FALSE(made.log_fundamental.started || made.stretch.started || made.trims[7].started);
    for (const Coefficients& c : made.bands)
        EXPECT_TRUE(c.b0 == 1.0f && c.b1 == 0.0f && c.b2 == 0.0f && c.a1 == 0.0f && c.a2 == 0.0f);

    HarmonicEq eq = prepared(48000.0f, 2, {{"gain_db", 6.0f}});
    Frame frame = signal_frame(2, 32);
    eq.process(frame, 0);
    eq.prepare(96000.0f, 3);
    EXPECT_EQ(eq.state.size(), 3u);
    for (const auto& memory : eq.state) EXPECT_EQ(memory, (std::array<float, 64>{}));
    EXPECT_TRUE(active_bands(eq).empty());
    EXPECT_EQ(eq.bands[0].b0, 1.0f);
    EXPECT_EQ(eq.bands[0].a1, 0.0f);
    EXPECT_FALSE(eq.log_fundamental.started || eq.gain_db.started || eq.log_bandwidth.started ||
                 eq.trims[0].started);
    EXPECT_EQ(eq.gain_db.value, 0.0f);
    EXPECT_EQ(eq.smoothing, 1.0f - std::exp(-32.0f / (96000.0f * 0.008f)));
}

TEST(HarmonicEq, ChannelsBeyondThePreparedOnesAreUnchanged) {
    HarmonicEq eq = prepared(48000.0f, 1, {{"gain_db", 6.0f}});
    Frame frame = signal_frame(3, 32);
    eq.process(frame, 0);
    bool changed = false;
    for (std::uint32_t j = 0; j < 32; ++j) {
        changed = changed || frame.channels[0][j] != signal(0, j);
        EXPECT_EQ(frame.channels[1][j], signal(1, j));
        EXPECT_EQ(frame.channels[2][j], signal(2, j));
    }
    EXPECT_TRUE(changed);
}

TEST(HarmonicEq, SilenceAfterASignalEmptiesTheMemoryWithoutDenormals) {
    const std::vector<float> args = arguments({{"fundamental_hz", 500.0f}, {"harmonics", 32.0f}, {"gain_db", 9.0f}});
    HarmonicEq eq;
    eq.prepare(48000.0f, 1);
    for (std::size_t period = 0; period < 10; ++period) {
        eq.control(args);
        Frame loud = signal_frame(1, 32, 32 * period);
        eq.process(loud, 0);
    }
    bool all_zero = false;
    for (int period = 0; period < 2000 && !all_zero; ++period) {
        eq.control(args);
        Frame silence(1);
        silence.len = 32;
        eq.process(silence, 0);
        all_zero = true;
        for (float m : eq.state[0]) {
            ASSERT_TRUE(m == 0.0f || std::fabs(m) >= 1e-20f) << m;
            all_zero = all_zero && m == 0.0f;
        }
    }
    EXPECT_TRUE(all_zero);
}

TEST(HarmonicEq, PeriodSplitOverSeveralCallsEqualsOneCall) {
    const std::vector<float> first = arguments({{"gain_db", 6.0f}, {"tilt_db_oct", -3.0f}});
    const std::vector<float> second = arguments({{"fundamental_hz", 300.0f}, {"odd_db", -9.0f}, {"stretch", 0.01f}});
    HarmonicEq whole;
    HarmonicEq pieces;
    whole.prepare(48000.0f, 2);
    pieces.prepare(48000.0f, 2);
    loom::test::expect_split_equals_whole(whole, pieces, first, second, 7);
}

TEST(HarmonicEq, ControlAndProcessDoNotAllocate) {
    HarmonicEq eq;
    eq.prepare(48000.0f, 2);
    const std::vector<float> full = arguments({{"fundamental_hz", 60.0f}, {"harmonics", 32.0f}, {"gain_db", -6.0f}});
    const std::vector<float> other = arguments({{"fundamental_hz", 50.0f}, {"harmonics", 32.0f}, {"odd_db", 6.0f}});
    Frame frame = signal_frame(2, 32);
    loom::test::AllocationCounter counter;
    for (int period = 0; period < 8; ++period) {
        eq.control(period % 2 == 0 ? full : other);
        eq.process(frame, 0);
    }
    EXPECT_EQ(counter.count(), 0u);
}

TEST(HarmonicEqDeathTest, TooFewArgumentValuesAreFatal) {
    HarmonicEq eq;
    eq.prepare(48000.0f, 1);
    const std::vector<float> sixteen(16, 1.0f);
    EXPECT_DEATH(eq.control(sixteen), "harmonic_eq: control needs 17 argument values");
}

} // namespace
