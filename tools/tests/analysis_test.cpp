// The demo's measurements, the progress bar and the SVG text, called directly.

#include "loom/tool/analysis.hpp"
#include "loom/tool/format.hpp"
#include "loom/tool/progress.hpp"
#include "loom/tool/signal.hpp"
#include "loom/tool/svg.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

namespace {

using namespace loom::tool;

std::vector<float> sine(double hz, double amplitude, double rate, std::size_t frames) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    return out;
}

TEST(Analysis, ASineHasACrestFactorOfThreeDecibels) {
    // 100 whole periods: RMS = amplitude / √2, crest = 20·log10(√2) = 3.0103 dB.
    const Level l = measure(sine(480.0, 0.5, 48000.0, 10000));
    EXPECT_NEAR(l.peak, 0.5, 1e-6);
    EXPECT_NEAR(l.rms, 0.5 / std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(crest_db(l), 10.0 * std::log10(2.0), 1e-4);
    EXPECT_EQ(crest_db(Level{}), 0.0);
    EXPECT_EQ(to_db(0.0), -INFINITY);
}

TEST(Analysis, MeasureTakesEveryChannel) {
    const Audio a{48000.0, {{1.0f, 1.0f}, {0.0f, -2.0f}}};
    const Level l = measure(a);
    EXPECT_EQ(l.peak, 2.0);
    EXPECT_DOUBLE_EQ(l.rms, std::sqrt(6.0 / 4.0));
}

TEST(Analysis, FftOfAnImpulseIsFlatAndOfACosineIsTwoLines) {
    std::vector<std::complex<double>> impulse(16, 0.0);
    impulse[0] = 1.0;
    fft(impulse);
    for (const auto& v : impulse) EXPECT_NEAR(std::abs(v - std::complex<double>(1.0, 0.0)), 0.0, 1e-12);

    std::vector<std::complex<double>> cosine(64);
    for (std::size_t i = 0; i < 64; ++i) cosine[i] = std::cos(2.0 * std::numbers::pi * 5.0 * static_cast<double>(i) / 64.0);
    fft(cosine);
    for (std::size_t k = 0; k < 64; ++k) EXPECT_NEAR(std::abs(cosine[k]), k == 5 || k == 59 ? 32.0 : 0.0, 1e-9) << k;
}

TEST(Analysis, AFullScaleSineReadsZeroDecibelsInItsBin) {
    const double rate = 48000.0, bin = rate / 4096.0;
    const Spectrum s = spectrum(sine(100.0 * bin, 1.0, rate, 48000), rate, 4096);
    EXPECT_EQ(s.bin_hz, bin);
    ASSERT_EQ(s.db.size(), 2049u);
    EXPECT_NEAR(s.db[100], 0.0, 0.01);
    EXPECT_LT(s.db[200], -90.0);
    EXPECT_LT(s.db[20], -90.0);
}

TEST(Signal, TheTestSignalIsTheBassNoteThenTheChord) {
    const Audio a = test_signal(48000.0, 2);
    ASSERT_EQ(a.channel_count(), 2u);
    EXPECT_EQ(a.frames(), 192000u);
    EXPECT_EQ(a.channels[0], a.channels[1]);
    // Silent at both ends and between the two parts, never beyond the bass note's peak.
    EXPECT_EQ(a.channels[0].front(), 0.0f);
    EXPECT_EQ(a.channels[0][static_cast<std::size_t>(1.95 * 48000)], 0.0f);
    EXPECT_LE(measure(a).peak, 0.5 + 1e-6);
    // The bass part's spectrum peaks at 55 Hz, the chord's at one of its notes.
    const Spectrum bass = spectrum(std::span<const float>(a.channels[0]).subspan(0, 90000), 48000.0, 16384);
    const auto loudest = [](const Spectrum& s) {
        return static_cast<double>(std::max_element(s.db.begin(), s.db.end()) - s.db.begin()) * s.bin_hz;
    };
    EXPECT_NEAR(loudest(bass), 55.0, bass.bin_hz);
}

TEST(Progress, DrawsOnlyWhenEnabledAndClearsItsLine) {
    std::ostringstream off;
    {
        Progress p(off, false, "rendering");
        p.update(1, 2);
    }
    EXPECT_EQ(off.str(), "");

    std::ostringstream on;
    {
        Progress p(on, true, "rendering");
        p.update(1, 4);
        p.update(1, 4); // the same percentage is not drawn again
        p.update(4, 4);
    }
    EXPECT_EQ(on.str(), "\rrendering [#######-----------------------]  25%"
                        "\rrendering [##############################] 100%"
                        "\r\033[K");
    EXPECT_TRUE(wants_progress(true, 30 * 48000, 48000.0));
    EXPECT_FALSE(wants_progress(true, 30 * 48000 - 1, 48000.0));
    EXPECT_FALSE(wants_progress(false, 3000 * 48000, 48000.0));
}

TEST(Text, TablesAlignByCharactersAndNumbersAreShortest) {
    TextTable t({"name", "value"}, {1});
    t.add({"±1", "0.5"});
    t.add({"long name", "12"});
    EXPECT_EQ(t.render("  "), "  name       value\n  ±1           0.5\n  long name     12\n");
    EXPECT_EQ(format_number(0.5), "0.5");
    EXPECT_EQ(format_number(0.1), "0.1");           // not a 32-bit float: the 64-bit form
    EXPECT_EQ(format_number(double(0.1f)), "0.1");  // a 32-bit float: its own shortest form
    EXPECT_EQ(format_fixed(-0.001, 1), "0.0");
    EXPECT_EQ(escape_xml("a<b & \"c\""), "a&lt;b &amp; &quot;c&quot;");
}

} // namespace
