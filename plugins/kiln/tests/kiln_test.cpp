#include "kiln/kiln.hpp"

#include "loom/core/state.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Kiln's signal path worked out sample by sample from the design of its three blocks and the
// bypass wrapper, fused into one loop: the reference the plug-in must match.
class Model {
public:
    Model(float rate, std::size_t channels) : sample_rate(rate), memory(channels, 0.0f) {
        smoothing = 1.0f - std::exp(-32.0f / (rate * 0.005f));
    }

    // Parameter values as a host would set them; read at the next period start.
    float drive = 6, mode = 0, tone = 8000, bypass = 0;

    void process(std::vector<std::vector<float>>& audio) {
        const std::size_t frames = audio[0].size();
        for (std::size_t i = 0; i < frames; ++i) {
            if (position == 0) control();
            const float u = static_cast<float>(position + 1) / 32.0f;
            const bool fully_wet = mix_from == 1.0f && mix_to == 1.0f;
            for (std::size_t ch = 0; ch < audio.size(); ++ch) {
                const float x = audio[ch][i];
                float wet = x;
                if (fully_wet || mix_from > 0.0f || mix_to > 0.0f) {
                    const bool left = memory.size() != 2 || ch == 0;
                    const float from = left ? gain_from_l : gain_from_r;
                    const float to = left ? gain_to_l : gain_to_r;
                    const float gained = from == to ? x * to : x * (from + (to - from) * u);
                    const float shaped = curve < 0.5f ? std::tanh(gained) : std::clamp(gained, -1.0f, 1.0f);
                    memory[ch] += coefficient * (shaped - memory[ch]);
                    wet = memory[ch];
                }
                float y = wet;
                if (!fully_wet) {
                    const float g = mix_from + (mix_to - mix_from) * u;
                    y = x + g * (wet - x);
                }
                audio[ch][i] = std::fabs(y) < 1e-30f ? 0.0f : y;
            }
            if (++position == 32) {
                position = 0;
                for (float& m : memory)
                    if (std::fabs(m) < 1e-20f) m = 0.0f;
            }
        }
    }

private:
    void control() {
        float left = std::exp(drive * 0.11512925f), right = left;
        if (memory.size() == 2) {
            const float s = left;
            left = s * 1.4142135f * std::cos(0.7853982f);
            right = s * 1.4142135f * std::sin(0.7853982f);
        }
        gain_from_l = started ? gain_to_l : left;
        gain_from_r = started ? gain_to_r : right;
        gain_to_l = left;
        gain_to_r = right;
        curve = mode;
        log_freq = started ? log_freq + smoothing * (std::log2(tone) - log_freq) : std::log2(tone);
        const float fc = std::clamp(std::exp2(log_freq), 1.0f, 0.49f * sample_rate);
        coefficient = 1.0f - std::exp((fc * -6.2831855f) / sample_rate);
        const float m = bypass >= 0.5f ? 0.0f : 1.0f;
        mix_from = started ? mix_to : m;
        mix_to = m;
        started = true;
    }

    float sample_rate;
    std::vector<float> memory;
    float smoothing = 0, log_freq = 0, coefficient = 0, curve = 0;
    float gain_from_l = 0, gain_to_l = 0, gain_from_r = 0, gain_to_r = 0;
    float mix_from = 1, mix_to = 1;
    bool started = false;
    std::size_t position = 0;
};

std::vector<std::vector<float>> sines(std::size_t channels, std::size_t frames, float rate) {
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    for (std::size_t ch = 0; ch < channels; ++ch)
        for (std::size_t i = 0; i < frames; ++i)
            out[ch][i] = static_cast<float>(0.8 * std::sin(2.0 * std::numbers::pi * (110.0 + 57.0 * double(ch)) *
                                                           double(i) / double(rate)));
    return out;
}

void run(kiln::Kiln& plugin, std::vector<std::vector<float>>& audio, std::size_t from, std::size_t count) {
    std::vector<std::span<float>> buffers;
    for (auto& ch : audio) buffers.emplace_back(ch.data() + from, count);
    plugin.process(buffers, loom::ProcessContext{});
}

