#include "blocks/biquad.hpp"

#include "frames.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"
#include "response.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using loom::Coefficients;
using loom::Filter;
using loom::Frame;
using loom::test::cascade_response;
using loom::test::PI;
using loom::test::signal;
using loom::test::signal_frame;
using loom::test::to_db;
using loom::test::warped;
using Complex = std::complex<double>;

struct Args {
    float type, freq, q, gain_db, slope;
};

Filter prepared(float rate, std::uint32_t channels, const Args& args) {
    Filter filter;
    filter.prepare(rate, channels);
    const float values[] = {args.type, args.freq, args.q, args.gain_db, args.slope};
    filter.control(values);
    return filter;
}

std::span<const Coefficients> running(const Filter& filter) {
    return std::span<const Coefficients>(filter.coefficients.data(), filter.sections);
}

// The analog prototype of each single-section response at s = jΩ, with the corner at Ω = 1,
// A = 10^(gain / 40) and the given Q.
Complex prototype(std::uint32_t type, double omega, double q, double gain_db) {
    const Complex s(0.0, omega);
    const double a = std::pow(10.0, gain_db / 40.0);
    const Complex poles = s * s + s / q + 1.0;
    switch (type) {
    case 0: return 1.0 / poles;
    case 1: return s * s / poles;
    case 2: return (s / q) / poles;
    case 3: return (s * s + 1.0) / poles;
    case 4: return (s * s + s * (a / q) + 1.0) / (s * s + s / (a * q) + 1.0);
    case 5: return a * (s * s + s * (std::sqrt(a) / q) + a) / (a * s * s + s * (std::sqrt(a) / q) + 1.0);
    case 6: return a * (a * s * s + s * (std::sqrt(a) / q) + 1.0) / (s * s + s * (std::sqrt(a) / q) + a);
    default: return (s * s - s / q + 1.0) / poles;
    }
}

// |H| of an N-pole Butterworth low-pass (or high-pass) with its corner at Ω = 1.
double butterworth(bool highpass, std::uint32_t poles, double omega) {
    const double x = highpass ? 1.0 / omega : omega;
    return 1.0 / std::sqrt(1.0 + std::pow(x, 2.0 * poles));
}

struct ResponseCase {
    const char* name;
    float rate;
    Args args;
    double corner;    // the frequency the response is designed at
    double tolerance; // relative, for the 32-bit coefficients
};

const ResponseCase RESPONSE_CASES[] = {
    {"LowPass", 48000.0f, {0, 1000.0f, 0.70710677f, 0, 0}, 1000.0, 1e-4},
    {"ResonantLowPass", 48000.0f, {0, 1000.0f, 4.0f, 0, 0}, 1000.0, 1e-4},
    {"HighPass", 44100.0f, {1, 2500.0f, 0.5f, 0, 0}, 2500.0, 1e-4},
    {"BandPass", 48000.0f, {2, 1000.0f, 2.0f, 0, 0}, 1000.0, 1e-4},
    {"Notch", 48000.0f, {3, 3000.0f, 1.0f, 0, 0}, 3000.0, 1e-4},
    {"PeakBoost", 48000.0f, {4, 2000.0f, 1.5f, 9.0f, 0}, 2000.0, 1e-4},
    {"PeakCut", 96000.0f, {4, 500.0f, 0.7f, -12.0f, 0}, 500.0, 1e-3},
    {"PeakFullBoost", 48000.0f, {4, 4000.0f, 10.0f, 36.0f, 0}, 4000.0, 1e-4},
    {"LowShelf", 48000.0f, {5, 300.0f, 0.70710677f, 6.0f, 0}, 300.0, 1e-3},
    {"HighShelf", 48000.0f, {6, 5000.0f, 0.70710677f, -8.0f, 0}, 5000.0, 1e-4},
    {"AllPass", 48000.0f, {7, 1500.0f, 0.9f, 0, 0}, 1500.0, 1e-4},
    {"AboveTheLimitIsDesignedAtFortyNinePercent", 48000.0f, {0, 30000.0f, 0.70710677f, 0, 0}, 23520.0, 1e-4},
};

class FilterResponse : public ::testing::TestWithParam<ResponseCase> {};

