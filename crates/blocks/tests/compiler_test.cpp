#include "loom/blocks/catalogue.hpp"
#include "loom/blocks/graph.hpp"

#include "probe_block.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

using loom::Arg;
using loom::BlockNode;
using loom::Branch;
using loom::Chain;
using loom::Const;
using loom::Expr;
using loom::Graph;
using loom::GraphSpec;
using loom::MixNode;
using loom::Modulator;
using loom::Node;
using loom::NodeSpec;
using loom::Parallel;
using loom::Result;
using loom::Shape;
using loom::test::Probe;
using loom::test::TEST_BLOCKS;

using Names = std::vector<std::string_view>;

const Names KILN_PARAMS = {"drive", "mode", "tone", "bypass"};

constexpr std::string_view KILN =
    R"~({"bypass":"bypass","chain":[{"block":"gain","args":{"gain_db":"drive"}},{"block":"shaper","args":{"curve":"mode"}},{"block":"onepole","args":{"type":"lowpass","freq":"tone"}}]})~";

// Compiles against the built-in catalogue, or against it plus the test block `probe`.
Result<Graph> compile(std::string_view text, const Names& params, bool test_blocks = false) {
    if (!test_blocks) return Graph::from_str(text, params);
    Result<GraphSpec> description = GraphSpec::from_str(text);
    if (!description) return loom::fail(description.error());
    return Graph::from_spec(*description, params, TEST_BLOCKS);
}

// The compiled graph; a compile failure fails the test and stops it.
Graph compiled(std::string_view text, const Names& params, bool test_blocks = false) {
    Result<Graph> graph = compile(text, params, test_blocks);
    if (!graph) {
        ADD_FAILURE() << "does not compile: " << graph.error();
        std::abort();
    }
    return std::move(*graph);
}

// The slot a `Var` expression reads, or nothing for any other expression.
std::optional<std::size_t> var_slot(const Expr& expr) {
    if (const auto* var = std::get_if<loom::expr::Var>(&expr.root().kind)) return var->index;
    return std::nullopt;
}

std::optional<float> constant(const Arg& arg) {
    if (const Const* c = std::get_if<Const>(&arg)) return c->value;
    return std::nullopt;
}

float evaluated(const Expr& expr) { return loom::eval(expr, loom::expr::Context{{}, 48000.0f, 120.0f}); }

const BlockNode& block_of(const Node& node) { return std::get<BlockNode>(node.kind); }

// ---------------------------------------------------------------------------------------------
// Every message, and the order in which the checks run.

struct ErrorCase {
    const char* name;
    std::string_view text;
    Names params;
    std::string_view message;
    bool test_blocks = false;       // compile with the test blocks beside the built-in ones
};

