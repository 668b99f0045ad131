// loom render through build/kiln.clap against the Kiln object processed directly, through a
// graph description against the blocks' formulas worked out here, and every way a render
// can fail: a clear line, the right exit code, and no output file, partial or temporary.

#include "kiln/kiln.hpp"
#include "run_tool.hpp"
#include "wav_files.hpp"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

namespace {

using loom::test::read_sound;
using loom::test::run_loom;
using loom::test::TempDir;
using loom::test::write_sound;
using Channels = std::vector<std::vector<float>>;

constexpr int FLOAT_WAV = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// A sweep in one channel and a chord-like sum in the other, loud enough to clip when driven.
Channels test_audio(std::size_t channels, std::size_t frames, double rate) {
    Channels out(channels, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double sweep = 0.7 * std::sin(2.0 * std::numbers::pi * (60.0 * t + 900.0 * t * t));
        const double chord = 0.3 * (std::sin(2.0 * std::numbers::pi * 220.0 * t) + std::sin(2.0 * std::numbers::pi * 277.2 * t) +
                                    std::sin(2.0 * std::numbers::pi * 329.6 * t));
        for (std::size_t c = 0; c < channels; ++c) out[c][i] = static_cast<float>(c % 2 == 0 ? sweep : chord);
    }
    return out;
}

// Kiln processed directly, in blocks of `block` frames, with its parameters set beforehand.
Channels kiln_direct(Channels audio, float rate, float drive, float mode, float tone, float bypass, std::size_t block) {
    kiln::Kiln k;
    loom::ParamSet params = k.params();
    params.set_channels(audio.size());
    params.at(0).set(drive);
    params.at(1).set(mode);
    params.at(2).set(tone);
    params.at(3).set(bypass);
    k.prepare({.max_frames = block, .sample_rate = rate, .channels = static_cast<std::uint32_t>(audio.size())});
    const std::size_t frames = audio[0].size();
    std::vector<std::span<float>> buffers(audio.size());
    for (std::size_t at = 0; at < frames; at += block) {
        const std::size_t n = std::min(block, frames - at);
        for (std::size_t c = 0; c < audio.size(); ++c) buffers[c] = std::span<float>(audio[c].data() + at, n);
        k.process(buffers, loom::ProcessContext{.sample_rate = rate});
    }
    return audio;
}

// The first sample where two signals differ, for a readable failure.
std::string first_difference(const Channels& a, const Channels& b) {
    if (a.size() != b.size()) return "channel counts differ";
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (a[c].size() != b[c].size()) return "lengths differ";
        for (std::size_t i = 0; i < a[c].size(); ++i)
            if (a[c][i] != b[c][i] && !(std::isnan(a[c][i]) && std::isnan(b[c][i])))
                return "channel " + std::to_string(c) + " sample " + std::to_string(i) + ": " + std::to_string(a[c][i]) +
                       " against " + std::to_string(b[c][i]);
    }
    return "";
}

class RenderTest : public ::testing::Test {
protected:
    RenderTest() : in(dir.file("in.wav")), out(dir.file("out.wav")) {}

    // Runs `loom render in.wav out.wav` with `more` after it.
    loom::test::ToolRun render(std::vector<std::string> more, const std::string& input = "") {
        std::vector<std::string> args = {"render", in, out};
        args.insert(args.end(), more.begin(), more.end());
        return run_loom(args, input);
    }

    TempDir dir;
    std::string in;
    std::string out;
};

