// The command line as a person meets it: help, and every kind of wrong command line giving
// exit code 2 and one line on standard error. Also the option readers called directly.

#include "loom/tool/cli.hpp"
#include "loom/tool/commands.hpp"

#include "loom/test/row_name.hpp"
#include "run_tool.hpp"

#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <sstream>

namespace {

using loom::test::run_loom;

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string message;
};

// Rows show as their name in test listings.
void PrintTo(const UsageCase& row, std::ostream* out) { *out << row.name; }

const UsageCase USAGE_CASES[] = {
    {"NoCommand", {}, "loom: a command is missing. See 'loom --help'"},
    {"UnknownCommand", {"chek"}, "loom: there is no command called 'chek'. See 'loom --help'"},
    {"UnknownTopOption", {"--verbose"}, "loom: unknown option '--verbose'. See 'loom --help'"},
    {"HelpForUnknownCommand", {"help", "nope"}, "loom: there is no command called 'nope'. See 'loom --help'"},
    {"CheckWithoutFile", {"check"},
     "loom check: the description FILE is missing (use - for standard input). See 'loom check --help'"},
    {"CheckTwoFiles", {"check", "a.json", "b.json"}, "loom check: unexpected argument 'b.json'. See 'loom check --help'"},
    {"CheckUnknownOption", {"check", "-", "--param", "x"}, "loom check: unknown option '--param'. See 'loom check --help'"},
    {"CheckParamsWithoutValue", {"check", "-", "--params"},
     "loom check: the option '--params' needs a value (--params NAME,NAME,...). See 'loom check --help'"},
    {"CheckParamsTwice", {"check", "-", "--params", "a", "--params=b"},
     "loom check: the option '--params' is given twice. See 'loom check --help'"},
    {"CheckEmptyParamName", {"check", "-", "--params", "a,,b"},
     "loom check: --params has an empty name. See 'loom check --help'"},
    {"CheckRepeatedParamName", {"check", "-", "--params", "a, b,a"},
     "loom check: --params names 'a' twice. See 'loom check --help'"},
    {"EvalWithoutExpression", {"eval"}, "loom eval: the expression EXPR is missing. See 'loom eval --help'"},
    {"EvalSetWithoutEquals", {"eval", "x", "--set", "x"},
     "loom eval: --set x: write it as NAME=VALUE. See 'loom eval --help'"},
    {"EvalSetWithoutName", {"eval", "x", "--set", "=1"},
     "loom eval: --set =1: the name is missing before '='. See 'loom eval --help'"},
    {"EvalSetNotANumber", {"eval", "x", "--set", "x=abc"},
     "loom eval: --set x=abc: 'abc' is not a number. See 'loom eval --help'"},
    {"EvalSetTwice", {"eval", "x", "--set", "x=1", "--set", "x=2"},
     "loom eval: --set gives 'x' twice. See 'loom eval --help'"},
    {"EvalRateNotANumber", {"eval", "rate", "--rate", "fast"},
     "loom eval: --rate fast: 'fast' is not a number. See 'loom eval --help'"},
    {"FlagWithValue", {"blocks", "--help=yes"}, "loom blocks: the option '--help' takes no value. See 'loom blocks --help'"},
    {"BlocksTwoNames", {"blocks", "gain", "shaper"}, "loom blocks: unexpected argument 'shaper'. See 'loom blocks --help'"},
    {"InfoWithoutPlugin", {"info"}, "loom info: the plug-in PLUGIN.clap is missing. See 'loom info --help'"},
    {"RenderWithoutFiles", {"render"},
     "loom render: the input IN.wav and the output OUT.wav are missing. See 'loom render --help'"},
    {"RenderWithoutOutput", {"render", "in.wav"}, "loom render: the output OUT.wav is missing. See 'loom render --help'"},
    {"RenderWithoutProcessor", {"render", "in.wav", "out.wav"},
     "loom render: say what processes the sound: --plugin or --graph. See 'loom render --help'"},
    {"RenderWithBoth", {"render", "in.wav", "out.wav", "--plugin", "k.clap", "--graph", "g.json"},
     "loom render: give only one of --plugin and --graph. See 'loom render --help'"},
    {"RenderBlockZero", {"render", "in.wav", "out.wav", "--graph", "g.json", "--block", "0"},
     "loom render: --block 0: N must be a whole number from 1 to 1048576. See 'loom render --help'"},
    {"RenderBlockWords", {"render", "in.wav", "out.wav", "--graph", "g.json", "--block", "lots"},
     "loom render: --block lots: N must be a whole number from 1 to 1048576. See 'loom render --help'"},
    {"RenderGraphSetNotANumber", {"render", "in.wav", "out.wav", "--graph", "g.json", "--set", "g=loud"},
     "loom render: --set g=loud: 'loud' is not a number. See 'loom render --help'"},
    {"RenderGraphSetInfinite", {"render", "in.wav", "out.wav", "--graph", "g.json", "--set", "g=1e39"},
     "loom render: --set g=1e39: the value must be a finite number. See 'loom render --help'"},
    {"DemoTwoFolders", {"demo", "a", "b"}, "loom demo: unexpected argument 'b'. See 'loom demo --help'"},
};

