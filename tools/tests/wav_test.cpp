// WAV reading and writing called directly: what comes in from integer and float files, what
// goes out, and that a write that fails leaves nothing behind.

#include "loom/tool/wav.hpp"

#include "wav_files.hpp"

#include <gtest/gtest.h>
#include <sndfile.h>

namespace {

using loom::test::TempDir;

TEST(Wav, ReadsSixteenBitSamplesAsFractionsOfFullScale) {
    TempDir dir;
    // 16-bit values k are read back as k / 32768.
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(dir.file("a.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const short interleaved[] = {16384, -16384, -32768, 0, 8192, 1};
    ASSERT_EQ(sf_writef_short(f, interleaved, 3), 3);
    sf_close(f);
    const auto audio = loom::tool::read_wav(dir.file("a.wav"));
    ASSERT_TRUE(audio.has_value()) << audio.error();
    EXPECT_EQ(audio->sample_rate, 44100.0);
    EXPECT_EQ(audio->channels, (std::vector<std::vector<float>>{{0.5f, -1.0f, 0.25f}, {-0.5f, 0.0f, 1.0f / 32768.0f}}));
}

TEST(Wav, WritesFloatWavThatReadsBackExactly) {
    TempDir dir;
    loom::tool::Audio audio{96000.0, {{1e-30f, -3.5f, 0.1f}, {2.0f, 0.0f, -0.0f}, {1.0f, 0.5f, 0.25f}}};
    ASSERT_TRUE(loom::tool::write_wav(dir.file("b.wav"), audio).has_value());
    const loom::test::SoundFile back = loom::test::read_sound(dir.file("b.wav"));
    EXPECT_EQ(back.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(back.sample_rate, 96000);
    EXPECT_EQ(back.channels, audio.channels);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"b.wav"}));
}

TEST(Wav, AFailedWriteLeavesNothing) {
    TempDir dir;
    const loom::tool::Audio audio{48000.0, {{0.0f}}};
    const auto missing = loom::tool::write_wav(dir.file("no/such/folder.wav"), audio);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(), "cannot write '" + dir.file("no/such/folder.wav") + "': No such file or directory");
    const auto no_channels = loom::tool::write_wav(dir.file("c.wav"), loom::tool::Audio{48000.0, {}});
    ASSERT_FALSE(no_channels.has_value());
    EXPECT_EQ(no_channels.error(), "cannot write '" + dir.file("c.wav") + "': there are no channels to write");
    EXPECT_TRUE(dir.names().empty());
}

TEST(Wav, ReadFailuresNameTheFile) {
    TempDir dir;
    loom::test::write_bytes(dir.file("text.wav"), "plain text");
    const auto text = loom::tool::read_wav(dir.file("text.wav"));
    ASSERT_FALSE(text.has_value());
    EXPECT_EQ(text.error(), "cannot read '" + dir.file("text.wav") +
                                "': not a sound file libsndfile can read (format not recognised)");
    const auto folder = loom::tool::read_wav(dir.path());
    ASSERT_FALSE(folder.has_value());
    EXPECT_EQ(folder.error(), "cannot read '" + dir.path() + "': Is a directory");
}

} // namespace