TEST_F(RenderTest, ThroughKilnEqualsKilnProcessedDirectly) {
    const Channels audio = test_audio(2, 48000, 48000.0);
    write_sound(in, audio, 48000, FLOAT_WAV);
    // A name in another case, a display text and a parameter id.
    const auto r = render({"--plugin", KILN_CLAP_PATH, "--set", "drive=12", "--set", "Mode=Hard", "--set", "256=2000"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "wrote " + out + ": 48000 frames, 2 channels, 48000 Hz, 32-bit float\n");

    const loom::test::SoundFile result = read_sound(out);
    EXPECT_EQ(result.format, FLOAT_WAV);
    EXPECT_EQ(result.sample_rate, 48000);
    const Channels expected = kiln_direct(audio, 48000.0f, 12.0f, 1.0f, 2000.0f, 0.0f, 512);
    EXPECT_EQ(first_difference(result.channels, expected), "");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(RenderTest, TheBlockSizeDoesNotChangeTheSound) {
    const Channels audio = test_audio(2, 10000, 48000.0);
    write_sound(in, audio, 48000, FLOAT_WAV);
    const Channels expected = kiln_direct(audio, 48000.0f, 18.0f, 0.0f, 5000.0f, 0.0f, 512);
    for (const char* block : {"1", "37", "512", "1048576"}) {
        SCOPED_TRACE(block);
        const auto r = render({"--plugin", KILN_CLAP_PATH, "--set", "drive=18", "--set", "tone=5000", "--block", block});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(first_difference(read_sound(out).channels, expected), "");
    }
}

TEST_F(RenderTest, AMonoFileGetsAOneChannelKilnAtItsOwnRate) {
    // 16-bit samples: the tool hands Kiln the same floats libsndfile reads here.
    write_sound(in, test_audio(1, 22050, 44100.0), 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const Channels audio = read_sound(in).channels;
    const auto r = render({"--plugin", KILN_CLAP_PATH, "--set", "drive=6 dB", "--set", "bypass=On"});
    ASSERT_EQ(r.code, 0) << r.err;
    const loom::test::SoundFile result = read_sound(out);
    EXPECT_EQ(result.sample_rate, 44100);
    EXPECT_EQ(result.format, FLOAT_WAV);
    EXPECT_EQ(first_difference(result.channels, kiln_direct(audio, 44100.0f, 6.0f, 0.0f, 8000.0f, 1.0f, 512)), "");
    // Bypass is on from the start, so the output is the input.
    EXPECT_EQ(first_difference(result.channels, audio), "");
}

TEST_F(RenderTest, AnEmptyFileGivesAnEmptyFile) {
    write_sound(in, Channels(2), 48000, FLOAT_WAV);
    const auto r = render({"--plugin", KILN_CLAP_PATH});
    ASSERT_EQ(r.code, 0) << r.err;
    const loom::test::SoundFile result = read_sound(out);
    EXPECT_EQ(result.channels.size(), 2u);
    EXPECT_EQ(result.channels[0].size(), 0u);
}

// Worked out from the blocks' formulas for one channel with constant parameters: the gain
// branch x·10^(g/20) and the shaper branch tanh(x·10^(6/20)) at -6 dB summed, then the
// one-pole low-pass y += a·(x − y) with a = 1 − e^(−2π·fc/rate), fc = 2^log2(tone).
std::vector<float> graph_model(const std::vector<float>& x, float g, float tone, float rate) {
    const float gain = std::exp(g * 0.11512925f);
    const float drive = std::exp(6.0f * 0.11512925f);
    const float branch = std::exp(-6.0f * 0.11512925f);
    const float fc = std::clamp(std::exp2(std::log2(tone)), 1.0f, 0.49f * rate);
    const float a = 1.0f - std::exp((fc * -6.2831855f) / rate);
    std::vector<float> y(x.size());
    float state = 0.0f;
    for (std::size_t i = 0; i < x.size(); ++i) {
        float sum = 0.0f;
        sum += (x[i] * gain) * 1.0f;
        sum += std::tanh(0.0f + x[i] * drive) * branch;
        state = state + a * (sum - state);
        y[i] = std::fabs(state) < 1e-30f ? 0.0f : state;
    }
    return y;
}

constexpr char GRAPH[] =
    R"({"chain":[{"parallel":[{"node":{"block":"gain","args":{"gain_db":"g"}}},)"
    R"({"node":{"block":"shaper","args":{"curve":"tanh","drive_db":6}},"gain_db":-6}]},)"
    R"({"block":"onepole","args":{"type":"lowpass","freq":"tone"}}]})";

TEST_F(RenderTest, ThroughAGraphOfSeveralBlocks) {
    const Channels audio = test_audio(1, 30000, 48000.0);
    write_sound(in, audio, 48000, FLOAT_WAV);
    loom::test::write_bytes(dir.file("graph.json"), GRAPH);
    const auto r = render({"--graph", dir.file("graph.json"), "--set", "g=3", "--set", "tone=2000", "--block", "100"});
    ASSERT_EQ(r.code, 0) << r.err;
    const loom::test::SoundFile result = read_sound(out);
    EXPECT_EQ(result.format, FLOAT_WAV);
    EXPECT_EQ(first_difference(result.channels, {graph_model(audio[0], 3.0f, 2000.0f, 48000.0f)}), "");

    // The same description from standard input gives the same file.
    const auto piped = render({"--graph", "-", "--set", "g=3", "--set", "tone=2000"}, GRAPH);
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(first_difference(read_sound(out).channels, result.channels), "");
}

TEST_F(RenderTest, AGraphThatDoesNotCompileIsAnInputFault) {
    write_sound(in, test_audio(1, 100, 48000.0), 48000, FLOAT_WAV);
    loom::test::write_bytes(dir.file("graph.json"), GRAPH);
    // tone is not among the --set names.
    const auto r = render({"--graph", dir.file("graph.json"), "--set", "g=3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "loom render: " + dir.file("graph.json") +
                         ": graph.chain[1]: onepole.freq: 'tone' is not a parameter, a modulator or a built-in name. "
                         "The names available are: g\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"graph.json", "in.wav"}));
}

struct FailureCase {
    const char* name;
    std::string input_bytes; // written to in.wav; empty: no input file
    std::vector<std::string> options;
    int code;
    std::string message; // "IN" stands for the input path, "OUT" for the output path
};

std::string replaced(std::string text, const std::string& in, const std::string& out) {
    for (std::size_t at; (at = text.find("IN")) != std::string::npos;) text.replace(at, 2, in);
    for (std::size_t at; (at = text.find("OUT")) != std::string::npos;) text.replace(at, 3, out);
    return text;
}

TEST_F(RenderTest, FailuresLeaveNoFileBehind) {
    const std::string riff_header("RIFF\x24\x00\x00\x00WAVEfmt ", 16);
    const FailureCase cases[] = {
        {"MissingInput", "", {"--plugin", KILN_CLAP_PATH}, 1, "loom render: cannot read 'IN': No such file or directory"},
        {"NotASoundFile", "hello, I am text", {"--plugin", KILN_CLAP_PATH}, 1,
         "loom render: cannot read 'IN': not a sound file libsndfile can read (format not recognised)"},
        {"TruncatedHeader", riff_header, {"--plugin", KILN_CLAP_PATH}, 1, ""},
        {"UnknownParameter", "good", {"--plugin", KILN_CLAP_PATH, "--set", "gain=3"}, 2,
         "loom render: --set gain=3: the plug-in has no parameter 'gain'. Its parameters are: Drive (0), Mode (128), "
         "Tone (256), Bypass (384). See 'loom render --help'"},
        {"UnreadableValue", "good", {"--plugin", KILN_CLAP_PATH, "--set", "mode=Loud"}, 2,
         "loom render: --set mode=Loud: the plug-in cannot read 'Loud' as a value of Mode. See 'loom render --help'"},
        {"InfiniteValue", "good", {"--plugin", KILN_CLAP_PATH, "--set", "drive=inf"}, 2,
         "loom render: --set drive=inf: the value must be a finite number. See 'loom render --help'"},
        {"MissingPlugin", "good", {"--plugin", "/nonexistent/kiln.clap"}, 1,
         "loom render: cannot load '/nonexistent/kiln.clap': No such file or directory"},
        {"MissingGraph", "good", {"--graph", "/nonexistent/graph.json"}, 1,
         "loom render: cannot read '/nonexistent/graph.json': No such file or directory"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir here;
        in = here.file("in.wav");
        out = here.file("out.wav");
        if (c.input_bytes == "good") write_sound(in, test_audio(2, 1000, 48000.0), 48000, FLOAT_WAV);
        else if (!c.input_bytes.empty()) loom::test::write_bytes(in, c.input_bytes);
        const auto r = render(c.options);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.out, "");
        if (c.message.empty()) {
            EXPECT_EQ(r.err.rfind("loom render: cannot read '" + in + "': ", 0), 0u) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        } else {
            EXPECT_EQ(r.err, replaced(c.message, in, out) + "\n");
        }
        const std::vector<std::string> expected =
            c.input_bytes.empty() ? std::vector<std::string>{} : std::vector<std::string>{"in.wav"};
        EXPECT_EQ(here.names(), expected);
    }
}

TEST_F(RenderTest, AnOutputThatCannotBeWrittenLeavesNothing) {
    write_sound(in, test_audio(2, 1000, 48000.0), 48000, FLOAT_WAV);
    const std::string nowhere = dir.file("missing/out.wav");
    const auto missing = run_loom({"render", in, nowhere, "--plugin", KILN_CLAP_PATH});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "loom render: cannot write '" + nowhere + "': No such file or directory\n");

    // A folder in the way: the finished temporary file cannot take its place and is removed.
    std::filesystem::create_directory(dir.file("taken.wav"));
    const auto taken = run_loom({"render", in, dir.file("taken.wav"), "--plugin", KILN_CLAP_PATH});
    EXPECT_EQ(taken.code, 1);
    EXPECT_EQ(taken.err, "loom render: cannot write '" + dir.file("taken.wav") + "': Is a directory\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.wav", "taken.wav"}));
}

TEST_F(RenderTest, AFailedRenderKeepsTheOldOutput) {
    write_sound(in, test_audio(2, 1000, 48000.0), 48000, FLOAT_WAV);
    loom::test::write_bytes(out, "the old output");
    const auto r = render({"--plugin", KILN_CLAP_PATH, "--set", "mode=Loud"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.wav", "out.wav"}));
    std::ifstream f(out);
    const std::string kept{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    EXPECT_EQ(kept, "the old output");
}

TEST_F(RenderTest, TooManyChannelsAreRefused) {
    write_sound(in, Channels(65, std::vector<float>(10, 0.25f)), 48000, FLOAT_WAV);
    const auto r = render({"--plugin", KILN_CLAP_PATH});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "loom render: '" + in + "' has 65 channels; at most 64 can be processed\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.wav"}));
}

} // namespace