const ErrorCase ERRORS[] = {
    // The description reader's message comes back unchanged.
    {"NotJson", "", KILN_PARAMS, "the graph is not valid JSON: unexpected end of input at byte 0"},
    {"NoNodeKind", "{}", KILN_PARAMS, "graph must have exactly one of block, chain or parallel"},
    {"ReaderFaultBeforeCompilerFault", R"~({"modulators":[{"id":"drive"}],"block":"gian","bypass":null})~",
     KILN_PARAMS, "graph bypass must be a number or a string"},

    // Modulator names, all of them before any shape or rate.
    {"ModulatorIsParameter", R"~({"modulators":[{"id":"drive"}],"chain":[]})~", KILN_PARAMS,
     "the modulator 'drive' has the same name as a parameter"},
    {"ModulatorIsParameterBeforeUnusable", R"~({"modulators":[{"id":"2x"}],"chain":[]})~", {"drive", "2x"},
     "the modulator '2x' has the same name as a parameter"},
    {"ModulatorRepeated", R"~({"modulators":[{"id":"lfo"},{"id":"lfo"}],"chain":[]})~", KILN_PARAMS,
     "two modulators are called 'lfo'"},
    {"ModulatorRepeatedBeforeShape", R"~({"modulators":[{"id":"lfo","shape":"sin"},{"id":"lfo"}],"chain":[]})~",
     KILN_PARAMS, "two modulators are called 'lfo'"},
    {"RepeatedUnusableNameReportsTheFirst", R"~({"modulators":[{"id":"a b"},{"id":"a b"}],"chain":[]})~",
     KILN_PARAMS, "'a b' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"NameBeginningWithDigit", R"~({"modulators":[{"id":"2x"}],"chain":[]})~", KILN_PARAMS,
     "'2x' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"NameBeginningWithUnderscore", R"~({"modulators":[{"id":"_x"}],"chain":[]})~", KILN_PARAMS,
     "'_x' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"EmptyName", R"~({"modulators":[{"id":""}],"chain":[]})~", KILN_PARAMS,
     "'' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"NameWithHyphen", R"~({"modulators":[{"id":"a-b"}],"chain":[]})~", KILN_PARAMS,
     "'a-b' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"NameWithTrailingBlank", R"~({"modulators":[{"id":"lfo "}],"chain":[]})~", KILN_PARAMS,
     "'lfo ' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"NameWithNonAsciiLetter", R"~({"modulators":[{"id":"\u00e9t\u00e9"}],"chain":[]})~", KILN_PARAMS,
     "'\u00e9t\u00e9' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},
    {"LaterNameBeforeEarlierShape", R"~({"modulators":[{"id":"a","shape":"sin"},{"id":"2x"}],"chain":[]})~",
     KILN_PARAMS,
     "'2x' is not a usable modulator name. Use letters, digits and underscores, starting with a letter"},

    // Modulator shapes and rates, one modulator after the other.
    {"ShapeCaseCounts", R"~({"modulators":[{"id":"lfo","shape":"Sine"}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' has the shape 'Sine'. The shapes are sine, triangle, saw, square and random"},
    {"ShapeNotTrimmed", R"~({"modulators":[{"id":"lfo","shape":" saw"}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' has the shape ' saw'. The shapes are sine, triangle, saw, square and random"},
    {"ShapeBeforeRate", R"~({"modulators":[{"id":"lfo","shape":"x","rate":0}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' has the shape 'x'. The shapes are sine, triangle, saw, square and random"},
    {"EarlierRateBeforeLaterShape",
     R"~({"modulators":[{"id":"a","rate":0},{"id":"b","shape":"x"}],"chain":[]})~", KILN_PARAMS,
     "modulator 'a' rate is 0, outside the range 0.001 to 200 Hz"},
    {"RateZero", R"~({"modulators":[{"id":"lfo","rate":0}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' rate is 0, outside the range 0.001 to 200 Hz"},
    {"RateNegative", R"~({"modulators":[{"id":"lfo","rate":-1}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' rate is -1, outside the range 0.001 to 200 Hz"},
    {"RateAbove", R"~({"modulators":[{"id":"lfo","rate":200.5}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' rate is 200.5, outside the range 0.001 to 200 Hz"},
    {"RateConstantText", R"~({"modulators":[{"id":"lfo","rate":"0.0005"}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' rate is 0.0005, outside the range 0.001 to 200 Hz"},
    {"RateDivisionByZero", R"~({"modulators":[{"id":"lfo","rate":"1/0"}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' rate is 0, outside the range 0.001 to 200 Hz"},
    {"RateUnknownName", R"~({"modulators":[{"id":"lfo","rate":"speed"}],"chain":[]})~", KILN_PARAMS,
     "modulator 'lfo' rate: 'speed' is not a parameter, a modulator or a built-in name. The names available are: "
     "drive, mode, tone, bypass, lfo"},
    {"ModulatorsBeforeRoot", R"~({"modulators":[{"id":"lfo","rate":0}],"block":"gian"})~", KILN_PARAMS,
     "modulator 'lfo' rate is 0, outside the range 0.001 to 200 Hz"},

    // Blocks: name, then argument keys, then values in catalogue order, then meters.
    {"UnknownBlock", R"~({"chain":[{"block":"gian"}]})~", KILN_PARAMS,
     "graph.chain[0]: there is no block called 'gian'. The blocks are: gain, filter, onepole, shaper, dynamics, "
     "delay, tremolo, stereo, harmonic_eq"},
    {"BlockNameCaseCounts", R"~({"block":"Gain"})~", KILN_PARAMS,
     "graph: there is no block called 'Gain'. The blocks are: gain, filter, onepole, shaper, dynamics, delay, "
     "tremolo, stereo, harmonic_eq"},
    {"UnknownBlockListsTheGivenCatalogue", R"~({"block":"gian"})~", KILN_PARAMS,
     "graph: there is no block called 'gian'. The blocks are: gain, filter, onepole, shaper, dynamics, delay, "
     "tremolo, stereo, harmonic_eq, probe",
     true},
    {"UnknownArgument", R"~({"block":"gain","args":{"gain":1}})~", KILN_PARAMS,
     "graph: the block 'gain' has no argument 'gain'. Its arguments are: gain_db, pan, invert"},
    {"ArgumentKeysBeforeValues", R"~({"block":"gain","args":{"gain_db":60,"Pan":0}})~", KILN_PARAMS,
     "graph: the block 'gain' has no argument 'Pan'. Its arguments are: gain_db, pan, invert"},
    {"FirstUnknownKeyInDescriptionOrder", R"~({"block":"shaper","args":{"b":1,"a":1}})~", KILN_PARAMS,
     "graph: the block 'shaper' has no argument 'b'. Its arguments are: curve, drive_db, bias, output_db"},
    {"ValuesInCatalogueOrder", R"~({"block":"gain","args":{"invert":"sideways","gain_db":60}})~", KILN_PARAMS,
     "graph: gain.gain_db is 60, outside the range -96 to 48 dB"},
    {"FirstBindingOfARepeatedKey", R"~({"block":"gain","args":{"gain_db":60,"gain_db":0}})~", KILN_PARAMS,
     "graph: gain.gain_db is 60, outside the range -96 to 48 dB"},
    {"ValuesBeforeMeters", R"~({"block":"gain","args":{"gain_db":60},"meters":{"x":"drive"}})~", KILN_PARAMS,
     "graph: gain.gain_db is 60, outside the range -96 to 48 dB"},

    // Range messages, with the shortest decimal of the 32-bit value.
    {"AboveMax", R"~({"chain":[{"block":"gain","args":{"gain_db":60}}]})~", KILN_PARAMS,
     "graph.chain[0]: gain.gain_db is 60, outside the range -96 to 48 dB"},
    {"BelowMin", R"~({"block":"gain","args":{"gain_db":-97}})~", KILN_PARAMS,
     "graph: gain.gain_db is -97, outside the range -96 to 48 dB"},
    {"BeyondFloatIsInf", R"~({"block":"gain","args":{"gain_db":1e39}})~", KILN_PARAMS,
     "graph: gain.gain_db is inf, outside the range -96 to 48 dB"},
    {"BeyondFloatNegativeIsMinusInf", R"~({"block":"gain","args":{"gain_db":-1e39}})~", KILN_PARAMS,
     "graph: gain.gain_db is -inf, outside the range -96 to 48 dB"},
    {"BeyondDoubleIsInf", R"~({"block":"gain","args":{"gain_db":1e999}})~", KILN_PARAMS,
     "graph: gain.gain_db is inf, outside the range -96 to 48 dB"},
    {"ConstantExpressionNaN", R"~({"block":"gain","args":{"gain_db":"pow(-1, 0.5)"}})~", KILN_PARAMS,
     "graph: gain.gain_db is NaN, outside the range -96 to 48 dB"},
    {"ConstantExpressionInf", R"~({"block":"gain","args":{"gain_db":"exp(100)"}})~", KILN_PARAMS,
     "graph: gain.gain_db is inf, outside the range -96 to 48 dB"},
    {"ConstantExpressionAbove", R"~({"block":"gain","args":{"gain_db":"24 * 2 + 0.5"}})~", KILN_PARAMS,
     "graph: gain.gain_db is 48.5, outside the range -96 to 48 dB"},
    {"NoUnitNoTrailingBlank", R"~({"block":"gain","args":{"pan":1.0000001}})~", KILN_PARAMS,
     "graph: gain.pan is 1.0000001, outside the range -1 to 1"},
    {"DecimalValue", R"~({"block":"shaper","args":{"drive_db":48.1}})~", KILN_PARAMS,
     "graph: shaper.drive_db is 48.1, outside the range -24 to 48 dB"},
    {"DecimalBelowMin", R"~({"block":"onepole","args":{"freq":0.1}})~", KILN_PARAMS,
     "graph: onepole.freq is 0.1, outside the range 1 to 24000 Hz"},
    {"ChoiceIndexAbove", R"~({"block":"onepole","args":{"type":2}})~", KILN_PARAMS,
     "graph: onepole.type is 2, outside the range 0 to 1"},
    {"ChoiceIndexBelow", R"~({"block":"onepole","args":{"type":-0.5}})~", KILN_PARAMS,
     "graph: onepole.type is -0.5, outside the range 0 to 1"},
    {"ChoiceConstantExpressionAbove", R"~({"block":"onepole","args":{"type":"1+1"}})~", KILN_PARAMS,
     "graph: onepole.type is 2, outside the range 0 to 1"},

    // The descriptors of bypass, mix and branch gains.
    {"BypassRange", R"~({"block":"gain","bypass":2})~", KILN_PARAMS, "graph bypass is 2, outside the range 0 to 1"},
    {"BypassNotAChoice", R"~({"block":"gain","bypass":"on"})~", KILN_PARAMS,
     "graph bypass: 'on' is not a parameter, a modulator or a built-in name. The names available are: drive, mode, "
     "tone, bypass"},
    {"MixRange", R"~({"block":"gain","mix":-0.5})~", KILN_PARAMS, "graph mix is -0.5, outside the range 0 to 1"},
    {"BranchGainRange", R"~({"parallel":[{"node":{"block":"gain"},"gain_db":60}]})~", KILN_PARAMS,
     "graph.parallel[0] gain_db is 60, outside the range -96 to 48 dB"},
    {"BranchGainBelow", R"~({"parallel":[{"node":{"block":"gain"}},{"node":{"block":"gain"},"gain_db":-96.5}]})~",
     KILN_PARAMS, "graph.parallel[1] gain_db is -96.5, outside the range -96 to 48 dB"},
    {"BranchGainNotAnExpression", R"~({"parallel":[{"node":{"block":"gain"},"gain_db":"foo"}]})~", KILN_PARAMS,
     "graph.parallel[0] gain_db: 'foo' is not a parameter, a modulator or a built-in name. The names available "
     "are: drive, mode, tone, bypass"},
    {"NodeBeforeBypass", R"~({"block":"gain","args":{"gain_db":60},"bypass":2,"mix":2})~", KILN_PARAMS,
     "graph: gain.gain_db is 60, outside the range -96 to 48 dB"},
    {"BypassBeforeMix", R"~({"block":"gain","bypass":2,"mix":2})~", KILN_PARAMS,
     "graph bypass is 2, outside the range 0 to 1"},
    {"MixAlone", R"~({"block":"gain","mix":"mode +","only":[0]})~", KILN_PARAMS,
     "graph mix: the expression ends where a number or a name should be. The names available are: drive, mode, "
     "tone, bypass"},
    {"BranchNodeBeforeBranchGain", R"~({"parallel":[{"node":{"block":"gian"},"gain_db":100}]})~", KILN_PARAMS,
     "graph.parallel[0]: there is no block called 'gian'. The blocks are: gain, filter, onepole, shaper, dynamics, "
     "delay, tremolo, stereo, harmonic_eq"},
    {"FirstChainChildFirst", R"~({"chain":[{"block":"gian"},{"block":"gain","args":{"gain_db":60}}]})~",
     KILN_PARAMS,
     "graph.chain[0]: there is no block called 'gian'. The blocks are: gain, filter, onepole, shaper, dynamics, "
     "delay, tremolo, stereo, harmonic_eq"},
    {"ChildBeforeParentBypass", R"~({"chain":[{"block":"gain","args":{"pan":2}}],"bypass":2})~", KILN_PARAMS,
     "graph.chain[0]: gain.pan is 2, outside the range -1 to 1"},
    {"NestedPath",
     R"~({"chain":[{"block":"gain"},{"parallel":[{"node":{"block":"gain"}},{"node":{"chain":[{"block":"shaper","args":{"bias":2}}]}}]}]})~",
     KILN_PARAMS, "graph.chain[1].parallel[1].chain[0]: shaper.bias is 2, outside the range -1 to 1"},
    {"NestedBypass", R"~({"chain":[{"block":"gain"},{"block":"gain","bypass":"nope"}]})~", KILN_PARAMS,
     "graph.chain[1] bypass: 'nope' is not a parameter, a modulator or a built-in name. The names available are: "
     "drive, mode, tone, bypass"},
    {"NestedBranchGain", R"~({"chain":[{"parallel":[{"node":{"block":"gain"}},{"node":{"block":"gain"},"gain_db":49}]}]})~",
     KILN_PARAMS, "graph.chain[0].parallel[1] gain_db is 49, outside the range -96 to 48 dB"},

    // Fixed arguments.
    {"FixedFollowsParameter", R"~({"block":"probe","args":{"delay":"drive"}})~", KILN_PARAMS,
     "graph: probe.delay is fixed when the plugin is built, so it must be a number and cannot follow a parameter",
     true},
    {"FixedFollowsSync", R"~({"block":"probe","args":{"delay":"sync(1)"}})~", KILN_PARAMS,
     "graph: probe.delay is fixed when the plugin is built, so it must be a number and cannot follow a parameter",
     true},
    {"FixedFollowsRate", R"~({"block":"probe","args":{"delay":"rate / 100"}})~", KILN_PARAMS,
     "graph: probe.delay is fixed when the plugin is built, so it must be a number and cannot follow a parameter",
     true},
    {"FixedFollowsModulator", R"~({"modulators":[{"id":"lfo"}],"block":"probe","args":{"delay":"lfo"}})~",
     KILN_PARAMS,
     "graph: probe.delay is fixed when the plugin is built, so it must be a number and cannot follow a parameter",
     true},
    {"FixedUnknownNameIsAParseFault", R"~({"block":"probe","args":{"delay":"nope"}})~", KILN_PARAMS,
     "graph: probe.delay: 'nope' is not a parameter, a modulator or a built-in name. The names available are: "
     "drive, mode, tone, bypass",
     true},
    {"FixedConstantOutOfRange", R"~({"block":"probe","args":{"delay":"2000"}})~", KILN_PARAMS,
     "graph: probe.delay is 2000, outside the range 0 to 1000", true},
    {"DelayMaxFollowsParameter", R"~({"block":"delay","args":{"max_ms":"tone"}})~", KILN_PARAMS,
     "graph: delay.max_ms is fixed when the plugin is built, so it must be a number and cannot follow a parameter"},
    {"DynamicsLookaheadFollowsParameter", R"~({"block":"dynamics","args":{"lookahead_ms":"drive"}})~", KILN_PARAMS,
     "graph: dynamics.lookahead_ms is fixed when the plugin is built, so it must be a number and cannot follow a "
     "parameter"},

    // Texts that are not expressions.
    {"ExpressionEndsEarly", R"~({"block":"gain","args":{"gain_db":"drive +"}})~", KILN_PARAMS,
     "graph: gain.gain_db: the expression ends where a number or a name should be. The names available are: "
     "drive, mode, tone, bypass"},
    {"ExpressionEmpty", R"~({"block":"gain","args":{"gain_db":""}})~", KILN_PARAMS,
     "graph: gain.gain_db: the expression is empty. The names available are: drive, mode, tone, bypass"},
    {"ParameterNameCaseCounts", R"~({"block":"gain","args":{"gain_db":"Drive"}})~", KILN_PARAMS,
     "graph: gain.gain_db: 'Drive' is not a parameter, a modulator or a built-in name. The names available are: "
     "drive, mode, tone, bypass"},
    {"NamesListModulatorsAfterParameters",
     R"~({"modulators":[{"id":"lfo"},{"id":"env"}],"block":"gain","args":{"gain_db":"x"}})~", KILN_PARAMS,
     "graph: gain.gain_db: 'x' is not a parameter, a modulator or a built-in name. The names available are: "
     "drive, mode, tone, bypass, lfo, env"},
    {"NoNamesAvailable", R"~({"block":"gain","args":{"gain_db":"x"}})~", {},
     "graph: gain.gain_db: 'x' is not a parameter, a modulator or a built-in name. The names available are: "},
    {"KilnWithoutBypassParameter", KILN, {"drive", "mode", "tone"},
     "graph bypass: 'bypass' is not a parameter, a modulator or a built-in name. The names available are: drive, "
     "mode, tone"},

    // Texts that are neither a choice nor an expression.
    {"NotAChoice", R"~({"chain":[{"block":"gain"},{"block":"shaper"},{"block":"onepole","args":{"type":"bandpass"}}]})~",
     KILN_PARAMS,
     "graph.chain[2]: onepole.type: 'bandpass' is not one of lowpass, highpass and not a valid expression "
     "('bandpass' is not a parameter, a modulator or a built-in name. The names available are: drive, mode, tone, "
     "bypass)"},
    {"ChoiceNeedsEqualLength", R"~({"block":"onepole","args":{"type":"highpas"}})~", KILN_PARAMS,
     "graph: onepole.type: 'highpas' is not one of lowpass, highpass and not a valid expression ('highpas' is not "
     "a parameter, a modulator or a built-in name. The names available are: drive, mode, tone, bypass)"},
    {"ChoiceMessageKeepsUntrimmedText", R"~({"block":"shaper","args":{"curve":" soft "}})~", KILN_PARAMS,
     "graph: shaper.curve: ' soft ' is not one of tanh, hard, softclip, fold, tube and not a valid expression "
     "('soft' is not a parameter, a modulator or a built-in name. The names available are: drive, mode, tone, "
     "bypass)"},
    {"ZeroWidthSpaceIsNotTrimmed", R"~({"block":"onepole","args":{"type":"\u200bhighpass"}})~", KILN_PARAMS,
     "graph: onepole.type: '\u200bhighpass' is not one of lowpass, highpass and not a valid expression (expected a "
     "number or a name but found '\u200b'. The names available are: drive, mode, tone, bypass)"},
    {"EmptyChoiceText", R"~({"block":"onepole","args":{"type":""}})~", KILN_PARAMS,
     "graph: onepole.type: '' is not one of lowpass, highpass and not a valid expression (the expression is "
     "empty. The names available are: drive, mode, tone, bypass)"},

    // Meters, in description order: the meter name, then its parameter.
    {"BlockWithoutMeters", R"~({"block":"gain","meters":{"x":"drive"}})~", KILN_PARAMS,
     "graph: the block 'gain' has no meter 'x'. It has no meters."},
    {"UnknownMeter", R"~({"block":"probe","meters":{"gr":"drive"}})~", KILN_PARAMS,
     "graph: the block 'probe' has no meter 'gr'. Its meters are: level, count", true},
    {"DynamicsUnknownMeter", R"~({"block":"dynamics","meters":{"gr":"drive"}})~", KILN_PARAMS,
     "graph: the block 'dynamics' has no meter 'gr'. Its meters are: gain_reduction_db"},
    {"MeterBoundToModulator", R"~({"modulators":[{"id":"lfo"}],"block":"probe","meters":{"level":"lfo"}})~",
     KILN_PARAMS, "graph: the meter 'level' is bound to 'lfo', which is not a parameter", true},
    {"MeterParameterCaseCounts", R"~({"block":"probe","meters":{"level":"Drive"}})~", KILN_PARAMS,
     "graph: the meter 'level' is bound to 'Drive', which is not a parameter", true},
    {"MetersInDescriptionOrder", R"~({"block":"probe","meters":{"count":"nope","gr":"drive"}})~", KILN_PARAMS,
     "graph: the meter 'count' is bound to 'nope', which is not a parameter", true},
    {"MeterNameBeforeLaterParameter", R"~({"block":"probe","meters":{"gr":"drive","count":"nope"}})~", KILN_PARAMS,
     "graph: the block 'probe' has no meter 'gr'. Its meters are: level, count", true},
};

class CompilerError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompilerError, ReportsMessage) {
    const ErrorCase& row = GetParam();
    Result<Graph> graph = compile(row.text, row.params, row.test_blocks);
    ASSERT_FALSE(graph.has_value());
    EXPECT_EQ(graph.error(), row.message);
}

