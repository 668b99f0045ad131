#include "loom/blocks/catalogue.hpp"

#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace {

using loom::ArgInfo;
using loom::BlockInfo;

struct ExpectedArg {
    std::string_view name, unit;
    std::vector<std::string_view> choices;
    std::string_view doc;
    float min, max, default_value;
    bool fixed;
};

struct ExpectedBlock {
    const char* name;
    std::string_view doc;
    std::vector<std::string_view> meters;
    std::vector<ExpectedArg> args;
};

// The catalogue as documented, block by block in catalogue order.
const ExpectedBlock CATALOGUE[] = {
    {"gain",
     "Changes the level, flips the polarity and pans a stereo signal. A change glides across 32 samples, so "
     "automating it does not click.",
     {},
     {
         {"gain_db", "dB", {}, "Level change.", -96.0f, 48.0f, 0.0f, false},
         {"pan", "", {},
          "Balance from -1 (left) to 1 (right), constant power. Only used with exactly two channels.",
          -1.0f, 1.0f, 0.0f, false},
         {"invert", "", {"off", "on"}, "Flips the polarity.", 0.0f, 1.0f, 0.0f, false},
     }},
    {"filter",
     "A second-order filter: low-pass, high-pass, band-pass, notch, peaking bell, low shelf, high shelf or "
     "all-pass. A low-pass or high-pass can have a steeper slope, made of cascaded Butterworth sections. "
     "Frequency, Q and gain glide, so sweeping them does not click.",
     {},
     {
         {"type", "", {"lowpass", "highpass", "bandpass", "notch", "peak", "lowshelf", "highshelf", "allpass"},
          "Which response.",
          0.0f, 7.0f, 0.0f, false},
         {"freq", "Hz", {}, "Cutoff, centre or corner frequency.", 10.0f, 24000.0f, 1000.0f, false},
         {"q", "", {},
          "Resonance or bandwidth. For a steep low-pass or high-pass the Butterworth values are used instead.",
          0.1f, 40.0f, 0.70710677f, false},
         {"gain_db", "dB", {},
          "Boost or cut for peak, lowshelf and highshelf. The other types ignore it.",
          -36.0f, 36.0f, 0.0f, false},
         {"slope", "", {"12", "24", "36", "48"},
          "Decibels per octave for lowpass and highpass. The other types ignore it.",
          0.0f, 3.0f, 0.0f, false},
     }},
    {"onepole",
     "A first-order filter with a gentle 6 dB per octave slope. Use it for tone controls, for DC removal with a "
     "high-pass near 5 Hz, and wherever a sharper filter would sound harsh.",
     {},
     {
         {"type", "", {"lowpass", "highpass"}, "Low-pass or high-pass.", 0.0f, 1.0f, 0.0f, false},
         {"freq", "Hz", {},
          "The corner frequency, where the response is 3 dB down.",
          1.0f, 24000.0f, 1000.0f, false},
     }},
    {"shaper",
     "Pushes the signal through a curve. Drive sets how hard, and every curve adds harmonics. Bias moves the "
     "signal off centre before the curve, which adds even harmonics. It does not oversample yet, so very high "
     "drive can alias. Follow it with a low-pass to tame the top.",
     {},
     {
         {"curve", "", {"tanh", "hard", "softclip", "fold", "tube"},
          "tanh rounds the peaks smoothly. hard cuts them flat. softclip is a gentle cubic knee. fold wraps the "
          "peaks back on themselves. tube is asymmetric, saturating one half harder than the other.",
          0.0f, 4.0f, 0.0f, false},
         {"drive_db", "dB", {}, "Gain before the curve.", -24.0f, 48.0f, 0.0f, false},
         {"bias", "", {},
          "Moves the signal off centre before the curve. The constant this adds is removed after.",
          -1.0f, 1.0f, 0.0f, false},
         {"output_db", "dB", {}, "Gain after the curve.", -48.0f, 24.0f, 0.0f, false},
     }},
    {"dynamics",
     "A dynamics processor. As a compressor or limiter it turns down what rises above the threshold. As a gate or "
     "expander it turns down what falls below it. The detector can be filtered so bass does not pump the whole "
     "mix, and the channels can be linked so the stereo image holds still. A lookahead adds latency, which the "
     "plugin reports to the host.",
     {"gain_reduction_db"},
     {
         {"mode", "", {"compressor", "limiter", "gate", "expander"},
          "compressor reduces by ratio above the threshold. limiter is a compressor with an infinite ratio. "
          "expander reduces by ratio below the threshold, and gate is the same with a steep ratio set by range.",
          0.0f, 3.0f, 0.0f, false},
         {"threshold_db", "dB", {}, "The level where the effect starts.", -80.0f, 0.0f, -18.0f, false},
         {"ratio", "", {},
          "For a compressor, the input change for 1 dB of output change above the threshold. For an expander, the "
          "extra reduction below it.",
          1.0f, 100.0f, 4.0f, false},
         {"knee_db", "dB", {}, "The width of the soft transition around the threshold.", 0.0f, 24.0f, 6.0f, false},
         {"attack_ms", "ms", {}, "How fast the gain reduction builds.", 0.01f, 200.0f, 10.0f, false},
         {"release_ms", "ms", {}, "How fast the gain comes back.", 1.0f, 2000.0f, 120.0f, false},
         {"makeup_db", "dB", {}, "Gain after the processing.", -24.0f, 36.0f, 0.0f, false},
         {"auto_makeup", "", {"off", "on"},
          "Adds the gain a typical signal loses, estimated from the threshold and ratio.",
          0.0f, 1.0f, 0.0f, false},
         {"detector", "", {"peak", "rms"},
          "How the level is measured. rms follows loudness and is gentler.",
          0.0f, 1.0f, 0.0f, false},
         {"sidechain_hpf_hz", "Hz", {},
          "A high-pass on the detector alone. Near 10 Hz it does nothing.",
          10.0f, 1000.0f, 10.0f, false},
         {"link", "", {},
          "0 measures each channel on its own and 1 uses the loudest channel for all of them.",
          0.0f, 1.0f, 1.0f, false},
         {"lookahead_ms", "ms", {},
          "Delays the audio so the detector sees peaks early. Adds this much latency.",
          0.0f, 10.0f, 0.0f, true},
         {"range_db", "dB", {}, "The most the gain can be turned down.", 0.0f, 80.0f, 80.0f, false},
     }},
    {"delay",
     "A delay line. The block outputs only the delayed signal, so set the node's `mix` to blend it with the dry "
     "sound. For an echo use 100 ms or more with feedback. For a chorus use 10 to 30 ms with depth and no "
     "feedback and a mix of 0.5. For a flanger use 1 to 5 ms with depth and feedback. For a vibrato use mix 1.",
     {},
     {
         {"time_ms", "ms", {},
          "The delay. Bind it to sync(beats) to lock it to the tempo.",
          0.1f, 4000.0f, 250.0f, false},
         {"feedback", "", {},
          "How much of the output returns to the input. It stays below 1 so the echoes die away.",
          0.0f, 0.97f, 0.35f, false},
         {"damp_hz", "Hz", {},
          "A low-pass in the feedback path, so each repeat is darker.",
          200.0f, 20000.0f, 8000.0f, false},
         {"mode", "", {"normal", "pingpong"},
          "pingpong bounces the echoes between left and right when there are two channels.",
          0.0f, 1.0f, 0.0f, false},
         {"mod_depth_ms", "ms", {}, "How far the delay time swings from an LFO.", 0.0f, 20.0f, 0.0f, false},
         {"mod_rate_hz", "Hz", {}, "The speed of that swing.", 0.02f, 20.0f, 0.5f, false},
         {"max_ms", "ms", {},
          "The longest delay the line can hold. Sets the memory used.",
          10.0f, 4000.0f, 2000.0f, true},
     }},
    {"tremolo",
     "Varies the level with a low-frequency oscillator. With the channels half a cycle apart it is an auto-pan.",
     {},
     {
         {"rate_hz", "Hz", {}, "The speed.", 0.05f, 40.0f, 4.0f, false},
         {"depth", "", {},
          "0 does nothing. 1 takes the level all the way down at the bottom of each cycle.",
          0.0f, 1.0f, 0.5f, false},
         {"shape", "", {"sine", "triangle"}, "The wave.", 0.0f, 1.0f, 0.0f, false},
         {"stereo_phase", "deg", {},
          "How far each channel's cycle is offset from the one before. 180 with two channels is an auto-pan.",
          0.0f, 180.0f, 0.0f, false},
     }},
    {"stereo",
     "Mid/side work on a two-channel signal. width changes the level of the side signal and mid_db and side_db "
     "change each one's level. encode turns left and right into mid and side, so a filter or compressor on one "
     "channel, with the node's `only` option, works on the mid or the side alone. decode turns them back. With "
     "any other channel count the block does nothing.",
     {},
     {
         {"mode", "", {"width", "encode", "decode", "mono", "swap"},
          "width scales mid and side. encode puts mid in channel 0 and side in channel 1. decode reverses it. "
          "mono sums to the middle. swap exchanges left and right.",
          0.0f, 4.0f, 0.0f, false},
         {"width", "", {},
          "Side level multiplier for width mode. 0 is mono, 1 is unchanged, 2 is twice as wide.",
          0.0f, 2.0f, 1.0f, false},
         {"mid_db", "dB", {}, "Mid level for width mode.", -24.0f, 24.0f, 0.0f, false},
         {"side_db", "dB", {}, "Side level for width mode.", -24.0f, 24.0f, 0.0f, false},
     }},
    {"harmonic_eq",
     "A parametric equalizer with its bands on the harmonics of one fundamental. Band k sits at k times the "
     "fundamental and has the gain base + tilt * log2(k) + (odd or even lift) + the trim for harmonic k, if there "
     "is one. Bandwidth is a fraction of the fundamental, so the bands cover the spectrum evenly and a narrow "
     "setting rings like a comb. Harmonics above 45% of the sample rate are left out.",
     {},
     {
         {"fundamental_hz", "Hz", {},
          "The pitch. Use note(n) for a MIDI note, or 50 or 60 to treat mains hum.",
          20.0f, 2000.0f, 110.0f, false},
         {"harmonics", "", {},
          "How many harmonics, counted from the first one affected.",
          1.0f, 32.0f, 8.0f, false},
         {"first", "", {},
          "The lowest harmonic number affected. 2 leaves the fundamental alone.",
          1.0f, 32.0f, 1.0f, false},
         {"gain_db", "dB", {}, "Boost or cut for every band.", -24.0f, 24.0f, 0.0f, false},
         {"tilt_db_oct", "dB", {},
          "Extra gain per doubling of the harmonic number. Positive brightens the overtones.",
          -12.0f, 12.0f, 0.0f, false},
         {"odd_db", "dB", {}, "Extra gain on the odd harmonics: 1, 3, 5 and so on.", -24.0f, 24.0f, 0.0f, false},
         {"even_db", "dB", {}, "Extra gain on the even harmonics: 2, 4, 6 and so on.", -24.0f, 24.0f, 0.0f, false},
         {"bandwidth", "", {},
          "Each band's width as a fraction of the fundamental. Small is narrow and surgical.",
          0.02f, 1.0f, 0.25f, false},
         {"stretch", "", {},
          "Inharmonicity. Band k sits at k times the fundamental times sqrt(1 + stretch * k * k).",
          0.0f, 0.02f, 0.0f, false},
         {"trim_1_db", "dB", {}, "Extra gain on harmonic 1.", -24.0f, 24.0f, 0.0f, false},
         {"trim_2_db", "dB", {}, "Extra gain on harmonic 2.", -24.0f, 24.0f, 0.0f, false},
         {"trim_3_db", "dB", {}, "Extra gain on harmonic 3.", -24.0f, 24.0f, 0.0f, false},
         {"trim_4_db", "dB", {}, "Extra gain on harmonic 4.", -24.0f, 24.0f, 0.0f, false},
         {"trim_5_db", "dB", {}, "Extra gain on harmonic 5.", -24.0f, 24.0f, 0.0f, false},
         {"trim_6_db", "dB", {}, "Extra gain on harmonic 6.", -24.0f, 24.0f, 0.0f, false},
         {"trim_7_db", "dB", {}, "Extra gain on harmonic 7.", -24.0f, 24.0f, 0.0f, false},
         {"trim_8_db", "dB", {}, "Extra gain on harmonic 8.", -24.0f, 24.0f, 0.0f, false},
     }},
};

