#include "loom/blocks/graph_spec.hpp"

#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

using loom::ArgValue;
using loom::BranchSpec;
using loom::GraphSpec;
using loom::Json;
using loom::NodeSpec;

struct ErrorCase {
    const char* name;
    std::string_view text, message;
};

constexpr ErrorCase SPEC_ERRORS[] = {
    // The text must be JSON.
    {"EmptyText", "", "the graph is not valid JSON: unexpected end of input at byte 0"},
    {"TrailingText", R"({"chain":[]} x)",
     "the graph is not valid JSON: unexpected text after the value at byte 13"},
    {"InvalidUtf8", "{\"block\":\"\xFF\"}", "the graph is not valid JSON: the string is not valid UTF-8"},
    // The root must be a node object.
    {"RootArray", "[1]", "graph must be an object"},
    {"RootNumber", "5", "graph must be an object"},
    {"RootString", R"("gain")", "graph must be an object"},
    {"RootUnknownKey", R"({"blok":"gain"})",
     "graph has an unknown key 'blok'. It can have: block, args, meters, chain, parallel, bypass, mix, only, modulators, id"},
    {"FirstUnknownKeyInDocumentOrder", R"({"zz":1,"block":"gain","aa":2})",
     "graph has an unknown key 'zz'. It can have: block, args, meters, chain, parallel, bypass, mix, only, modulators, id"},
    {"KeysBeforeBypass", R"({"bypass":null,"x":1})",
     "graph has an unknown key 'x'. It can have: block, args, meters, chain, parallel, bypass, mix, only, modulators, id"},
    {"KeysAreCaseSensitive", R"({"Block":"gain"})",
     "graph has an unknown key 'Block'. It can have: block, args, meters, chain, parallel, bypass, mix, only, modulators, id"},
    {"ChainElementUnknownKey", R"({"chain":[{"block":"gain"},{"blok":"gain"}]})",
     "graph.chain[1] has an unknown key 'blok'. It can have: block, args, meters, chain, parallel, bypass, mix, only, modulators, id"},
    {"ChainElementNotObject", R"({"chain":[{"block":"gain"},1]})", "graph.chain[1] must be an object"},
    // Modulators come first.
    {"ModulatorsNotList", R"({"modulators":{}})", "modulators must be a list"},
    {"ModulatorsNull", R"({"modulators":null,"chain":[]})", "modulators must be a list"},
    {"ModulatorNotObject", R"({"modulators":["lfo"],"chain":[]})", "modulators[0] must be an object"},
    {"ModulatorUnknownKey", R"({"modulators":[{"id":"a","freq":1}],"chain":[]})",
     "modulators[0] has an unknown key 'freq'. It can have: id, shape, rate"},
    {"ModulatorKeysBeforeId", R"({"modulators":[{"rate":[],"x":1}],"chain":[]})",
     "modulators[0] has an unknown key 'x'. It can have: id, shape, rate"},
    {"ModulatorWithoutId", R"({"modulators":[{"shape":"saw"}],"chain":[]})", "modulators[0] needs an id"},
    {"ModulatorIdNotText", R"({"modulators":[{"id":"a"},{"id":2}],"chain":[]})", "modulators[1] needs an id"},
    {"ModulatorIdBeforeRate", R"({"modulators":[{"rate":[]}],"chain":[]})", "modulators[0] needs an id"},
    {"ModulatorRateNull", R"({"modulators":[{"id":"a"},{"id":"b","rate":null}],"chain":[]})",
     "modulators[1] rate must be a number or a string"},
    {"ModulatorRateObject", R"({"modulators":[{"id":"b","rate":{}}],"chain":[]})",
     "modulators[0] rate must be a number or a string"},
    {"ModulatorFaultBeforeRootKeys", R"({"blok":1,"modulators":[{}]})", "modulators[0] needs an id"},
    {"ModulatorsBeforeRootKind", R"({"modulators":5})", "modulators must be a list"},
    // A node: keys, bypass, mix, only, then its kind.
    {"BypassNull", R"({"block":"gain","bypass":null})", "graph bypass must be a number or a string"},
    {"BypassList", R"({"block":"gain","bypass":[1]})", "graph bypass must be a number or a string"},
    {"MixObject", R"({"block":"gain","mix":{}})", "graph mix must be a number or a string"},
    {"BypassBeforeMix", R"({"block":"gain","mix":[],"bypass":[]})",
     "graph bypass must be a number or a string"},
    {"MixBeforeOnly", R"({"block":"gain","only":5,"mix":null})", "graph mix must be a number or a string"},
    {"OnlyNotList", R"({"block":"gain","only":5})", "graph only must be a list of channel numbers"},
    {"OnlyObject", R"({"block":"gain","only":{"0":1}})", "graph only must be a list of channel numbers"},
    {"OnlyFraction", R"({"block":"gain","only":[0,1.5]})",
     "graph only must hold whole channel numbers from 0"},
    {"OnlyNegative", R"({"block":"gain","only":[-1]})", "graph only must hold whole channel numbers from 0"},
    {"OnlyTinyFraction", R"({"block":"gain","only":[1e-300]})",
     "graph only must hold whole channel numbers from 0"},
    {"OnlyInfinite", R"({"block":"gain","only":[1e999]})",
     "graph only must hold whole channel numbers from 0"},
    {"OnlyText", R"({"block":"gain","only":["0"]})", "graph only must hold whole channel numbers from 0"},
    {"OnlyBoolean", R"({"block":"gain","only":[true]})", "graph only must hold whole channel numbers from 0"},
    {"OnlyNull", R"({"block":"gain","only":[null]})", "graph only must hold whole channel numbers from 0"},
    {"OnlyBeforeKind", R"({"only":{}})", "graph only must be a list of channel numbers"},
    {"NoKind", "{}", "graph must have exactly one of block, chain or parallel"},
    {"OnlyOptions", R"({"bypass":0,"mix":1,"only":[],"id":"x"})",
     "graph must have exactly one of block, chain or parallel"},
    {"BlockAndChain", R"({"block":"gain","chain":[]})",
     "graph must have exactly one of block, chain or parallel"},
    {"ChainAndParallel", R"({"chain":[],"parallel":[]})",
     "graph must have exactly one of block, chain or parallel"},
    {"AllThreeKinds", R"({"block":1,"chain":1,"parallel":1})",
     "graph must have exactly one of block, chain or parallel"},
    {"NullKindCounts", R"({"block":null,"chain":[]})",
     "graph must have exactly one of block, chain or parallel"},
    // Blocks.
    {"BlockNotName", R"({"block":3})", "graph block must be a name"},
    {"BlockNameBeforeArgs", R"({"block":null,"args":5})", "graph block must be a name"},
    {"ArgsNotObject", R"({"block":"gain","args":[]})", "graph args must be an object"},
    {"ArgsBeforeMeters", R"({"block":"gain","meters":5,"args":5})", "graph args must be an object"},
    {"ArgumentNull", R"({"chain":[{"block":"gain","args":{"gain_db":null}}]})",
     "graph.chain[0] argument 'gain_db' must be a number or a string"},
    {"SecondArgumentList", R"({"block":"gain","args":{"pan":0,"gain_db":[]}})",
     "graph argument 'gain_db' must be a number or a string"},
    {"MetersNotObject", R"({"block":"dynamics","meters":["gr"]})", "graph meters must be an object"},
    {"MeterNotText", R"({"block":"dynamics","meters":{"gain_reduction_db":1}})",
     "graph meter 'gain_reduction_db' must name a parameter"},
    // Chains and parallels.
    {"ChainNotList", R"({"chain":{}})", "graph chain must be a list"},
    {"ChainText", R"({"chain":"gain"})", "graph chain must be a list"},
    {"ParallelNotList", R"({"parallel":{}})", "graph parallel must be a list of branches"},
    {"ParallelEmpty", R"({"parallel":[]})", "graph parallel needs at least one branch"},
    {"BranchWithoutNode", R"({"parallel":[{"gain_db":-6}]})", "graph.parallel[0] needs a node"},
    {"BranchNotObject", R"({"parallel":[[]]})", "graph.parallel[0] must be an object"},
    {"BranchUnknownKey", R"({"parallel":[{"node":{"block":"gain"},"block":"x"}]})",
     "graph.parallel[0] has an unknown key 'block'. It can have: node, gain_db"},
    {"BranchKeysBeforeNode", R"({"parallel":[{"gain":1}]})",
     "graph.parallel[0] has an unknown key 'gain'. It can have: node, gain_db"},
    {"BranchGainNull", R"({"parallel":[{"node":{"block":"gain"},"gain_db":null}]})",
     "graph.parallel[0] gain_db must be a number or a string"},
    {"BranchGainBeforeNode", R"({"parallel":[{"node":{},"gain_db":null}]})",
     "graph.parallel[0] gain_db must be a number or a string"},
    {"BranchNodeNotObject", R"({"parallel":[{"node":1}]})", "graph.parallel[0].node must be an object"},
    {"BranchNodeWithoutKind", R"({"parallel":[{"node":{"block":"gain"}},{"node":{}}]})",
     "graph.parallel[1].node must have exactly one of block, chain or parallel"},
    // Paths and the first fault.
    {"DeepPath",
     R"({"chain":[{"block":"a"},{"block":"b"},{"parallel":[{"node":{"block":"c"}},)"
     R"({"node":{"chain":[{"block":"d","only":"x"}]}}]}]})",
     "graph.chain[2].parallel[1].node.chain[0] only must be a list of channel numbers"},
    {"NestedChain", R"({"chain":[{"chain":[{"block":"a"},{}]}]})",
     "graph.chain[0].chain[1] must have exactly one of block, chain or parallel"},
    {"NestedBranchNeedsNode", R"({"chain":[{"parallel":[{"node":{"block":"a"}},{}]}]})",
     "graph.chain[0].parallel[1] needs a node"},
    {"NestedMeter", R"({"parallel":[{"node":{"block":"dynamics","meters":{"gr":false}}}]})",
     "graph.parallel[0].node meter 'gr' must name a parameter"},
    {"FirstSiblingWins", R"({"chain":[{"block":1},{"blok":1}]})", "graph.chain[0] block must be a name"},
    {"NodeOptionsBeforeChildren", R"({"chain":[{"blok":1}],"mix":null})",
     "graph mix must be a number or a string"},
};