INSTANTIATE_TEST_SUITE_P(All, CompilerError, ::testing::ValuesIn(ERRORS), loom::test::RowName{});

// ---------------------------------------------------------------------------------------------
// Descriptions that compile.

struct CompileCase {
    const char* name;
    std::string_view text;
    bool test_blocks = false;
};

const CompileCase COMPILES[] = {
    {"Kiln", KILN},
    {"EmptyChain", R"~({"chain":[]})~"},
    {"OnlyBeyondTheChannels", R"~({"block":"gain","only":[5]})~"},
    {"EmptyOnly", R"~({"block":"gain","only":[]})~"},
    {"UsableModulatorNames",
     R"~({"modulators":[{"id":"x_2"},{"id":"X"},{"id":"lfo1"},{"id":"a__"}],"block":"gain","args":{"gain_db":"x_2 + X + lfo1 + a__"}})~"},
    {"RangeEnds",
     R"~({"modulators":[{"id":"slow","rate":0.001},{"id":"fast","rate":200}],"parallel":[{"node":{"block":"gain","args":{"gain_db":-96}},"gain_db":48},{"node":{"block":"gain","args":{"gain_db":48}},"gain_db":-96}],"bypass":0,"mix":1})~"},
    {"NumberRoundsToFloatBeforeTheRangeCheck", R"~({"block":"gain","args":{"pan":1.00000001}})~"},
    {"BooleanBypass", R"~({"block":"gain","bypass":true,"mix":false})~"},
    {"LaterBindingOfARepeatedKeyIgnored", R"~({"block":"gain","args":{"gain_db":0,"gain_db":60}})~"},
    {"ModulatorRateFollowsItself", R"~({"modulators":[{"id":"lfo","rate":"lfo + 2"}],"chain":[]})~"},
    {"RateFollowsLaterModulator", R"~({"modulators":[{"id":"a","rate":"b"},{"id":"b"}],"chain":[]})~"},
    {"FixedBoundToNumber", R"~({"block":"probe","args":{"delay":500}})~", true},
    {"DelayMaxNumber", R"~({"block":"delay","args":{"max_ms":500}})~"},
    {"DelayMaxConstantExpression", R"~({"block":"delay","args":{"max_ms":"250 * 2"}})~"},
};