class CatalogueEntry : public ::testing::TestWithParam<ExpectedBlock> {};

TEST_P(CatalogueEntry, MatchesTheDocumentedDescriptor) {
    const ExpectedBlock& expected = GetParam();
    const BlockInfo* info = loom::find(expected.name);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, expected.name);
    EXPECT_EQ(info->doc, expected.doc);
    ASSERT_EQ(info->meters.size(), expected.meters.size());
    for (std::size_t i = 0; i < expected.meters.size(); ++i) EXPECT_EQ(info->meters[i], expected.meters[i]);
    ASSERT_EQ(info->args.size(), expected.args.size());
    for (std::size_t i = 0; i < expected.args.size(); ++i) {
        const ArgInfo& arg = info->args[i];
        const ExpectedArg& want = expected.args[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(arg.name, want.name);
        EXPECT_EQ(arg.unit, want.unit);
        ASSERT_EQ(arg.choices.size(), want.choices.size());
        for (std::size_t c = 0; c < want.choices.size(); ++c) EXPECT_EQ(arg.choices[c], want.choices[c]);
        EXPECT_EQ(arg.doc, want.doc);
        EXPECT_EQ(arg.min, want.min);
        EXPECT_EQ(arg.max, want.max);
        EXPECT_EQ(arg.default_value, want.default_value);
        EXPECT_EQ(arg.fixed, want.fixed);
    }
}

