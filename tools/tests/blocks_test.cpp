// loom blocks: the catalogue as Markdown, one block or all nine.

#include "run_tool.hpp"

#include <gtest/gtest.h>

namespace {

using loom::test::run_loom;

TEST(Blocks, OneBlockAsMarkdown) {
    const auto r = run_loom({"blocks", "onepole"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "## onepole\n"
              "\n"
              "A first-order filter with a gentle 6 dB per octave slope. Use it for tone controls, for DC removal with "
              "a high-pass near 5 Hz, and wherever a sharper filter would sound harsh.\n"
              "\n"
              "| Argument | Unit | Range or choices | Default | Fixed | What it does |\n"
              "|---|---|---|---|---|---|\n"
              "| `type` |  | `lowpass`, `highpass` | `lowpass` | no | Low-pass or high-pass. |\n"
              "| `freq` | Hz | 1 to 24000 | 1000 | no | The corner frequency, where the response is 3 dB down. |\n"
              "\n"
              "Meters: none.\n");
}

TEST(Blocks, FixedArgumentsAndMetersAreShown) {
    const auto r = run_loom({"blocks", "dynamics"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("| `lookahead_ms` | ms | 0 to 10 | 0 | yes | Delays the audio so the detector sees peaks "
                         "early. Adds this much latency. |\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("| `auto_makeup` |  | `off`, `on` | `off` | no |"), std::string::npos);
    EXPECT_NE(r.out.find("\nMeters: `gain_reduction_db`.\n"), std::string::npos);
}

TEST(Blocks, TheWholeCatalogueInOrder) {
    const auto r = run_loom({"blocks"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("# Blocks\n", 0), 0u);
    std::size_t at = 0;
    for (const char* name : {"gain", "filter", "onepole", "shaper", "dynamics", "delay", "tremolo", "stereo", "harmonic_eq"}) {
        const std::size_t found = r.out.find("\n## " + std::string(name) + "\n", at);
        ASSERT_NE(found, std::string::npos) << name;
        at = found + 1;
    }
    // Every argument row of harmonic_eq is there, the eight trims included.
    EXPECT_NE(r.out.find("| `trim_8_db` | dB | -24 to 24 | 0 | no | Extra gain on harmonic 8. |"), std::string::npos);
}

TEST(Blocks, AnUnknownNameListsTheBlocks) {
    const auto r = run_loom({"blocks", "Gain"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "loom blocks: there is no block called 'Gain'. The blocks are: gain, filter, onepole, shaper, dynamics, "
              "delay, tremolo, stereo, harmonic_eq\n");
}

} // namespace