class SpecError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(SpecError, ReportsMessage) {
    const auto r = GraphSpec::from_str(GetParam().text);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(All, SpecError, ::testing::ValuesIn(SPEC_ERRORS), loom::test::RowName{});

// Helpers that reach into a node of a known kind, failing the test otherwise.
const NodeSpec::Block& block_of(const NodeSpec& node) {
    static const NodeSpec::Block none;
    const auto* block = std::get_if<NodeSpec::Block>(&node.kind);
    EXPECT_NE(block, nullptr) << "not a block";
    return block != nullptr ? *block : none;
}

const std::vector<NodeSpec>& chain_of(const NodeSpec& node) {
    static const std::vector<NodeSpec> none;
    const auto* chain = std::get_if<NodeSpec::Chain>(&node.kind);
    EXPECT_NE(chain, nullptr) << "not a chain";
    return chain != nullptr ? chain->nodes : none;
}

const std::vector<BranchSpec>& branches_of(const NodeSpec& node) {
    static const std::vector<BranchSpec> none;
    const auto* parallel = std::get_if<NodeSpec::Parallel>(&node.kind);
    EXPECT_NE(parallel, nullptr) << "not a parallel";
    return parallel != nullptr ? parallel->branches : none;
}

GraphSpec read(std::string_view text) {
    auto r = GraphSpec::from_str(text);
    EXPECT_TRUE(r.has_value()) << r.error();
    return r.has_value() ? std::move(*r) : GraphSpec{};
}

using Args = std::vector<std::pair<std::string, ArgValue>>;
using Meters = std::vector<std::pair<std::string, std::string>>;
using Channels = std::vector<std::uint64_t>;

void expect_plain(const NodeSpec& node) {
    EXPECT_FALSE(node.only.has_value());
    EXPECT_FALSE(node.bypass.has_value());
    EXPECT_FALSE(node.mix.has_value());
}

TEST(GraphSpecRead, KilnDescription) {
    const GraphSpec description = read(
        R"({"bypass":"bypass","chain":[{"block":"gain","args":{"gain_db":"drive"}},)"
        R"({"block":"shaper","args":{"curve":"mode"}},)"
        R"({"block":"onepole","args":{"type":"lowpass","freq":"tone"}}]})");
    EXPECT_TRUE(description.modulators.empty());
    EXPECT_EQ(description.node.bypass, ArgValue{std::string("bypass")});
    EXPECT_FALSE(description.node.mix.has_value());
    EXPECT_FALSE(description.node.only.has_value());
    const auto& chain = chain_of(description.node);
    ASSERT_EQ(chain.size(), 3u);
    const std::string names[] = {"gain", "shaper", "onepole"};
    const Args args[] = {{{"gain_db", std::string("drive")}},
                         {{"curve", std::string("mode")}},
                         {{"type", std::string("lowpass")}, {"freq", std::string("tone")}}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        expect_plain(chain[i]);
        EXPECT_EQ(block_of(chain[i]).name, names[i]);
        EXPECT_EQ(block_of(chain[i]).args, args[i]);
        EXPECT_TRUE(block_of(chain[i]).meters.empty());
    }
}

TEST(GraphSpecRead, EmptyChainAndBareBlock) {
    const GraphSpec chain = read(R"({"chain":[]})");
    expect_plain(chain.node);
    EXPECT_TRUE(chain_of(chain.node).empty());

    const GraphSpec block = read(R"({"block":"gain"})");
    expect_plain(block.node);
    EXPECT_EQ(block_of(block.node).name, "gain");
    EXPECT_TRUE(block_of(block.node).args.empty());
    EXPECT_TRUE(block_of(block.node).meters.empty());
}

TEST(GraphSpecRead, ArgumentsKeepDocumentOrderAndRepeats) {
    const GraphSpec description = read(
        R"({"block":"gain","args":{"gain_db":true,"pan":-0.5,"invert":false,"gain_db":"drive * 2"},"meters":{}})");
    const Args expected = {{"gain_db", 1.0}, {"pan", -0.5}, {"invert", 0.0}, {"gain_db", std::string("drive * 2")}};
    EXPECT_EQ(block_of(description.node).args, expected);
    EXPECT_TRUE(block_of(description.node).meters.empty());
}

TEST(GraphSpecRead, MetersKeepDocumentOrder) {
    const GraphSpec description = read(R"({"block":"dynamics","meters":{"gain_reduction_db":"gr","b":"x","a":"gr"}})");
    const Meters expected = {{"gain_reduction_db", "gr"}, {"b", "x"}, {"a", "gr"}};
    EXPECT_EQ(block_of(description.node).meters, expected);
    EXPECT_TRUE(block_of(description.node).args.empty());
}

TEST(GraphSpecRead, ParallelBranchesWithGains) {
    const GraphSpec description = read(
        R"({"parallel":[{"node":{"block":"gain"}},)"
        R"({"gain_db":-6,"node":{"chain":[{"block":"delay"},{"block":"onepole"}]}},)"
        R"({"node":{"parallel":[{"node":{"block":"stereo"},"gain_db":"wet"}]},"gain_db":false}]})");
    expect_plain(description.node);
    const auto& branches = branches_of(description.node);
    ASSERT_EQ(branches.size(), 3u);

    EXPECT_FALSE(branches[0].gain_db.has_value());
    EXPECT_EQ(block_of(branches[0].node).name, "gain");

    EXPECT_EQ(branches[1].gain_db, ArgValue{-6.0});
    const auto& chain = chain_of(branches[1].node);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(block_of(chain[0]).name, "delay");
    EXPECT_EQ(block_of(chain[1]).name, "onepole");

    EXPECT_EQ(branches[2].gain_db, ArgValue{0.0});
    const auto& inner = branches_of(branches[2].node);
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner[0].gain_db, ArgValue{std::string("wet")});
    EXPECT_EQ(block_of(inner[0].node).name, "stereo");
}

