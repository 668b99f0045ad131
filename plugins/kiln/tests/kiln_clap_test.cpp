// kiln.clap loaded as a host loads it: its descriptor, its parameters, its state, and the
// same samples as the Kiln object driven directly.
#include "kiln/kiln.hpp"

#include "fake_host.hpp"
#include "loom/core/state.hpp"
#include "loom/test/allocation_counter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace lc = loom::clap;
using loom::test::AudioBlock;
using loom::test::EventList;
using loom::test::FakeHost;
using loom::test::ModuleInstance;

constexpr char KILN_ID[] = "velloran-labs.kiln";

std::vector<std::vector<float>> noise(std::size_t channels, std::size_t frames, std::uint32_t seed) {
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    for (auto& channel : out)
        for (float& x : channel) {
            seed = seed * 1664525u + 1013904223u;
            x = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        }
    return out;
}

TEST(KilnClap, DescribesItself) {
    const lc::clap_plugin_factory_t& factory = loom::test::module_factory(KILN_CLAP_PATH);
    ASSERT_EQ(factory.get_plugin_count(&factory), 1u);
    const lc::clap_plugin_descriptor_t* d = factory.get_plugin_descriptor(&factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->clap_version.major, 1u);
    EXPECT_EQ(d->clap_version.minor, 2u);
    EXPECT_EQ(d->clap_version.revision, 10u);
    EXPECT_STREQ(d->id, KILN_ID);
    EXPECT_STREQ(d->name, "Kiln");
    EXPECT_STREQ(d->vendor, "Velloran Labs");
    EXPECT_STREQ(d->version, "0.1.0");
    EXPECT_STREQ(d->description,
                 "Pushes the signal into a soft or hard clipper, then rolls off the highs with a one-pole low-pass.");
    EXPECT_STREQ(d->manual_url, "");
    EXPECT_STREQ(d->support_url, "");
    ASSERT_NE(d->features, nullptr);
    EXPECT_STREQ(d->features[0], "audio-effect");
    EXPECT_STREQ(d->features[1], "distortion");
    EXPECT_EQ(d->features[2], nullptr);
    EXPECT_EQ(factory.get_plugin_descriptor(&factory, 1), nullptr);
}

TEST(KilnClap, ListsItsFourParameters) {
    FakeHost host;
    const ModuleInstance kiln(host, KILN_CLAP_PATH, KILN_ID);
    struct Row { lc::clap_id id; const char* name; const char* module; std::uint32_t flags; double min, max, def; };
    const Row rows[] = {{0, "Drive", "Saturation", 0x20, 0, 24, 6},
                        {128, "Mode", "Saturation", 0x10021, 0, 1, 0},
                        {256, "Tone", "Tone", 0x20, 200, 16000, 8000},
                        {384, "Bypass", "", 0x31, 0, 1, 0}};
    const lc::clap_plugin_params_t& params = kiln.params();
    ASSERT_EQ(params.count(kiln.plugin()), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        lc::clap_param_info_t info{};
        ASSERT_TRUE(params.get_info(kiln.plugin(), i, &info));
        EXPECT_EQ(info.id, rows[i].id);
        EXPECT_STREQ(info.name, rows[i].name);
        EXPECT_STREQ(info.module, rows[i].module);
        EXPECT_EQ(info.flags, rows[i].flags);
        EXPECT_EQ(info.min_value, rows[i].min);
        EXPECT_EQ(info.max_value, rows[i].max);
        EXPECT_EQ(info.default_value, rows[i].def);
        EXPECT_EQ(kiln.value(rows[i].id), rows[i].def);
    }
    lc::clap_param_info_t info{};
    EXPECT_FALSE(params.get_info(kiln.plugin(), 4, &info));

    char text[64];
    ASSERT_TRUE(params.value_to_text(kiln.plugin(), 0, 6.0, text, sizeof text));
    EXPECT_STREQ(text, "6.00 dB");
    ASSERT_TRUE(params.value_to_text(kiln.plugin(), 128, 1.0, text, sizeof text));
    EXPECT_STREQ(text, "Hard");
    ASSERT_TRUE(params.value_to_text(kiln.plugin(), 256, 8000.0, text, sizeof text));
    EXPECT_STREQ(text, "8000.00 Hz");
    double value = 0;
    ASSERT_TRUE(params.text_to_value(kiln.plugin(), 128, " hard ", &value));
    EXPECT_EQ(value, 1.0);
    ASSERT_TRUE(params.text_to_value(kiln.plugin(), 0, "-6.5 dB", &value));
    EXPECT_EQ(value, -6.5);
    ASSERT_TRUE(params.text_to_value(kiln.plugin(), 384, "On", &value));
    EXPECT_EQ(value, 1.0);
}