// One step of a scenario: parameter values, then a host buffer of `frames`.
struct Step {
    float drive, mode, tone, bypass;
    std::size_t frames;
};

struct Scenario {
    const char* name;
    float rate;
    std::size_t channels;
    std::vector<Step> steps;
};

const Scenario SCENARIOS[] = {
    {"SoftAtDefaults", 48000, 2, {{6, 0, 8000, 0, 512}, {6, 0, 8000, 0, 512}}},
    {"SoftDriveSweep", 48000, 2, {{0, 0, 8000, 0, 100}, {12, 0, 8000, 0, 100}, {24, 0, 8000, 0, 300}}},
    {"HardSeveralDrives", 44100, 1, {{0, 1, 16000, 0, 64}, {9, 1, 16000, 0, 77}, {24, 1, 16000, 0, 333}}},
    {"ToneDark", 48000, 2, {{12, 0, 200, 0, 1000}}},
    {"ToneBright", 96000, 2, {{12, 1, 16000, 0, 1000}}},
    {"ToneSweepSmoothed", 48000, 1, {{6, 0, 200, 0, 96}, {6, 0, 16000, 0, 800}}},
    {"ModeSwitchMidBuffer", 48000, 3, {{18, 0, 4000, 0, 45}, {18, 1, 4000, 0, 45}, {18, 0, 4000, 0, 45}}},
    {"BypassToggledMidBuffer", 48000, 2,
     {{12, 0, 3000, 0, 70}, {12, 0, 3000, 1, 70}, {12, 0, 3000, 1, 90}, {12, 0, 3000, 0, 70}, {12, 0, 3000, 0, 64}}},
    {"OddBufferSizes", 48000, 2,
     {{6, 0, 8000, 0, 1}, {7, 0, 8000, 0, 7}, {8, 1, 9000, 0, 33}, {9, 1, 9000, 0, 31}, {10, 0, 700, 0, 257}}},
    {"SixChannels", 48000, 6, {{15, 1, 2500, 0, 200}}},
};

class KilnSound : public ::testing::TestWithParam<Scenario> {};

TEST_P(KilnSound, MatchesTheDesignWorkedOutSampleBySample) {
    const Scenario& s = GetParam();
    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(s.channels);
    plugin.prepare({.max_frames = 4096, .sample_rate = s.rate, .channels = static_cast<std::uint32_t>(s.channels)});
    Model model(s.rate, s.channels);

    std::size_t total = 0;
    for (const Step& step : s.steps) total += step.frames;
    const auto input = sines(s.channels, total, s.rate);
    auto actual = input;
    auto expected = input;

    std::size_t at = 0;
    for (const Step& step : s.steps) {
        params.at(0).set(step.drive);
        params.at(1).set(step.mode);
        params.at(2).set(step.tone);
        params.at(3).set(step.bypass);
        run(plugin, actual, at, step.frames);
        at += step.frames;
    }
    // The model reads the parameters at period starts only, so replay the same changes at
    // the same sample positions.
    at = 0;
    for (const Step& step : s.steps) {
        model.drive = step.drive, model.mode = step.mode, model.tone = step.tone, model.bypass = step.bypass;
        std::vector<std::vector<float>> piece;
        for (auto& ch : expected) piece.emplace_back(ch.begin() + at, ch.begin() + at + step.frames);
        model.process(piece);
        for (std::size_t ch = 0; ch < piece.size(); ++ch) std::copy(piece[ch].begin(), piece[ch].end(), expected[ch].begin() + at);
        at += step.frames;
    }
    for (std::size_t ch = 0; ch < s.channels; ++ch)
        for (std::size_t i = 0; i < total; ++i)
            ASSERT_NEAR(actual[ch][i], expected[ch][i], 1e-6) << "channel " << ch << " sample " << i;
}