// Each response is the bilinear transform of its analog prototype with the corner mapped
// exactly; so is the block's section, in magnitude and phase.
TEST_P(FilterResponse, MatchesTheAnalogPrototype) {
    const ResponseCase& row = GetParam();
    const Filter filter = prepared(row.rate, 1, row.args);
    ASSERT_EQ(filter.sections, 1u);
    for (double ratio : {0.125, 0.5, 0.9, 1.0, 1.1, 2.0, 8.0}) {
        const double freq = row.corner * ratio;
        if (freq >= 0.499 * row.rate) continue;
        const Complex expected = prototype(static_cast<std::uint32_t>(row.args.type),
                                           warped(freq, row.corner, row.rate), row.args.q, row.args.gain_db);
        const Complex actual = cascade_response(running(filter), freq, row.rate);
        EXPECT_LE(std::abs(actual - expected), row.tolerance * std::max(std::abs(expected), 1e-2))
            << "at " << freq << " Hz: " << actual << " against " << expected;
    }
}

INSTANTIATE_TEST_SUITE_P(All, FilterResponse, ::testing::ValuesIn(RESPONSE_CASES), loom::test::RowName{});

TEST(Filter, SteepSlopesAreButterworthCascades) {
    for (float type : {0.0f, 1.0f}) {
        for (std::uint32_t slope = 1; slope <= 3; ++slope) {
            SCOPED_TRACE(::testing::Message() << "type " << type << ", slope " << slope);
            const std::uint32_t poles = 2 * (slope + 1);
            const Filter filter = prepared(48000.0f, 1, {type, 1500.0f, 9.0f, 0, static_cast<float>(slope)});
            ASSERT_EQ(filter.sections, slope + 1);
            for (double ratio : {0.125, 0.25, 0.5, 0.8, 1.0, 1.25, 2.0, 4.0, 8.0}) {
                const double freq = 1500.0 * ratio;
                const double expected = butterworth(type == 1.0f, poles, warped(freq, 1500.0, 48000.0));
                const double actual = std::abs(cascade_response(running(filter), freq, 48000.0));
                EXPECT_NEAR(actual / expected, 1.0, 2e-4) << freq << " Hz";
            }
        }
    }
}

// A low-pass section at its own corner has the gain Q, so each section of a cascade shows
// which Q it was designed with, whatever the `q` argument says.
TEST(Filter, CascadesRunTheButterworthQsHighestFirst) {
    struct Row { float slope, q; std::vector<double> qs; };
    const Row rows[] = {{0, 7.0f, {7.0}},
                        {1, 7.0f, {1.3066, 0.5412}},
                        {2, 0.2f, {1.9319, 0.7071, 0.5176}},
                        {3, 40.0f, {2.5629, 0.9000, 0.6013, 0.5098}}};
    for (const Row& row : rows) {
        const Filter filter = prepared(48000.0f, 1, {0, 2000.0f, row.q, 0, row.slope});
        ASSERT_EQ(filter.sections, row.qs.size()) << row.slope;
        for (std::size_t j = 0; j < row.qs.size(); ++j)
            EXPECT_NEAR(std::abs(loom::test::section_response(filter.coefficients[j], 2000.0, 48000.0)), row.qs[j],
                        1e-4)
                << "slope " << row.slope << ", section " << j;
    }
}

// Well above the corner an N-pole low-pass falls 6.02 N dB per octave: 24, 36 and 48 dB for
// the steep slopes (the bilinear transform adds a little as the octave nears Nyquist).
TEST(Filter, SteepSlopesFallTheirDecibelsPerOctave) {
    for (std::uint32_t slope = 0; slope <= 3; ++slope) {
        const double poles = 2.0 * (slope + 1);
        const Filter filter = prepared(48000.0f, 1, {0, 100.0f, 0.70710677f, 0, static_cast<float>(slope)});
        const double drop = to_db(std::abs(cascade_response(running(filter), 1000.0, 48000.0))) -
                            to_db(std::abs(cascade_response(running(filter), 2000.0, 48000.0)));
        EXPECT_NEAR(drop, 20.0 * std::log10(2.0) * poles, 0.06 * poles) << "slope " << slope;
    }
}