TEST(KilnClap, SavesAndLoadsTheFortyFourBytes) {
    FakeHost host;
    const ModuleInstance kiln(host, KILN_CLAP_PATH, KILN_ID);
    loom::test::OutStream out;
    out.per_call = 1;
    ASSERT_TRUE(kiln.state().save(kiln.plugin(), &out.stream));
    kiln::Kiln fresh;
    EXPECT_EQ(out.bytes, loom::state::save(fresh.params()));
    EXPECT_EQ(out.bytes.size(), 44u);

    std::vector<std::uint8_t> bytes = out.bytes;
    const float drive = 18.0f;
    std::memcpy(bytes.data() + 16, &drive, 4);
    loom::test::InStream in(bytes);
    ASSERT_TRUE(kiln.state().load(kiln.plugin(), &in.stream));
    EXPECT_EQ(kiln.value(0), 18.0);
    ASSERT_EQ(host.rescans.size(), 1u);
}

struct Pattern {
    const char* name;
    std::uint32_t channels;
    std::vector<std::uint32_t> blocks; // host block sizes, cycled
};

const Pattern PATTERNS[] = {
    {"MonoOddBlocks", 1, {1, 31, 33, 100, 7}},
    {"StereoBlocksOf512", 2, {512}},
    {"StereoSmallBlocks", 2, {32, 16, 48, 5}},
    {"SixChannels", 6, {64, 257, 3}},
};

class KilnClapSamples : public ::testing::TestWithParam<Pattern> {};

// Events arrive at the start of a block; the Kiln object gets the same values set before the
// same block, so both must give the same samples, bit for bit.
TEST_P(KilnClapSamples, EqualTheKilnObjectDrivenDirectly) {
    const Pattern& p = GetParam();
    FakeHost host;
    const ModuleInstance clap(host, KILN_CLAP_PATH, KILN_ID);
    if (p.channels != 2) {
        ASSERT_TRUE(clap.configure(p.channels));
    }
    ASSERT_TRUE(clap.activate(44100.0, 512));

    kiln::Kiln direct;
    loom::ParamSet params = direct.params();
    params.set_channels(p.channels);
    direct.prepare({.max_frames = 512, .sample_rate = 44100.0f, .channels = p.channels});

    std::uint32_t seed = 7;
    for (std::size_t n = 0; n < 24; ++n) {
        const std::uint32_t frames = p.blocks[n % p.blocks.size()];
        auto input = noise(p.channels, frames, seed++);
        AudioBlock block(input, p.channels, frames);
        EventList events;
        const double drive = static_cast<double>((n * 5) % 25);
        const double mode = static_cast<double>(n / 3 % 2);
        const double tone = 300.0 + static_cast<double>(n * 700);
        const double bypass = n % 7 == 6 ? 1.0 : 0.0;
        events.value(0, drive);
        events.value(128, mode);
        events.value(256, tone);
        events.value(384, bypass);
        block.process.in_events = events.list();
        ASSERT_EQ(clap.process(block.process), lc::CLAP_PROCESS_CONTINUE);

        params.at(0).set(static_cast<float>(drive));
        params.at(1).set(static_cast<float>(mode));
        params.at(2).set(static_cast<float>(tone));
        params.at(3).set(static_cast<float>(bypass));
        std::vector<std::span<float>> buffers(input.begin(), input.end());
        direct.process(buffers, loom::ProcessContext{.sample_rate = 44100.0f});
        for (std::size_t ch = 0; ch < p.channels; ++ch) ASSERT_EQ(block.out[ch], input[ch]) << "block " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(All, KilnClapSamples, ::testing::ValuesIn(PATTERNS),
                         [](const ::testing::TestParamInfo<Pattern>& row) { return std::string(row.param.name); });

TEST(KilnClap, ProcessesWithoutAllocating) {
    FakeHost host;
    const ModuleInstance clap(host, KILN_CLAP_PATH, KILN_ID);
    ASSERT_TRUE(clap.activate(48000.0, 256));
    AudioBlock block(noise(2, 256, 3), 2, 256);
    EventList events;
    lc::clap_event_param_value_t& drive = events.value(0, 12.0);
    lc::clap_event_param_value_t& bypass = events.value(384, 1.0);
    block.process.in_events = events.list();
    ASSERT_EQ(clap.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    loom::test::AllocationCounter counter;
    for (int i = 0; i < 16; ++i) {
        drive.value = i;
        bypass.value = i % 2;
        ASSERT_EQ(clap.process(block.process), lc::CLAP_PROCESS_CONTINUE);
    }
    EXPECT_EQ(counter.count(), 0u);
}

} // namespace