TEST(GraphSpecRead, NodeOptions) {
    const GraphSpec description = read(
        R"({"chain":[{"block":"delay","mix":0.25,"bypass":true,"only":[1,0]},)"
        R"({"block":"gain","mix":"wet / 100","bypass":0,"only":[]},)"
        R"({"parallel":[{"node":{"block":"gain","only":[3],"mix":false}}],"bypass":"off"}]})");
    expect_plain(description.node);
    const auto& chain = chain_of(description.node);
    ASSERT_EQ(chain.size(), 3u);

    EXPECT_EQ(chain[0].mix, ArgValue{0.25});
    EXPECT_EQ(chain[0].bypass, ArgValue{1.0});
    EXPECT_EQ(chain[0].only, (Channels{1, 0}));

    EXPECT_EQ(chain[1].mix, ArgValue{std::string("wet / 100")});
    EXPECT_EQ(chain[1].bypass, ArgValue{0.0});
    EXPECT_EQ(chain[1].only, Channels{});

    EXPECT_EQ(chain[2].bypass, ArgValue{std::string("off")});
    EXPECT_FALSE(chain[2].mix.has_value());
    EXPECT_FALSE(chain[2].only.has_value());
    const NodeSpec& inner = branches_of(chain[2]).at(0).node;
    EXPECT_EQ(inner.only, Channels{3});
    EXPECT_EQ(inner.mix, ArgValue{0.0});
    EXPECT_FALSE(inner.bypass.has_value());
}