class WrongCommandLine : public ::testing::TestWithParam<UsageCase> {};

TEST_P(WrongCommandLine, ExitsTwoWithOneLine) {
    const auto r = run_loom(GetParam().args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, GetParam().message + "\n");
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(All, WrongCommandLine, ::testing::ValuesIn(USAGE_CASES), loom::test::RowName{});

TEST(Help, MainHelpListsEveryCommand) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}, {"help"}}) {
        const auto r = run_loom(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: loom COMMAND [ARGUMENTS]\n", 0), 0u) << r.out;
        for (const char* command : {"check", "eval", "blocks", "info", "render", "demo"})
            EXPECT_NE(r.out.find("\n  " + std::string(command) + " "), std::string::npos) << command;
    }
}

TEST(Help, EachCommandHasItsOwnHelp) {
    for (const loom::tool::Command* c : loom::tool::COMMANDS) {
        SCOPED_TRACE(std::string(c->name));
        const std::string usage = "usage: " + std::string(c->usage) + "\n";
        for (const std::vector<std::string>& args : {std::vector<std::string>{std::string(c->name), "--help"},
                                                    {std::string(c->name), "-h"},
                                                    {"help", std::string(c->name)},
                                                    // Help wins over anything else on the line.
                                                    {std::string(c->name), "--bogus", "--help"}}) {
            const auto r = run_loom(args);
            EXPECT_EQ(r.code, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out.rfind(usage, 0), 0u) << r.out;
            EXPECT_NE(r.out.find("Exit status:"), std::string::npos);
        }
    }
}

TEST(Help, VersionPrintsOneLine) {
    const auto r = run_loom({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "loom 0.1.0\n");
}

TEST(ParseArgs, ReadsPositionalsValuesAndTheEndOfOptions) {
    constexpr loom::tool::OptionSpec OPTIONS[] = {{"--set", "NAME=VALUE", true}, {"--rate", "HZ", false}};
    const std::vector<std::string> words = {"-2^2", "--set", "a=1", "--rate=44100", "-", "--set=b=2", "--", "--rate"};
    const auto args = loom::tool::parse_args(words, OPTIONS);
    ASSERT_TRUE(args.has_value()) << args.error();
    EXPECT_EQ(args->positional, (std::vector<std::string>{"-2^2", "-", "--rate"}));
    EXPECT_EQ(args->values("--set"), (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(args->value("--rate"), "44100");
    EXPECT_FALSE(args->help);
}

TEST(ParseNumber, ReadsDecimalsAndTheNamedValues) {
    using loom::tool::parse_number;
    EXPECT_EQ(parse_number("0.5"), 0.5);
    EXPECT_EQ(parse_number("+12"), 12.0);
    EXPECT_EQ(parse_number("-1e3"), -1000.0);
    EXPECT_EQ(parse_number(".25"), 0.25);
    EXPECT_EQ(parse_number("1e999"), INFINITY);
    EXPECT_EQ(parse_number("1e-999"), 0.0);
    EXPECT_EQ(parse_number("-Infinity"), -INFINITY);
    EXPECT_TRUE(std::isnan(*parse_number("NaN")));
    for (const char* bad : {"", "+", "-", "--1", "+-1", "1x", " 1", "1 ", "0x10", "abc", "1e", "inf1", "."})
        EXPECT_FALSE(parse_number(bad).has_value()) << bad;
}

TEST(ParseCount, ReadsWholeNumbersInRange) {
    using loom::tool::parse_count;
    EXPECT_EQ(parse_count("512", 1, 1024), 512u);
    EXPECT_EQ(parse_count("1", 1, 1024), 1u);
    for (const char* bad : {"0", "1025", "-1", "+5", "5.0", "", "99999999999999999999999"})
        EXPECT_FALSE(parse_count(bad, 1, 1024).has_value()) << bad;
}

TEST(Dispatcher, RunsCommandsInProcessToo) {
    std::istringstream in;
    std::ostringstream out, err;
    loom::tool::Console console{in, out, err};
    const std::vector<std::string> words = {"eval", "1 + 2"};
    EXPECT_EQ(loom::tool::run(words, console), 0);
    EXPECT_EQ(out.str(), "3\nconstant\n");
    EXPECT_EQ(err.str(), "");
}

} // namespace