class CompilerAccepts : public ::testing::TestWithParam<CompileCase> {};

TEST_P(CompilerAccepts, Compiles) {
    const CompileCase& row = GetParam();
    Result<Graph> graph = compile(row.text, KILN_PARAMS, row.test_blocks);
    EXPECT_TRUE(graph.has_value()) << graph.error();
}

INSTANTIATE_TEST_SUITE_P(All, CompilerAccepts, ::testing::ValuesIn(COMPILES), loom::test::RowName{});

TEST(Compiler, KilnCompilesToBypassAroundChain) {
    const Graph graph = compiled(KILN, KILN_PARAMS);
    const auto* mix = std::get_if<std::unique_ptr<MixNode>>(&graph.root_node().kind);
    ASSERT_NE(mix, nullptr);
    const MixNode& wrapper = **mix;
    ASSERT_TRUE(wrapper.bypass.has_value());
    EXPECT_EQ(var_slot(*wrapper.bypass), 3u);
    EXPECT_FALSE(wrapper.mix.has_value());
    EXPECT_FALSE(wrapper.only.has_value());
    EXPECT_EQ(wrapper.mix_from, 1.0f);
    EXPECT_EQ(wrapper.mix_to, 1.0f);
    EXPECT_FALSE(wrapper.started);
    EXPECT_EQ(wrapper.position, 0u);
    EXPECT_TRUE(wrapper.delay_lines.empty());
    EXPECT_EQ(wrapper.dry.channel_count(), 1u);
    EXPECT_EQ(wrapper.dry.len, 0u);

    const auto* chain = std::get_if<Chain>(&wrapper.node.kind);
    ASSERT_NE(chain, nullptr);
    ASSERT_EQ(chain->nodes.size(), 3u);

    const BlockNode& gain = block_of(chain->nodes[0]);
    EXPECT_EQ(gain.info->name, "gain");
    ASSERT_EQ(gain.args.size(), 3u);
    ASSERT_TRUE(std::holds_alternative<Expr>(gain.args[0]));
    EXPECT_EQ(var_slot(std::get<Expr>(gain.args[0])), 0u);
    EXPECT_EQ(constant(gain.args[1]), 0.0f);
    EXPECT_EQ(constant(gain.args[2]), 0.0f);

    const BlockNode& shaper = block_of(chain->nodes[1]);
    EXPECT_EQ(shaper.info->name, "shaper");
    ASSERT_EQ(shaper.args.size(), 4u);
    ASSERT_TRUE(std::holds_alternative<Expr>(shaper.args[0]));
    EXPECT_EQ(var_slot(std::get<Expr>(shaper.args[0])), 1u);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(constant(shaper.args[i]), 0.0f) << i;

    const BlockNode& onepole = block_of(chain->nodes[2]);
    EXPECT_EQ(onepole.info->name, "onepole");
    ASSERT_EQ(onepole.args.size(), 2u);
    EXPECT_EQ(constant(onepole.args[0]), 0.0f);
    ASSERT_TRUE(std::holds_alternative<Expr>(onepole.args[1]));
    EXPECT_EQ(var_slot(std::get<Expr>(onepole.args[1])), 2u);

    for (const Node& node : chain->nodes) {
        const BlockNode& block = block_of(node);
        EXPECT_EQ(block.values, std::vector<float>(block.args.size(), 0.0f));
        EXPECT_TRUE(block.meters.empty());
    }
    EXPECT_EQ(graph.slot_values().size(), 4u);
    for (float v : graph.slot_values()) EXPECT_EQ(v, 0.0f);
    EXPECT_TRUE(graph.modulator_list().empty());
    EXPECT_EQ(graph.period_position(), 0u);
    EXPECT_EQ(graph.current_tempo(), 120.0f);
    EXPECT_EQ(graph.latency_samples(), 0u);
}

