// loom check on good and bad descriptions: the summary of what compiled, or the reader's or
// compiler's message alone on standard error with exit code 1.

#include "kiln/kiln.hpp"
#include "loom/test/row_name.hpp"
#include "run_tool.hpp"
#include "wav_files.hpp"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using loom::test::run_loom;

const std::string KILN_GRAPH(kiln::GRAPH);

struct CheckCase {
    const char* name;
    std::string description;
    std::vector<std::string> options;
    std::string message; // the whole of standard error, without its line break
};

// Rows show as their name in test listings.
void PrintTo(const CheckCase& row, std::ostream* out) { *out << row.name; }

const CheckCase BAD_DESCRIPTIONS[] = {
    {"Empty", "", {}, "the graph is not valid JSON: unexpected end of input at byte 0"},
    {"NotAnObject", "[1]", {}, "graph must be an object"},
    {"NoKind", "{}", {}, "graph must have exactly one of block, chain or parallel"},
    {"TwoKinds", R"({"block":"gain","chain":[]})", {}, "graph must have exactly one of block, chain or parallel"},
    {"UnknownKey", R"({"chain":[{"block":"gain"},{"blok":"gain"}]})", {},
     "graph.chain[1] has an unknown key 'blok'. It can have: block, args, meters, chain, parallel, bypass, mix, "
     "only, modulators, id"},
    {"BranchWithoutNode", R"({"parallel":[{"gain_db":-6}]})", {}, "graph.parallel[0] needs a node"},
    {"ModulatorsNotAList", R"({"modulators":{},"chain":[]})", {}, "modulators must be a list"},
    {"UnknownBlock", R"({"chain":[{"block":"gian"}]})", {},
     "graph.chain[0]: there is no block called 'gian'. The blocks are: gain, filter, onepole, shaper, dynamics, "
     "delay, tremolo, stereo, harmonic_eq"},
    {"UnknownArgument", R"({"block":"gain","args":{"gain":1}})", {},
     "graph: the block 'gain' has no argument 'gain'. Its arguments are: gain_db, pan, invert"},
    {"OutOfRange", R"({"block":"gain","args":{"gain_db":60}})", {},
     "graph: gain.gain_db is 60, outside the range -96 to 48 dB"},
    {"InfiniteNumber", R"({"block":"gain","args":{"gain_db":1e39}})", {},
     "graph: gain.gain_db is inf, outside the range -96 to 48 dB"},
    {"BypassOutOfRange", R"({"bypass":2,"chain":[]})", {}, "graph bypass is 2, outside the range 0 to 1"},
    {"KilnWithoutBypassParameter", KILN_GRAPH, {"--params", "drive,mode,tone"},
     "graph bypass: 'bypass' is not a parameter, a modulator or a built-in name. The names available are: drive, "
     "mode, tone"},
    {"ModulatorRateZero", R"({"modulators":[{"id":"lfo","rate":0}],"chain":[]})", {},
     "modulator 'lfo' rate is 0, outside the range 0.001 to 200 Hz"},
    {"ModulatorNamedAsParameter", R"({"modulators":[{"id":"drive"}],"chain":[]})", {},
     "the modulator 'drive' has the same name as a parameter"},
    {"ModulatorNameStartsWithDigit", R"({"modulators":[{"id":"2x"}],"chain":[]})", {},
     "'2x' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"UnknownMeter", R"({"block":"gain","meters":{"x":"drive"}})", {},
     "graph: the block 'gain' has no meter 'x'. It has no meters."},
    {"NoParameters", R"({"block":"gain","args":{"gain_db":"drive"}})", {"--params", ""},
     "graph: gain.gain_db: 'drive' is not a parameter, a modulator or a built-in name. The names available are: "},
};

class CheckBad : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckBad, PrintsTheMessageAloneAndExitsOne) {
    std::vector<std::string> args = {"check", "-"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    const auto r = run_loom(args, GetParam().description);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, GetParam().message + "\n");
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(All, CheckBad, ::testing::ValuesIn(BAD_DESCRIPTIONS), loom::test::RowName{});

TEST(Check, SummarisesKilnAgainstItsOwnParameters) {
    const auto r = run_loom({"check", "-"}, KILN_GRAPH);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "graph: chain of 3 (bypass: \"bypass\")\n"
              "  graph.chain[0]: gain (gain_db: \"drive\")\n"
              "  graph.chain[1]: shaper (curve: \"mode\")\n"
              "  graph.chain[2]: onepole (type: \"lowpass\", freq: \"tone\")\n"
              "parameters: drive, mode, tone, bypass\n"
              "3 blocks, 0 modulators, latency 0 samples at 48000 Hz\n");
}

TEST(Check, SummarisesBranchesOptionsAndModulators) {
    const std::string description =
        R"({"modulators":[{"id":"lfo","shape":"triangle","rate":0.5}],"mix":0.5,"chain":[)"
        R"({"parallel":[{"node":{"block":"gain","args":{"gain_db":"g + lfo"}}},)"
        R"({"node":{"block":"shaper","args":{"curve":"hard","drive_db":6}},"gain_db":-6}]},)"
        R"({"block":"onepole","only":[0],"args":{"type":"highpass","freq":"tone"}},{"chain":[]}]})";
    const auto r = run_loom({"check", "-", "--params", "g, tone"}, description);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "modulators[0]: lfo (shape: triangle, rate: 0.5)\n"
              "graph: chain of 3 (mix: 0.5)\n"
              "  graph.chain[0]: parallel of 2\n"
              "    graph.chain[0].parallel[0]: gain (gain_db: \"g + lfo\")\n"
              "    graph.chain[0].parallel[1]: shaper (curve: \"hard\", drive_db: 6, branch gain_db: -6)\n"
              "  graph.chain[1]: onepole (type: \"highpass\", freq: \"tone\", only: [0])\n"
              "  graph.chain[2]: empty chain\n"
              "parameters: g, tone\n"
              "3 blocks, 1 modulator, latency 0 samples at 48000 Hz\n");
}

TEST(Check, ReadsAFileByItsPath) {
    loom::test::TempDir dir;
    loom::test::write_bytes(dir.file("kiln.json"), KILN_GRAPH);
    const auto good = run_loom({"check", dir.file("kiln.json")});
    EXPECT_EQ(good.code, 0);
    EXPECT_EQ(good.out, run_loom({"check", "-"}, KILN_GRAPH).out);

    loom::test::write_bytes(dir.file("bad.json"), R"({"block":"gian"})");
    const auto bad = run_loom({"check", dir.file("bad.json")});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.err.rfind("graph: there is no block called 'gian'.", 0), 0u) << bad.err;
}

TEST(Check, AFileThatCannotBeReadIsAnInputFault) {
    loom::test::TempDir dir;
    const auto missing = run_loom({"check", dir.file("missing.json")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "loom check: cannot read '" + dir.file("missing.json") + "': No such file or directory\n");
    const auto folder = run_loom({"check", dir.path()});
    EXPECT_EQ(folder.code, 1);
    EXPECT_EQ(folder.err, "loom check: cannot read '" + dir.path() + "': Is a directory\n");
}

} // namespace