TEST_P(CatalogueEntry, ArgumentsAreConsistent) {
    const BlockInfo* info = loom::find(GetParam().name);
    ASSERT_NE(info, nullptr);
    for (std::size_t i = 0; i < info->args.size(); ++i) {
        const ArgInfo& arg = info->args[i];
        SCOPED_TRACE(arg.name);
        EXPECT_LE(arg.min, arg.default_value);
        EXPECT_LE(arg.default_value, arg.max);
        if (!arg.choices.empty()) {
            EXPECT_EQ(arg.min, 0.0f);
            EXPECT_EQ(arg.max, static_cast<float>(arg.choices.size() - 1));
            EXPECT_EQ(arg.default_value, std::round(arg.default_value));
        }
        for (std::size_t k = 0; k < i; ++k) EXPECT_NE(info->args[k].name, arg.name);
    }
}

INSTANTIATE_TEST_SUITE_P(All, CatalogueEntry, ::testing::ValuesIn(CATALOGUE), loom::test::RowName{});

TEST(Catalogue, ListsTheNineBlocksInOrder) {
    const std::string_view names[] = {"gain",   "filter",  "onepole", "shaper",     "dynamics",
                                      "delay",  "tremolo", "stereo",  "harmonic_eq"};
    const std::size_t counts[] = {3, 5, 2, 4, 13, 7, 4, 4, 17};
    ASSERT_EQ(loom::ALL.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        ASSERT_NE(loom::ALL[i], nullptr);
        EXPECT_EQ(loom::ALL[i]->name, names[i]);
        EXPECT_EQ(loom::ALL[i]->args.size(), counts[i]) << names[i];
        EXPECT_EQ(loom::find(names[i]), loom::ALL[i]);
    }
}

