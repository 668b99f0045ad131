// loom demo, the main job: every file it promises, each render the same as `loom render`
// with the same settings, and a picture.

#include "run_tool.hpp"
#include "wav_files.hpp"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using loom::test::run_loom;

TEST(Demo, WritesEveryRenderTheTableAndThePicture) {
    loom::test::TempDir dir;
    const std::string out = dir.file("out");
    const auto r = run_loom({"demo", out});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> files = {
        "kiln-hard-12db-bright.wav", "kiln-hard-12db-dark.wav", "kiln-hard-12db.wav", "kiln-hard-24db.wav",
        "kiln-hard-6db.wav",         "kiln-soft-0db.wav",       "kiln-soft-12db.wav", "kiln-soft-24db.wav",
        "kiln-soft-6db.wav",         "kiln.svg",                "test-signal.wav"};
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(out)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, files);

    for (const std::string& f : files) {
        if (f.ends_with(".svg")) continue;
        SCOPED_TRACE(f);
        const loom::test::SoundFile s = loom::test::read_sound(out + "/" + f);
        EXPECT_EQ(s.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        EXPECT_EQ(s.sample_rate, 48000);
        ASSERT_EQ(s.channels.size(), 2u);
        EXPECT_EQ(s.channels[0].size(), 192000u);
        // Each render's row names its file in the table.
        if (f != "test-signal.wav") {
            EXPECT_NE(r.out.find(out + "/" + f + "\n"), std::string::npos);
        }
    }
    EXPECT_NE(r.out.find("  Hard  12 dB    800 Hz  "), std::string::npos) << r.out;

    // A render of the demo equals the same render by hand.
    const std::string again = dir.file("again.wav");
    const auto by_hand = run_loom({"render", out + "/test-signal.wav", again, "--plugin", KILN_CLAP_PATH, "--set",
                                   "drive=24", "--set", "mode=Hard", "--set", "tone=8000"});
    ASSERT_EQ(by_hand.code, 0) << by_hand.err;
    EXPECT_EQ(loom::test::read_sound(again).channels, loom::test::read_sound(out + "/kiln-hard-24db.wav").channels);

    std::ifstream svg_file(out + "/kiln.svg");
    const std::string svg{std::istreambuf_iterator<char>(svg_file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
    EXPECT_TRUE(svg.ends_with("</svg>\n"));
    for (const char* title : {"Kiln: what the saturator does", "Soft: the tanh curve", "Hard: the clipper",
                              "Spectrum of the bass note", "Spectrum of the chord"})
        EXPECT_NE(svg.find(title), std::string::npos) << title;
}

TEST(Demo, WithoutKilnBesideItSaysWhatIsMissing) {
    loom::test::TempDir dir;
    const std::string copy = dir.file("loom");
    std::filesystem::copy_file(LOOM_TOOL_PATH, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    // Run the copy: no kiln.clap sits beside it.
    const std::string command = "'" + copy + "' demo '" + dir.file("out") + "' 2>'" + dir.file("err") + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream err_file(dir.file("err"));
    const std::string err{std::istreambuf_iterator<char>(err_file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(err, "loom demo: cannot find Kiln at '" + dir.path() + "/kiln.clap': build it first, or give --plugin\n");
}

} // namespace