TEST(GraphSpecRead, ChannelNumbersSaturateAtSixtyFourBits) {
    constexpr std::uint64_t MAX = std::numeric_limits<std::uint64_t>::max();
    // 2^64 - 2048 is the largest double below 2^64; 2^64 itself and beyond saturate.
    const GraphSpec description = read(
        R"({"block":"gain","only":[-0,2.0,1e3,18446744073709549568,18446744073709551616,1e30,1.7976931348623157e308]})");
    const Channels expected = {0, 2, 1000, 18446744073709549568u, MAX, MAX, MAX};
    EXPECT_EQ(description.node.only, expected);
}

TEST(GraphSpecRead, Modulators) {
    const GraphSpec description = read(
        R"({"modulators":[{"id":"lfo"},{"id":"lfo","shape":3},)"
        R"({"rate":"tempo / 60","shape":"saw","id":"beat"},{"id":"b","rate":true,"shape":""},)"
        R"({"id":"","rate":0.25}],"block":"gain"})");
    struct Row { std::string id, shape; ArgValue rate; };
    const Row expected[] = {{"lfo", "sine", 1.0},
                            {"lfo", "sine", 1.0},
                            {"beat", "saw", std::string("tempo / 60")},
                            {"b", "", 1.0},
                            {"", "sine", 0.25}};
    ASSERT_EQ(description.modulators.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(description.modulators[i].id, expected[i].id);
        EXPECT_EQ(description.modulators[i].shape, expected[i].shape);
        EXPECT_EQ(description.modulators[i].rate, expected[i].rate);
    }
    EXPECT_EQ(block_of(description.node).name, "gain");
}