TEST(Catalogue, OnlyLookaheadAndMaxAreFixedAndOnlyGainReductionIsAMeter) {
    std::vector<std::string_view> fixed;
    std::vector<std::string_view> meters;
    for (const BlockInfo* info : loom::ALL) {
        for (const ArgInfo& arg : info->args)
            if (arg.fixed) fixed.push_back(arg.name);
        for (std::string_view meter : info->meters) meters.push_back(meter);
    }
    EXPECT_EQ(fixed, (std::vector<std::string_view>{"lookahead_ms", "max_ms"}));
    EXPECT_EQ(meters, (std::vector<std::string_view>{"gain_reduction_db"}));
}

TEST(Catalogue, FindComparesExactly) {
    for (std::string_view name : {"Gain", "biquad", "", "gain ", " gain", "GAIN", "one pole", "harmonic-eq"})
        EXPECT_EQ(loom::find(name), nullptr) << '"' << name << '"';
    using namespace std::string_view_literals;
    EXPECT_EQ(loom::find("gain\0"sv), nullptr);
    EXPECT_EQ(loom::find("filter"), loom::ALL[1]);
}

TEST(Catalogue, MakesEveryBlock) {
    for (const BlockInfo* info : loom::ALL) {
        ASSERT_NE(info->make, nullptr) << info->name;
        const std::unique_ptr<loom::Block> block = info->make();
        EXPECT_NE(block, nullptr) << info->name;
    }
}

} // namespace