// Choice texts: trimmed of Unicode white space, ASCII letters compared without case.
struct ChoiceCase {
    const char* name;
    std::string_view json_text; // the argument as a JSON string literal body
    float index;
};

const ChoiceCase CHOICES[] = {
    {"Exact", "lowpass", 0.0f},
    {"Capitalised", "Lowpass", 0.0f},
    {"UpperWithBlanks", " HIGHPASS ", 1.0f},
    {"Mixed", "HiGhPaSs", 1.0f},
    {"NoBreakAndIdeographicSpace", "\\u00a0highpass\\u3000", 1.0f},
    {"TabsLinesAndParagraphSeparator", "\\t\\nLOWPASS\\u2029\\u0085", 0.0f},
    {"EnQuadAndNarrowNoBreak", "\\u2000lowpass\\u202f", 0.0f},
};

class CompilerChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(CompilerChoice, SelectsIndex) {
    const ChoiceCase& row = GetParam();
    const std::string text =
        R"~({"block":"onepole","args":{"type":")~" + std::string(row.json_text) + R"~("}})~";
    const Graph graph = compiled(text, KILN_PARAMS);
    EXPECT_EQ(constant(block_of(graph.root_node()).args[0]), row.index);
}

INSTANTIATE_TEST_SUITE_P(All, CompilerChoice, ::testing::ValuesIn(CHOICES), loom::test::RowName{});