INSTANTIATE_TEST_SUITE_P(All, KilnSound, ::testing::ValuesIn(SCENARIOS), loom::test::RowName{});

TEST(Kiln, StartsAtItsDefaults) {
    kiln::Kiln plugin;
    const loom::ParamSet params = plugin.params();
    ASSERT_EQ(params.size(), 4u);
    const char* displays[] = {"6.00 dB", "Soft", "8000.00 Hz", "Off"};
    const float values[] = {6, 0, 8000, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(params.at(i).get(), values[i]);
        EXPECT_EQ(params.at(i).info().display(params.at(i).get()), displays[i]);
        EXPECT_EQ(params.at(i).cells(), 1u);
    }
    EXPECT_EQ(params.max_channels(), 64u);
    EXPECT_EQ(plugin.latency_samples(), 0u);
    EXPECT_EQ(plugin.tail_samples(), 0u);
    EXPECT_EQ(kiln::GRAPH.size(), 176u);
    const loom::Layout layout = kiln::Kiln::layout();
    ASSERT_EQ(layout.inputs.size(), 1u);
    ASSERT_EQ(layout.outputs.size(), 1u);
    EXPECT_EQ(layout.inputs[0].name, "Main");
    EXPECT_EQ(loom::channel_range(layout.inputs[0].channels), (loom::ChannelRange{1, 64}));
    EXPECT_EQ(loom::channel_range(layout.outputs[0].channels), (loom::ChannelRange{1, 64}));
    EXPECT_FALSE(loom::plugin_is_instrument<kiln::Kiln>());
}

TEST(Kiln, SavesTheFortyFourBytesOfAFreshObject) {
    kiln::Kiln plugin;
    const Bytes expected = {'L', 'O', 'O', 'M', 1, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x00, 0xC0, 0x40,
                            1,   0,   0,   0,   0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0xFA, 0x45, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(loom::state::save(plugin.params()), expected);

    kiln::Kiln other;
    loom::ParamSet p = other.params();
    p.at(0).set(20);
    p.at(3).set(1);
    ASSERT_TRUE(loom::state::load(p, expected));
    EXPECT_EQ(p.at(0).get(), 6.0f);
    EXPECT_EQ(p.at(3).get(), 0.0f);
}

TEST(Kiln, BypassedOutputIsTheInputOnceTheGlideHasPassed) {
    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(2);
    plugin.prepare({.max_frames = 512, .sample_rate = 48000, .channels = 2});
    params.at(0).set(24);
    params.at(3).set(1);
    auto input = sines(2, 512, 48000);
    input[0][100] = 1e-31f; // below the flush threshold: comes back as 0
    input[1][101] = -2e-30f;
    auto audio = input;
    run(plugin, audio, 0, 512);
    for (std::size_t ch = 0; ch < 2; ++ch)
        for (std::size_t i = 0; i < 512; ++i) {
            const float want = ch == 0 && i == 100 ? 0.0f : input[ch][i];
            ASSERT_EQ(audio[ch][i], want) << ch << " " << i;
        }
}

TEST(Kiln, ProcessDoesNotAllocate) {
    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(2);
    plugin.prepare({.max_frames = 512, .sample_rate = 48000, .channels = 2});
    auto audio = sines(2, 1024, 48000);
    run(plugin, audio, 0, 512);
    std::vector<std::span<float>> buffers(2);
    loom::test::AllocationCounter counter;
    for (std::size_t i = 0; i < 8; ++i) {
        params.at(0).set(static_cast<float>(i * 3));
        params.at(1).set(static_cast<float>(i % 2));
        params.at(3).set(static_cast<float>(i / 4));
        for (std::size_t ch = 0; ch < 2; ++ch) buffers[ch] = std::span<float>(audio[ch].data() + 512 + i * 50, 37);
        plugin.process(buffers, loom::ProcessContext{.tempo = 100.0});
        (void)plugin.tail_samples();
        (void)plugin.latency_samples();
    }
    EXPECT_EQ(counter.count(), 0u);
}

} // namespace