// Sines through `process` show the designed response: −3 dB at the corner for every slope,
// and the Butterworth values below and above it.
TEST(Filter, SinesThroughTheBlockFollowTheResponse) {
    for (std::uint32_t slope = 0; slope <= 3; ++slope) {
        const std::uint32_t poles = 2 * (slope + 1);
        const float args[] = {0.0f, 1000.0f, 0.70710677f, 0.0f, static_cast<float>(slope)};
        for (double freq : {500.0, 1000.0, 2000.0, 3000.0}) {
            Filter filter;
            filter.prepare(48000.0f, 2);
            const double gain = loom::test::measured_gain(filter, 2, freq, 48000.0, [&] { filter.control(args); });
            const double expected = butterworth(false, poles, warped(freq, 1000.0, 48000.0));
            EXPECT_NEAR(to_db(gain), to_db(expected), 0.01) << "slope " << slope << ", " << freq << " Hz";
        }
    }
}

// The designed frequency of a section, recovered from its coefficients: every response has
// a1 = −2k / a0 and a2 = (1 − α) / a0 with a0 = 1 + α, so k = cos w0 = −a1 / (1 + a2).
double designed_freq(const Coefficients& c, double rate) {
    const double k = -static_cast<double>(c.a1) / (1.0 + static_cast<double>(c.a2));
    return std::acos(k) * rate / (2.0 * PI);
}

// The designed Q of a band-pass section: α = (1 − a2) / (1 + a2) and Q = sin w0 / (2α).
double designed_q(const Coefficients& c, double rate) {
    const double alpha = (1.0 - static_cast<double>(c.a2)) / (1.0 + static_cast<double>(c.a2));
    return std::sin(2.0 * PI * designed_freq(c, rate) / rate) / (2.0 * alpha);
}

TEST(Filter, DesignedFrequencyIsHeldToFiveHertzAndFortyNinePercent) {
    EXPECT_NEAR(designed_freq(prepared(48000.0f, 1, {0, 30000.0f, 0.70710677f, 0, 0}).coefficients[0], 48000.0),
                23520.0, 0.05);
    EXPECT_NEAR(designed_freq(prepared(44100.0f, 1, {1, 24000.0f, 0.70710677f, 0, 0}).coefficients[0], 44100.0),
                21609.0, 0.05);
    EXPECT_NEAR(designed_freq(prepared(48000.0f, 1, {2, 12000.0f, 1.0f, 0, 0}).coefficients[0], 48000.0), 12000.0,
                0.05);
    const auto same = [](const Coefficients& a, const Coefficients& b) {
        return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
    };
    EXPECT_TRUE(same(loom::design_section(1, 2.0, 0.7, 0.0, 48000.0), loom::design_section(1, 5.0, 0.7, 0.0, 48000.0)));
    EXPECT_TRUE(same(loom::design_section(0, 30000.0, 0.7, 0.0, 48000.0),
                     loom::design_section(0, 23520.0, 0.7, 0.0, 48000.0)));
    EXPECT_FALSE(same(loom::design_section(1, 5.0, 0.7, 0.0, 48000.0), loom::design_section(1, 6.0, 0.7, 0.0, 48000.0)));
    // A Q below 0.05 is designed at 0.05.
    EXPECT_TRUE(same(loom::design_section(2, 1000.0, 0.01, 0.0, 48000.0),
                     loom::design_section(2, 1000.0, 0.05, 0.0, 48000.0)));
}

// Frequency and Q move in octaves and the gain in dB, each by 1 − exp(−32 / 240) ≈ 12.5 % of
// the remaining distance per period at 48 kHz; the first period after `prepare` is at the
// target.
TEST(Filter, FrequencyQAndGainGlideByOneStepPerPeriod) {
    const double s = 1.0 - std::exp(-32.0 / (48000.0 * 0.005));
    EXPECT_NEAR(s, 0.125, 5e-4);

    Filter filter;
    filter.prepare(48000.0f, 1);
    const float start[] = {2.0f, 100.0f, 1.0f, 0.0f, 0.0f};
    const float jump[] = {2.0f, 10000.0f, 8.0f, 0.0f, 0.0f};
    filter.control(start);
    EXPECT_NEAR(designed_freq(filter.coefficients[0], 48000.0), 100.0, 0.1);
    EXPECT_NEAR(designed_q(filter.coefficients[0], 48000.0), 1.0, 2e-3);
    for (int period = 1; period <= 30; ++period) {
        filter.control(jump);
        const double left = std::pow(1.0 - s, period);
        const double freq = std::exp2(std::log2(10000.0) - left * (std::log2(10000.0) - std::log2(100.0)));
        const double q = std::exp2(3.0 - left * 3.0);
        EXPECT_NEAR(designed_freq(filter.coefficients[0], 48000.0) / freq, 1.0, 2e-3) << period;
        EXPECT_NEAR(designed_q(filter.coefficients[0], 48000.0) / q, 1.0, 2e-3) << period;
    }

    // The peak's gain at its centre is the glided gain.
    filter.prepare(48000.0f, 1);
    const float flat[] = {4.0f, 1000.0f, 1.0f, 0.0f, 0.0f};
    const float boost[] = {4.0f, 1000.0f, 1.0f, 12.0f, 0.0f};
    filter.control(flat);
    EXPECT_NEAR(to_db(std::abs(cascade_response(running(filter), 1000.0, 48000.0))), 0.0, 1e-5);
    for (int period = 1; period <= 10; ++period) {
        filter.control(boost);
        const double gain = 12.0 * (1.0 - std::pow(1.0 - s, period));
        EXPECT_NEAR(to_db(std::abs(cascade_response(running(filter), 1000.0, 48000.0))), gain, 1e-4) << period;
    }
    filter.prepare(48000.0f, 1);
    filter.control(boost);
    EXPECT_NEAR(to_db(std::abs(cascade_response(running(filter), 1000.0, 48000.0))), 12.0, 1e-4);
}