TEST(Compiler, ChoiceBeatsParameterOfTheSameName) {
    const Graph graph = compiled(R"~({"block":"onepole","args":{"type":"highpass"}})~", {"highpass"});
    EXPECT_EQ(constant(block_of(graph.root_node()).args[0]), 1.0f);
}

TEST(Compiler, ChoiceTextNamingAParameterFollowsIt) {
    const Graph graph = compiled(R"~({"block":"onepole","args":{"type":"tone"}})~", KILN_PARAMS);
    const Arg& type = block_of(graph.root_node()).args[0];
    ASSERT_TRUE(std::holds_alternative<Expr>(type));
    EXPECT_EQ(var_slot(std::get<Expr>(type)), 2u);
}

TEST(Compiler, ChoiceIndexNumberIsNotRounded) {
    const Graph graph = compiled(R"~({"block":"onepole","args":{"type":0.5}})~", KILN_PARAMS);
    EXPECT_EQ(constant(block_of(graph.root_node()).args[0]), 0.5f);
}

TEST(Compiler, ConstantExpressionsFoldToConstants) {
    const Graph graph = compiled(
        R"~({"block":"shaper","args":{"curve":"1 + 1","drive_db":"-6 * 2 + 1","bias":"pi / 4","output_db":"rate / 2000"}})~",
        KILN_PARAMS);
    const BlockNode& shaper = block_of(graph.root_node());
    EXPECT_EQ(constant(shaper.args[0]), 2.0f);
    EXPECT_EQ(constant(shaper.args[1]), -11.0f);
    EXPECT_EQ(constant(shaper.args[2]), 3.1415927f / 4.0f);
    // The sample rate is not a constant: it is known only when the graph is prepared.
    EXPECT_TRUE(std::holds_alternative<Expr>(shaper.args[3]));
}