TEST(GraphSpecRead, EmptyModulatorListAndKeysOnlyReadAtTheTop) {
    EXPECT_TRUE(read(R"({"modulators":[],"chain":[]})").modulators.empty());
    // Below the root, modulators and id are allowed but never read, whatever they hold.
    const GraphSpec description = read(R"({"id":null,"chain":[{"block":"gain","modulators":5,"id":[]}]})");
    EXPECT_TRUE(description.modulators.empty());
    EXPECT_EQ(block_of(chain_of(description.node).at(0)).name, "gain");
}

TEST(GraphSpecRead, RepeatedKeysReadTheFirst) {
    const GraphSpec description = read(R"({"block":"gain","block":3,"mix":1,"mix":null})");
    EXPECT_EQ(block_of(description.node).name, "gain");
    EXPECT_EQ(description.node.mix, ArgValue{1.0});
}

TEST(GraphSpecFromJson, RefusesChannelNumbersNoTextCanHold) {
    // The JSON reader never makes a NaN, but a value built in code can hold one.
    Json value{Json::Object{{"block", Json{std::string("gain")}},
                            {"only", Json{Json::Array{Json{std::nan("")}}}}}};
    const auto r = GraphSpec::from_json(value);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), "graph only must hold whole channel numbers from 0");

    value = Json{Json::Object{{"block", Json{std::string("gain")}},
                              {"only", Json{Json::Array{Json{-std::numeric_limits<double>::infinity()}}}}}};
    const auto negative = GraphSpec::from_json(value);
    ASSERT_FALSE(negative.has_value());
    EXPECT_EQ(negative.error(), "graph only must hold whole channel numbers from 0");
}

TEST(GraphSpecFromJson, ReadsABuiltValue) {
    const Json value{Json::Object{{"block", Json{std::string("gain")}},
                                  {"args", Json{Json::Object{{"gain_db", Json{-3.0}}}}}}};
    const auto r = GraphSpec::from_json(value);
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(block_of(r->node).args, (Args{{"gain_db", -3.0}}));
    EXPECT_FALSE(GraphSpec::from_json(Json{}).has_value());
}

TEST(OnlyKeys, ChecksTheObjectAndItsKeys) {
    constexpr std::string_view ALLOWED[] = {"node", "gain_db"};
    const auto check = [&](std::string_view text) {
        const auto json = loom::parse(text);
        EXPECT_TRUE(json.has_value()) << json.error();
        return loom::only_keys(json.has_value() ? *json : Json{}, ALLOWED, "x.parallel[3]");
    };
    EXPECT_TRUE(check("{}").has_value());
    EXPECT_TRUE(check(R"({"gain_db":1,"node":2,"node":3})").has_value());
    EXPECT_EQ(check("[]").error(), "x.parallel[3] must be an object");
    EXPECT_EQ(check("null").error(), "x.parallel[3] must be an object");
    EXPECT_EQ(check(R"({"node":1,"b":2,"a":3})").error(),
              "x.parallel[3] has an unknown key 'b'. It can have: node, gain_db");
    EXPECT_EQ(check(R"({"":1})").error(), "x.parallel[3] has an unknown key ''. It can have: node, gain_db");

    const auto none = loom::only_keys(Json{Json::Object{{"k", Json{}}}}, {}, "m");
    ASSERT_FALSE(none.has_value());
    EXPECT_EQ(none.error(), "m has an unknown key 'k'. It can have: ");
}

} // namespace