TEST(Filter, SlopeAndGainAreIgnoredWhereTheyDoNotApply) {
    const auto design = [](Args args) {
        const Filter filter = prepared(48000.0f, 1, args);
        std::vector<float> values;
        for (const Coefficients& c : running(filter)) values.insert(values.end(), {c.b0, c.b1, c.b2, c.a1, c.a2});
        return values;
    };
    for (float type = 0.0f; type <= 7.0f; type += 1.0f) {
        SCOPED_TRACE(type);
        const std::vector<float> plain = design({type, 700.0f, 2.0f, 0.0f, 0.0f});
        if (type >= 2.0f) {
            EXPECT_EQ(design({type, 700.0f, 2.0f, 0.0f, 3.0f}), plain);
            EXPECT_EQ(design({type, 700.0f, 2.0f, 0.0f, 1.0f}), plain);
        }
        const bool uses_gain = type >= 4.0f && type <= 6.0f;
        EXPECT_EQ(design({type, 700.0f, 2.0f, 18.0f, 0.0f}) == plain, !uses_gain);
        EXPECT_EQ(design({type, 700.0f, 2.0f, -30.0f, 0.0f}) == plain, !uses_gain);
    }
    // Indices past the last are held to it: type 7 and slope 3.
    EXPECT_EQ(design({9.0f, 700.0f, 2.0f, 0.0f, 0.0f}), design({7.0f, 700.0f, 2.0f, 0.0f, 0.0f}));
    EXPECT_EQ(design({0.0f, 700.0f, 2.0f, 0.0f, 6.0f}), design({0.0f, 700.0f, 2.0f, 0.0f, 3.0f}));
}

TEST(Filter, MadeAndPreparedStatesArePassThrough) {
    const std::unique_ptr<loom::Block> block = Filter::make();
    const Filter& made = static_cast<const Filter&>(*block);
    EXPECT_TRUE(made.state.empty());
    EXPECT_EQ(made.sections, 1u);
    EXPECT_FALSE(made.log_freq.started || made.log_q.started || made.gain_db.started);
    for (const Coefficients& c : made.coefficients)
        EXPECT_TRUE(c.b0 == 1.0f && c.b1 == 0.0f && c.b2 == 0.0f && c.a1 == 0.0f && c.a2 == 0.0f);

    // Before its first control a prepared filter passes the signal.
    Filter filter = prepared(48000.0f, 2, {0, 300.0f, 2.0f, 0, 3});
    Frame frame = signal_frame(2, 32);
    filter.process(frame, 0);
    filter.prepare(44100.0f, 3);
    EXPECT_EQ(filter.state.size(), 3u);
    for (const auto& memory : filter.state) EXPECT_EQ(memory, (std::array<float, 8>{}));
    EXPECT_EQ(filter.sections, 1u);
    EXPECT_FALSE(filter.log_freq.started || filter.log_q.started || filter.gain_db.started);
    EXPECT_EQ(filter.smoothing, 1.0f - std::exp(-32.0f / (44100.0f * 0.005f)));
    Frame through = signal_frame(3, 32);
    filter.process(through, 0);
    for (std::size_t c = 0; c < 3; ++c)
        for (std::uint32_t j = 0; j < 32; ++j) EXPECT_EQ(through.channels[c][j], signal(c, j));
}