TEST(Compiler, ConfigureReceivesConstantsAndDefaults) {
    // delay: a constant expression; tail_ms: follows a parameter, so its default; kind: a
    // choice; level: unbound, so its default.
    const Graph graph = compiled(R"~({"block":"probe","args":{"delay":"2 * 24","tail_ms":"drive","kind":" C "}})~",
                                 KILN_PARAMS, true);
    const BlockNode& node = block_of(graph.root_node());
    const auto& probe = dynamic_cast<const Probe&>(*node.block);
    EXPECT_EQ(probe.configure_calls, 1u);
    EXPECT_EQ(probe.configured, (std::array<float, 4>{48.0f, 0.0f, 2.0f, 7.0f}));
    EXPECT_EQ(constant(node.args[0]), 48.0f);
    EXPECT_TRUE(std::holds_alternative<Expr>(node.args[1]));
    EXPECT_EQ(constant(node.args[2]), 2.0f);
    EXPECT_EQ(constant(node.args[3]), 7.0f);
    EXPECT_EQ(probe.controls, 0u);
}

TEST(Compiler, MetersRecordedInDescriptionOrder) {
    const Graph graph =
        compiled(R"~({"block":"probe","meters":{"count":"tone","level":"drive","level":"bypass"}})~", KILN_PARAMS, true);
    using Pair = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(block_of(graph.root_node()).meters, (std::vector<Pair>{{1, 2}, {0, 0}, {0, 3}}));
}