TEST(Filter, ChannelsBeyondThePreparedOnesAreUnchanged) {
    Filter filter = prepared(48000.0f, 1, {0, 500.0f, 0.70710677f, 0, 1});
    Frame frame = signal_frame(3, 32);
    filter.process(frame, 0);
    bool changed = false;
    for (std::uint32_t j = 0; j < 32; ++j) {
        changed = changed || frame.channels[0][j] != signal(0, j);
        EXPECT_EQ(frame.channels[1][j], signal(1, j));
        EXPECT_EQ(frame.channels[2][j], signal(2, j));
    }
    EXPECT_TRUE(changed);

    Filter unprepared;
    Frame untouched = signal_frame(2, 32);
    unprepared.process(untouched, 0);
    EXPECT_EQ(untouched.channels[0][5], signal(0, 5));
}

TEST(Filter, SilenceAfterASignalEmptiesTheMemoryWithoutDenormals) {
    const float args[] = {0.0f, 1000.0f, 0.70710677f, 0.0f, 3.0f};
    Filter filter;
    filter.prepare(48000.0f, 2);
    for (std::size_t period = 0; period < 20; ++period) {
        filter.control(args);
        Frame loud = signal_frame(2, 32, 32 * period);
        filter.process(loud, 0);
    }
    bool all_zero = false;
    for (int period = 0; period < 400 && !all_zero; ++period) {
        filter.control(args);
        Frame silence(2);
        silence.len = 32;
        filter.process(silence, 0);
        all_zero = true;
        for (const auto& memory : filter.state)
            for (float m : memory) {
                EXPECT_TRUE(m == 0.0f || std::fabs(m) >= 1e-20f) << m;
                all_zero = all_zero && m == 0.0f;
            }
    }
    EXPECT_TRUE(all_zero);
}

TEST(Filter, ResponseOrSlopeChangeKeepsTheMemory) {
    // Switching to a 24 dB slope runs section 0 on from its memory; the new section 1 starts
    // from rest.
    Filter switching = prepared(48000.0f, 1, {0, 800.0f, 0.70710677f, 0, 0});
    Frame first = signal_frame(1, 32);
    switching.process(first, 0);
    const std::array<float, 8> before = switching.state[0];
    EXPECT_NE(before[0], 0.0f);
    const float steep[] = {0.0f, 800.0f, 0.70710677f, 0.0f, 1.0f};
    switching.control(steep);
    const Coefficients section0 = switching.coefficients[0];
    Frame second = signal_frame(1, 1, 32);
    switching.process(second, 0);
    const float x = signal(0, 32);
    const float y0 = section0.b0 * x + before[0];
    const float y1 = switching.coefficients[1].b0 * y0;
    EXPECT_EQ(second.channels[0][0], y1);
}

TEST(Filter, PeriodSplitOverSeveralCallsEqualsOneCall) {
    const float first[] = {4.0f, 300.0f, 3.0f, 9.0f, 0.0f};
    const float second[] = {0.0f, 5000.0f, 1.0f, -9.0f, 3.0f};
    Filter whole;
    Filter pieces;
    whole.prepare(48000.0f, 2);
    pieces.prepare(48000.0f, 2);
    loom::test::expect_split_equals_whole(whole, pieces, first, second, 20);
}

TEST(Filter, ControlAndProcessDoNotAllocate) {
    Filter filter;
    filter.prepare(48000.0f, 2);
    Frame frame = signal_frame(2, 32);
    Frame wide = signal_frame(3, 32);
    const float steep[] = {1.0f, 200.0f, 0.7f, 0.0f, 3.0f};
    const float shelf[] = {5.0f, 900.0f, 1.2f, 6.0f, 0.0f};
    loom::test::AllocationCounter counter;
    for (int period = 0; period < 8; ++period) {
        filter.control(period % 2 == 0 ? steep : shelf);
        filter.process(frame, 0);
        wide.len = 10;
        filter.process(wide, 0);
    }
    EXPECT_EQ(counter.count(), 0u);
}

TEST(FilterDeathTest, TooFewArgumentValuesAreFatal) {
    Filter filter;
    filter.prepare(48000.0f, 1);
    const float four[] = {0.0f, 1000.0f, 0.7f, 0.0f};
    EXPECT_DEATH(filter.control(four), "filter: control needs 5 argument values");
}

} // namespace