TEST(Compiler, ConstantControlsBecomeExpressions) {
    const Graph graph = compiled(
        R"~({"parallel":[{"node":{"block":"gain"},"gain_db":-6},{"node":{"block":"gain"}},{"node":{"block":"gain"},"gain_db":"drive"}],"bypass":true,"mix":"0.25","only":[1,0,1]})~",
        KILN_PARAMS);
    const MixNode& wrapper = *std::get<std::unique_ptr<MixNode>>(graph.root_node().kind);
    ASSERT_TRUE(wrapper.bypass.has_value());
    EXPECT_EQ(evaluated(*wrapper.bypass), 1.0f);
    ASSERT_TRUE(wrapper.mix.has_value());
    EXPECT_EQ(evaluated(*wrapper.mix), 0.25f);
    EXPECT_EQ(wrapper.only, (std::vector<std::uint64_t>{1, 0, 1}));

    const Parallel& parallel = std::get<Parallel>(wrapper.node.kind);
    ASSERT_EQ(parallel.branches.size(), 3u);
    ASSERT_TRUE(parallel.branches[0].gain.has_value());
    EXPECT_EQ(evaluated(*parallel.branches[0].gain), -6.0f);
    EXPECT_FALSE(parallel.branches[1].gain.has_value());
    ASSERT_TRUE(parallel.branches[2].gain.has_value());
    EXPECT_EQ(var_slot(*parallel.branches[2].gain), 0u);
    for (const Branch& branch : parallel.branches) {
        EXPECT_EQ(branch.gain_from, 1.0f);
        EXPECT_EQ(branch.gain_to, 1.0f);
        EXPECT_FALSE(branch.started);
        EXPECT_EQ(branch.position, 0u);
        EXPECT_TRUE(branch.delay_lines.empty());
        EXPECT_EQ(branch.frame.channel_count(), 1u);
    }
    EXPECT_EQ(parallel.input.channel_count(), 1u);
    EXPECT_EQ(parallel.sum.channel_count(), 1u);
}

TEST(Compiler, NodeWithoutOptionsIsNotWrapped) {
    const Graph graph = compiled(R"~({"chain":[{"block":"gain"}]})~", KILN_PARAMS);
    EXPECT_TRUE(std::holds_alternative<Chain>(graph.root_node().kind));
}

TEST(Compiler, EmptyParallelCompiles) {
    // The description reader refuses an empty parallel; the compiler takes one built by hand.
    GraphSpec description;
    description.node.kind = NodeSpec::Parallel{};
    Result<Graph> graph = Graph::from_spec(description, KILN_PARAMS);
    ASSERT_TRUE(graph.has_value()) << graph.error();
    EXPECT_TRUE(std::get<Parallel>(graph->root_node().kind).branches.empty());
    EXPECT_EQ(graph->latency_samples(), 0u);
}

// The xorshift step written out on its own: shifts 13 left, 17 right, 5 left.
std::uint32_t next(std::uint32_t s) {
    s = s ^ static_cast<std::uint32_t>(s << 13);
    s = s ^ (s >> 17);
    s = s ^ static_cast<std::uint32_t>(s << 5);
    return s;
}

TEST(Compiler, ModulatorsSeededFromTheirIndex) {
    const Graph graph = compiled(
        R"~({"modulators":[{"id":"a","shape":"sine"},{"id":"b","shape":"triangle","rate":"drive"},{"id":"c","shape":"saw","rate":0.5},{"id":"d","shape":"square"},{"id":"e","shape":"random","rate":"2 * 3"}],"chain":[]})~",
        KILN_PARAMS);
    const std::span<const Modulator> mods = graph.modulator_list();
    ASSERT_EQ(mods.size(), 5u);
    const Shape shapes[] = {Shape::Sine, Shape::Triangle, Shape::Saw, Shape::Square, Shape::Random};
    for (std::uint32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        // (i + 1) × 0x9E3779B9 modulo 2^32, made odd, then one step.
        const std::uint64_t product = (std::uint64_t{i} + 1) * 0x9E3779B9ull;
        const std::uint32_t s = next(static_cast<std::uint32_t>(product % 4294967296ull) | 1u);
        EXPECT_EQ(mods[i].state, s);
        EXPECT_EQ(mods[i].held, static_cast<float>(s) / 4294967296.0f * 2.0f - 1.0f);
        EXPECT_GE(mods[i].held, -1.0f);
        EXPECT_LT(mods[i].held, 1.0f);
        EXPECT_EQ(mods[i].phase, 0.0f);
        EXPECT_EQ(mods[i].shape, shapes[i]);
    }
    // The first seed worked by hand: 0x9E3779B9 is odd already.
    EXPECT_EQ(mods[0].state, next(0x9E3779B9u));
    EXPECT_EQ(constant(mods[0].rate), 1.0f);
    ASSERT_TRUE(std::holds_alternative<Expr>(mods[1].rate));
    EXPECT_EQ(var_slot(std::get<Expr>(mods[1].rate)), 0u);
    EXPECT_EQ(constant(mods[2].rate), 0.5f);
    EXPECT_EQ(constant(mods[4].rate), 6.0f);
    EXPECT_EQ(graph.slot_values().size(), 9u);
}

TEST(Compiler, ModulatorSlotsFollowTheParameters) {
    const Graph graph = compiled(
        R"~({"modulators":[{"id":"lfo"},{"id":"env"}],"block":"gain","args":{"gain_db":"env","pan":"lfo"}})~",
        KILN_PARAMS);
    const BlockNode& gain = block_of(graph.root_node());
    EXPECT_EQ(var_slot(std::get<Expr>(gain.args[0])), 5u);
    EXPECT_EQ(var_slot(std::get<Expr>(gain.args[1])), 4u);
}

TEST(Compiler, FirstParameterOfARepeatedNameWins) {
    const Graph graph = compiled(R"~({"block":"gain","args":{"gain_db":"a"}})~", {"b", "a", "a"});
    EXPECT_EQ(var_slot(std::get<Expr>(block_of(graph.root_node()).args[0])), 1u);
}

} // namespace
