#include "loom/blocks/graph.hpp"

#include "frames.hpp"
#include "probe_block.hpp"
#include "loom/test/allocation_counter.hpp"
#include "loom/test/row_name.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using loom::BlockNode;
using loom::Chain;
using loom::Graph;
using loom::GraphSpec;
using loom::MixNode;
using loom::Node;
using loom::Parallel;
using loom::ParamInfo;
using loom::ParamKind;
using loom::ParamSet;
using loom::PrepareContext;
using loom::ProcessContext;
using loom::Result;
using loom::test::Probe;
using loom::test::ProbeCall;

using Names = std::vector<std::string_view>;
using Signal = std::vector<std::vector<float>>;

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();

// The parameters the test graphs bind to, in slot order.
constexpr ParamInfo TABLE[] = {
    {.id = "gain", .min = -200.0f, .max = 200.0f},
    {.id = "mix", .min = -10.0f, .max = 10.0f, .default_value = 1.0f},
    {.id = "bypass", .kind = ParamKind::Toggle},
    {.id = "x", .min = -1e6f, .max = 1e6f},
    {.id = "tail", .min = 0.0f, .max = 1e6f},
    {.id = "meter", .min = -10.0f, .max = 10.0f},
    {.id = "count", .min = 0.0f, .max = 1e9f},
};
const Names NAMES = {"gain", "mix", "bypass", "x", "tail", "meter", "count"};
enum Slot : std::size_t { GAIN, MIX, BYPASS, X, TAIL, METER, COUNT };

// 10^(dB/20) as the engine computes it: exp(dB × ln(10)/20) with ln(10)/20 as a 32-bit float.
float db_factor(float db) { return std::exp(db * 0.11512925f); }

// The glide rule: period position p (0 to 31) is (p + 1)/32 of the way from `from` to `to`.
float ramp(float from, float to, std::size_t p) { return from + (to - from) * static_cast<float>(p + 1) / 32.0f; }

// The factor of -6.0206 dB: one half, to float precision.
const float HALF = db_factor(-6.0206f);

Graph build(std::string_view text, const Names& names = NAMES) {
    Result<GraphSpec> spec = GraphSpec::from_str(text);
    Result<Graph> graph = spec ? Graph::from_spec(*spec, names, loom::test::TEST_BLOCKS) : loom::fail(spec.error());
    if (!graph) {
        ADD_FAILURE() << "does not compile: " << graph.error();
        std::abort();
    }
    return std::move(*graph);
}

ProcessContext at_tempo(std::optional<double> tempo) {
    ProcessContext context;
    context.tempo = tempo;
    return context;
}

void prepare(Graph& graph, std::uint32_t channels, float sample_rate = 48000.0f) {
    graph.prepare(PrepareContext{.max_frames = 4096, .sample_rate = sample_rate, .channels = channels});
}

// `channels` channels of the test signal, `length` samples each.
Signal make_signal(std::size_t channels, std::size_t length) {
    Signal out(channels, std::vector<float>(length));
    for (std::size_t c = 0; c < channels; ++c)
        for (std::size_t i = 0; i < length; ++i) out[c][i] = loom::test::signal(c, i);
    return out;
}

// Processes samples `from` .. `from + count - 1` of every channel of `audio` in one call.
void run(Graph& graph, ParamSet& params, Signal& audio, std::size_t from, std::size_t count,
         const ProcessContext& context = {}) {
    std::array<std::span<float>, 8> spans{};
    for (std::size_t c = 0; c < audio.size(); ++c) spans[c] = std::span<float>(audio[c]).subspan(from, count);
    graph.process(params, std::span<const std::span<float>>(spans.data(), audio.size()), context);
}

const MixNode& mix_of(const Node& node) { return *std::get<std::unique_ptr<MixNode>>(node.kind); }
const Node& child(const Node& node, std::size_t i) { return std::get<Chain>(node.kind).nodes[i]; }
const BlockNode& block_of(const Node& node) { return std::get<BlockNode>(node.kind); }
Probe& probe_of(const Node& node) { return dynamic_cast<Probe&>(*block_of(node).block); }

class GraphRun : public ::testing::Test {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

// ---------------------------------------------------------------------------------------------
// Control periods across host buffers.

TEST_F(GraphRun, BuffersAreCutAtPeriodBoundaries) {
    Graph graph = build(R"~({"block":"probe"})~");
    prepare(graph, 1);
    Probe& probe = probe_of(graph.root_node());
    EXPECT_EQ(probe.logged(), (std::vector<ProbeCall>{{'R', 0, 0}}));
    probe.clear();

    Signal audio = make_signal(1, 133);
    run(graph, params, audio, 0, 100);
    // A control update opens every period, the fourth too: sample 96 starts a period.
    EXPECT_EQ(probe.logged(), (std::vector<ProbeCall>{{'C', 0, 0},
                                                      {'P', 0, 32},
                                                      {'C', 0, 0},
                                                      {'P', 0, 32},
                                                      {'C', 0, 0},
                                                      {'P', 0, 32},
                                                      {'C', 0, 0},
                                                      {'P', 0, 4}}));
    EXPECT_EQ(graph.period_position(), 4u);

    probe.clear();
    run(graph, params, audio, 100, 28);
    EXPECT_EQ(probe.logged(), (std::vector<ProbeCall>{{'P', 4, 28}}));
    EXPECT_EQ(graph.period_position(), 0u);

    probe.clear();
    run(graph, params, audio, 128, 5);
    EXPECT_EQ(probe.logged(), (std::vector<ProbeCall>{{'C', 0, 0}, {'P', 0, 5}}));
    EXPECT_EQ(audio, make_signal(1, 133));
}

TEST_F(GraphRun, ParameterChangeLandsAtTheNextPeriod) {
    Graph graph = build(R"~({"block":"gain","args":{"gain_db":"gain"}})~");
    prepare(graph, 1);
    const Signal input = make_signal(1, 110);
    Signal audio = input;
    run(graph, params, audio, 0, 40);
    params.at(GAIN).set(-6.0206f); // at period position 8
    run(graph, params, audio, 40, 30);
    run(graph, params, audio, 70, 40);
    for (std::size_t n = 0; n < 110; ++n) {
        SCOPED_TRACE(n);
        if (n < 64)
            EXPECT_EQ(audio[0][n], input[0][n]);
        else if (n < 96)
            EXPECT_FLOAT_EQ(audio[0][n], input[0][n] * ramp(1.0f, HALF, n - 64));
        else
            EXPECT_FLOAT_EQ(audio[0][n], input[0][n] * HALF);
    }
}

TEST_F(GraphRun, SplitBuffersGiveTheSameOutput) {
    // Modulators make every period's values differ; the output must not depend on where
    // the host cuts its buffers.
    constexpr std::string_view TEXT =
        R"~({"modulators":[{"id":"lfo","rate":170},{"id":"sq","shape":"square","rate":90}],"chain":[{"block":"gain","args":{"gain_db":"lfo * 12"}},{"parallel":[{"node":{"block":"probe","args":{"delay":7}},"gain_db":"sq * 6"},{"node":{"block":"shaper","args":{"drive_db":"lfo * 6"}}}]}],"mix":"(sq + 1) / 2"})~";
    const Signal input = make_signal(2, 300);
    Graph whole = build(TEXT);
    prepare(whole, 2, 8000.0f);
    Signal expected = input;
    run(whole, params, expected, 0, 300);

    Graph split = build(TEXT);
    prepare(split, 2, 8000.0f);
    Signal audio = input;
    std::size_t at = 0;
    for (std::size_t length : {1, 31, 33, 64, 7, 0, 100, 64}) {
        run(split, params, audio, at, length);
        at += length;
    }
    ASSERT_EQ(at, 300u);
    EXPECT_EQ(audio, expected);
}

TEST_F(GraphRun, FirstControlAfterPrepareDoesNotGlide) {
    Graph graph = build(R"~({"parallel":[{"node":{"block":"gain","args":{"gain_db":"gain"}},"gain_db":"x"}],"mix":"mix"})~");
    const Signal input = make_signal(1, 64);
    for (const float gain : {-20.0f, 6.0f}) {
        SCOPED_TRACE(gain);
        params.at(GAIN).set(gain);
        params.at(X).set(-6.0206f);
        params.at(MIX).set(0.25f);
        prepare(graph, 1);
        Signal audio = input;
        run(graph, params, audio, 0, 64);
        for (std::size_t n = 0; n < 64; ++n) {
            const float wet = input[0][n] * db_factor(gain) * HALF;
            EXPECT_FLOAT_EQ(audio[0][n], input[0][n] + 0.25f * (wet - input[0][n])) << n;
        }
        params.at(MIX).set(0.75f);
        params.at(X).set(0.0f);
        params.at(GAIN).set(0.0f);
        run(graph, params, audio, 0, 32); // leaves glides in flight before the next prepare
    }
}

// ---------------------------------------------------------------------------------------------
// Mix, bypass and channel selection.

TEST_F(GraphRun, BypassCrossfadesAndStopsTheInnerNode) {
    Graph graph = build(R"~({"chain":[{"block":"gain","args":{"gain_db":-6.0206}},{"block":"probe"}],"bypass":"bypass"})~");
    prepare(graph, 1);
    Probe& probe = probe_of(child(mix_of(graph.root_node()).node, 1));
    const Signal input = make_signal(1, 6 * 32);
    Signal audio = input;
    const float bypass_before_period[] = {0, 1, 1, 1, 0, 0};
    const std::uint64_t processed_after_period[] = {32, 64, 64, 64, 96, 128};
    for (std::size_t period = 0; period < 6; ++period) {
        params.at(BYPASS).set(bypass_before_period[period]);
        run(graph, params, audio, period * 32, 32);
        EXPECT_EQ(probe.processed, processed_after_period[period]) << period;
    }
    for (std::size_t n = 0; n < 6 * 32; ++n) {
        SCOPED_TRACE(n);
        const float x = input[0][n];
        const float wet = x * HALF;
        switch (n / 32) {
        case 0:
        case 5: EXPECT_EQ(audio[0][n], wet); break;
        case 1: EXPECT_FLOAT_EQ(audio[0][n], x + ramp(1.0f, 0.0f, n % 32) * (wet - x)); break;
        case 2:
        case 3: EXPECT_EQ(audio[0][n], x); break;
        case 4: EXPECT_FLOAT_EQ(audio[0][n], x + ramp(0.0f, 1.0f, n % 32) * (wet - x)); break;
        }
    }
}

TEST_F(GraphRun, BypassedOutputIsTheInputDelayedByTheLatency) {
    Graph graph = build(R"~({"chain":[{"block":"gain","args":{"gain_db":-6.0206}},{"block":"probe","args":{"delay":5}}],"bypass":"bypass"})~");
    EXPECT_EQ(graph.latency_samples(), 5u);
    prepare(graph, 1);
    Probe& probe = probe_of(child(mix_of(graph.root_node()).node, 1));
    params.at(BYPASS).set(1.0f);
    const Signal input = make_signal(1, 160);
    Signal audio = input;
    run(graph, params, audio, 0, 20);
    run(graph, params, audio, 20, 50);
    run(graph, params, audio, 70, 26);
    EXPECT_EQ(probe.processed, 0u);
    params.at(BYPASS).set(0.0f);
    run(graph, params, audio, 96, 64);
    for (std::size_t n = 0; n < 160; ++n) {
        SCOPED_TRACE(n);
        const float dry = n < 5 ? 0.0f : input[0][n - 5];
        if (n < 96) {
            EXPECT_EQ(audio[0][n], dry);
        } else if (n < 128) {
            // The inner node stood still while bypassed: its delay holds silence until it has
            // been fed 5 samples again.
            const float wet = n < 101 ? 0.0f : input[0][n - 5] * HALF;
            EXPECT_FLOAT_EQ(audio[0][n], dry + ramp(0.0f, 1.0f, n - 96) * (wet - dry));
        } else {
            EXPECT_EQ(audio[0][n], input[0][n - 5] * HALF);
        }
    }
}

// A node that has run fully wet keeps its dry ring fed: when the bypass comes on, the dry
// side is the input of L samples ago, never audio left over from before.
TEST_F(GraphRun, BypassAfterAFullyWetRunBlendsInTheDelayedInput) {
    Graph graph = build(R"~({"block":"probe","args":{"delay":40},"bypass":"bypass"})~");
    prepare(graph, 1);
    const Signal input = make_signal(1, 256);
    Signal audio = input;
    run(graph, params, audio, 0, 128); // fully wet: the probe delays by 40
    params.at(BYPASS).set(1.0f);
    run(graph, params, audio, 128, 128);
    for (std::size_t n = 40; n < 256; ++n) {
        SCOPED_TRACE(n);
        const float delayed = input[0][n - 40];
        if (n < 128 || n >= 160) {
            EXPECT_EQ(audio[0][n], delayed); // wet before, dry after the crossfade: both delayed by 40
        } else {
            EXPECT_FLOAT_EQ(audio[0][n], delayed + ramp(1.0f, 0.0f, n - 128) * (delayed - delayed));
        }
    }
}

struct BypassCase {
    const char* name;
    const char* bypass; // the bypass expression
    float x;            // the value of parameter x
    bool bypassed;
};

const BypassCase BYPASSES[] = {
    {"Half", "x", 0.5f, true},
    {"JustBelowHalf", "x", 0.49999997f, false},
    {"Negative", "x", -1.0f, false},
    {"AboveOne", "x", 7.0f, true},
    {"NaN", "(x - 2) ^ 0.5", 0.0f, true},
    {"Infinity", "exp(x)", 1000.0f, true},
    {"MinusInfinity", "-exp(x)", 1000.0f, false},
};

class GraphBypass : public ::testing::TestWithParam<BypassCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphBypass, FromHalfUp) {
    const BypassCase& row = GetParam();
    // A bypass wins over any mix.
    Graph graph = build(R"~({"block":"gain","args":{"gain_db":-6.0206},"mix":0.25,"bypass":")~" + std::string(row.bypass) +
                        R"~("})~");
    prepare(graph, 1);
    params.at(X).set(row.x);
    const Signal input = make_signal(1, 40);
    Signal audio = input;
    run(graph, params, audio, 0, 40);
    for (std::size_t n = 0; n < 40; ++n) {
        if (row.bypassed)
            EXPECT_EQ(audio[0][n], input[0][n]) << n;
        else
            EXPECT_FLOAT_EQ(audio[0][n], input[0][n] + 0.25f * (input[0][n] * HALF - input[0][n])) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(All, GraphBypass, ::testing::ValuesIn(BYPASSES), loom::test::RowName{});

struct MixCase {
    const char* name;
    const char* mix;  // the mix expression
    float x;          // the value of parameter x
    float wet_amount; // the amount it gives
};

const MixCase MIX_CASES[] = {
    {"Quarter", "x", 0.25f, 0.25f},
    {"Half", "x", 0.5f, 0.5f},
    {"Zero", "x", 0.0f, 0.0f},
    {"NegativeIsDry", "x", -1.0f, 0.0f},
    {"AboveOneIsWet", "x", 3.0f, 1.0f},
    {"NaNIsWet", "(x - 2) ^ 0.5", 0.0f, 1.0f},
    {"InfinityIsWet", "exp(x)", 1000.0f, 1.0f},
    {"MinusInfinityIsWet", "-exp(x)", 1000.0f, 1.0f},
};

class GraphMix : public ::testing::TestWithParam<MixCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphMix, BlendsDelayedDryWithWet) {
    const MixCase& row = GetParam();
    Graph graph = build(R"~({"chain":[{"block":"gain","args":{"gain_db":-6.0206}},{"block":"probe","args":{"delay":3}}],"mix":")~" +
                        std::string(row.mix) + R"~("})~");
    prepare(graph, 1);
    params.at(X).set(row.x);
    const Signal input = make_signal(1, 96);
    Signal audio = input;
    run(graph, params, audio, 0, 50);
    run(graph, params, audio, 50, 46);
    for (std::size_t n = 0; n < 96; ++n) {
        const float dry = n < 3 ? 0.0f : input[0][n - 3];
        const float wet = dry * HALF;
        if (row.wet_amount == 0.0f)
            EXPECT_EQ(audio[0][n], dry) << n;
        else if (row.wet_amount == 1.0f)
            EXPECT_EQ(audio[0][n], wet) << n;
        else
            EXPECT_NEAR(audio[0][n], (1.0f - row.wet_amount) * dry + row.wet_amount * wet, 1e-6f) << n;
    }
    // All dry: the inner node never runs.
    EXPECT_EQ(probe_of(child(mix_of(graph.root_node()).node, 1)).processed, row.wet_amount == 0.0f ? 0u : 96u);
}

INSTANTIATE_TEST_SUITE_P(All, GraphMix, ::testing::ValuesIn(MIX_CASES), loom::test::RowName{});

TEST_F(GraphRun, OnlyListedChannelsAreProcessed) {
    Graph graph = build(R"~({"chain":[{"block":"gain","args":{"gain_db":-6.0206}},{"block":"probe","args":{"delay":3}}],"only":[1],"mix":"mix"})~");
    prepare(graph, 2);
    const Signal input = make_signal(2, 64);
    Signal audio = input;
    params.at(MIX).set(1.0f);
    run(graph, params, audio, 0, 32);
    params.at(MIX).set(0.5f);
    run(graph, params, audio, 32, 32);
    for (std::size_t n = 0; n < 64; ++n) {
        SCOPED_TRACE(n);
        const float dry0 = n < 3 ? 0.0f : input[0][n - 3];
        const float dry1 = n < 3 ? 0.0f : input[1][n - 3];
        EXPECT_EQ(audio[0][n], dry0);
        const float amount = n < 32 ? 1.0f : ramp(1.0f, 0.5f, n - 32);
        EXPECT_FLOAT_EQ(audio[1][n], dry1 + amount * (dry1 * HALF - dry1));
    }
}

TEST_F(GraphRun, OnlyBeyondTheChannelsLeavesAllDry) {
    Graph graph = build(R"~({"chain":[{"block":"gain","args":{"gain_db":-6.0206}},{"block":"probe","args":{"delay":3}}],"only":[5]})~");
    prepare(graph, 2);
    const Signal input = make_signal(2, 40);
    Signal audio = input;
    run(graph, params, audio, 0, 40);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t n = 0; n < 40; ++n) EXPECT_EQ(audio[c][n], n < 3 ? 0.0f : input[c][n - 3]) << c << ", " << n;
}

// ---------------------------------------------------------------------------------------------
// Parallel branches: latency alignment and gains.

TEST_F(GraphRun, ParallelLinesUpItsBranches) {
    Graph graph = build(R"~({"parallel":[{"node":{"block":"gain","args":{"gain_db":-6.0206}}},{"node":{"block":"probe","args":{"delay":96}}}]})~");
    EXPECT_EQ(graph.latency_samples(), 96u);
    prepare(graph, 2);
    const Signal input = make_signal(2, 300);
    Signal audio = input;
    std::size_t at = 0;
    for (std::size_t length : {100, 7, 93, 100}) {
        run(graph, params, audio, at, length);
        at += length;
    }
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t n = 0; n < 300; ++n) {
            const float x = n < 96 ? 0.0f : input[c][n - 96];
            EXPECT_FLOAT_EQ(audio[c][n], x * HALF + x) << c << ", " << n;
        }
}

struct LatencyCase {
    const char* name;
    std::string_view text;
    std::uint32_t latency;
};

const LatencyCase LATENCIES[] = {
    {"Block", R"~({"block":"probe","args":{"delay":17}})~", 17},
    {"EmptyChain", R"~({"chain":[]})~", 0},
    {"ChainSums", R"~({"chain":[{"block":"probe","args":{"delay":10}},{"block":"gain"},{"block":"probe","args":{"delay":20}}]})~", 30},
    {"ParallelTakesTheLongest", R"~({"parallel":[{"node":{"block":"probe","args":{"delay":10}}},{"node":{"block":"probe","args":{"delay":30}}},{"node":{"block":"gain"}}]})~", 30},
    {"BypassedMixKeepsItsInnerLatency", R"~({"block":"probe","args":{"delay":7},"bypass":1,"mix":0})~", 7},
    {"Nested", R"~({"chain":[{"block":"probe","args":{"delay":10}},{"parallel":[{"node":{"block":"probe","args":{"delay":20}}},{"node":{"block":"probe","args":{"delay":5}}}],"only":[0]}]})~", 30},
};

class GraphLatency : public ::testing::TestWithParam<LatencyCase> {};

TEST_P(GraphLatency, Reports) {
    Graph graph = build(GetParam().text);
    EXPECT_EQ(graph.latency_samples(), GetParam().latency);
    prepare(graph, 2);
    EXPECT_EQ(graph.latency_samples(), GetParam().latency);
}

INSTANTIATE_TEST_SUITE_P(All, GraphLatency, ::testing::ValuesIn(LATENCIES), loom::test::RowName{});

TEST_F(GraphRun, ParallelBranchesWithDifferentLatenciesAlign) {
    // Latencies 10, 30 and 0: the branches are delayed by 20, 0 and 30 more.
    Graph graph = build(R"~({"parallel":[{"node":{"block":"probe","args":{"delay":10}},"gain_db":-6.0206},{"node":{"block":"probe","args":{"delay":30}}},{"node":{"block":"gain","args":{"gain_db":-6.0206}},"gain_db":-6.0206}]})~");
    prepare(graph, 1);
    const Signal input = make_signal(1, 128);
    Signal audio = input;
    run(graph, params, audio, 0, 128);
    for (std::size_t n = 0; n < 128; ++n) {
        const float x = n < 30 ? 0.0f : input[0][n - 30];
        EXPECT_FLOAT_EQ(audio[0][n], x * HALF + x + x * HALF * HALF) << n;
    }
}

struct BranchGainCase {
    const char* name;
    const char* gain_db; // the branch gain expression
    float x;             // the value of parameter x
    float factor;        // the factor it gives
};

const BranchGainCase BRANCH_GAINS[] = {
    {"MinusSixIsHalf", "x", -6.0206f, 0.5f},
    {"Zero", "x", 0.0f, 1.0f},
    {"NaNIsOne", "(x - 2) ^ 0.5", 0.0f, 1.0f},
    {"LimitedAbove", "x", 100.0f, db_factor(48.0f)},
    {"LimitedBelow", "x", -1000.0f, db_factor(-96.0f)},
    {"InfinityLimited", "exp(x)", 1000.0f, db_factor(48.0f)},
    {"MinusInfinityLimited", "-exp(x)", 1000.0f, db_factor(-96.0f)},
};

class GraphBranchGain : public ::testing::TestWithParam<BranchGainCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphBranchGain, ScalesTheBranch) {
    const BranchGainCase& row = GetParam();
    Graph graph = build(R"~({"parallel":[{"node":{"block":"gain"},"gain_db":")~" + std::string(row.gain_db) +
                        R"~("},{"node":{"block":"gain","args":{"gain_db":-96}}}]})~");
    prepare(graph, 1);
    params.at(X).set(row.x);
    const Signal input = make_signal(1, 64);
    Signal audio = input;
    run(graph, params, audio, 0, 64);
    const float quiet = db_factor(-96.0f);
    for (std::size_t n = 0; n < 64; ++n)
        EXPECT_NEAR(audio[0][n], input[0][n] * row.factor + input[0][n] * quiet, 2e-6f * std::max(1.0f, row.factor))
            << n;
}

INSTANTIATE_TEST_SUITE_P(All, GraphBranchGain, ::testing::ValuesIn(BRANCH_GAINS), loom::test::RowName{});

TEST_F(GraphRun, BranchGainGlides) {
    Graph graph = build(R"~({"parallel":[{"node":{"block":"gain"},"gain_db":"x"}]})~");
    prepare(graph, 1);
    const Signal input = make_signal(1, 96);
    Signal audio = input;
    run(graph, params, audio, 0, 32);
    params.at(X).set(-6.0206f);
    run(graph, params, audio, 32, 64);
    for (std::size_t n = 0; n < 96; ++n) {
        const float factor = n < 32 ? 1.0f : n < 64 ? ramp(1.0f, HALF, n - 32) : HALF;
        EXPECT_FLOAT_EQ(audio[0][n], input[0][n] * factor) << n;
    }
}

// ---------------------------------------------------------------------------------------------
// Modulators.

// One modulator worked out period by period from its phase, as written for the run time.
struct ModelModulator {
    int shape = 0; // 0 sine, 1 triangle, 2 saw, 3 square, 4 random
    float phase = 0.0f;
    std::uint32_t state = 0;
    float held = 0.0f;

    static std::uint32_t step(std::uint32_t s) {
        s ^= static_cast<std::uint32_t>(s << 13);
        s ^= s >> 17;
        s ^= static_cast<std::uint32_t>(s << 5);
        return s;
    }
    static float bipolar(std::uint32_t s) { return static_cast<float>(s) / 4294967296.0f * 2.0f - 1.0f; }

    ModelModulator(int wave, std::uint32_t index) : shape(wave) {
        const auto seed = static_cast<std::uint32_t>((std::uint64_t{index} + 1) * 2654435769ull % 4294967296ull);
        state = step(seed | 1u);
        held = bipolar(state);
    }

    // The output of this period, then the phase moved on by one period.
    float advance(float rate, float sample_rate) {
        const float t = phase;
        float out = 0.0f;
        switch (shape) {
        case 0: out = std::sin(t * 6.2831855f); break;
        case 1: out = std::fabs(t - 0.5f) * -4.0f + 1.0f; break;
        case 2: out = t + t - 1.0f; break;
        case 3: out = t < 0.5f ? 1.0f : -1.0f; break;
        default: out = held; break;
        }
        const float w = t + (rate * 32.0f) / sample_rate;
        if (shape == 4 && w >= 1.0f) {
            state = step(state);
            held = bipolar(state);
        }
        phase = w - std::trunc(w);
        return out;
    }
};

TEST_F(GraphRun, ModulatorShapes) {
    Graph graph = build(
        R"~({"modulators":[{"id":"a","shape":"sine","rate":100},{"id":"b","shape":"triangle","rate":110},{"id":"c","shape":"saw","rate":100},{"id":"d","shape":"square","rate":70},{"id":"e","shape":"random","rate":100},{"id":"f","shape":"random","rate":13}],"chain":[]})~");
    const float rates[] = {100, 110, 100, 70, 100, 13};
    const int shapes[] = {0, 1, 2, 3, 4, 4};
    std::vector<float> first_run;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        prepare(graph, 1, 8000.0f);
        std::vector<ModelModulator> model;
        for (std::uint32_t i = 0; i < 6; ++i) model.emplace_back(shapes[i], i);
        std::vector<float> outputs;
        Signal audio = make_signal(1, 32);
        for (int period = 0; period < 40; ++period) {
            run(graph, params, audio, 0, 32);
            for (std::size_t i = 0; i < 6; ++i) {
                const float expected = model[i].advance(rates[i], 8000.0f);
                const float got = graph.slot_values()[NAMES.size() + i];
                outputs.push_back(got);
                EXPECT_FLOAT_EQ(got, expected) << "modulator " << i << ", period " << period;
                EXPECT_GE(got, -1.0f);
                EXPECT_LE(got, 1.0f);
            }
        }
        if (round == 0) first_run = outputs;
        else EXPECT_EQ(outputs, first_run);
    }
}

TEST_F(GraphRun, RandomModulatorHoldsItsSeedUntilThePhaseWraps) {
    Graph graph = build(R"~({"modulators":[{"id":"r","shape":"random","rate":100}],"chain":[]})~");
    prepare(graph, 1, 8000.0f);
    // Rate 100 at 8000 Hz moves the phase 0.4 per period: it wraps during the third period,
    // so the first new value shows in the fourth.
    const std::uint32_t s0 = ModelModulator::step(0x9E3779B9u);
    const std::uint32_t s1 = ModelModulator::step(s0);
    const std::uint32_t s2 = ModelModulator::step(s1);
    const float held0 = static_cast<float>(s0) / 4294967296.0f * 2.0f - 1.0f;
    const float held1 = static_cast<float>(s1) / 4294967296.0f * 2.0f - 1.0f;
    const float held2 = static_cast<float>(s2) / 4294967296.0f * 2.0f - 1.0f;
    const float expected[] = {held0, held0, held0, held1, held1, held2};
    Signal audio = make_signal(1, 32);
    for (float value : expected) {
        run(graph, params, audio, 0, 32);
        EXPECT_EQ(graph.slot_values()[NAMES.size()], value);
    }
    EXPECT_NE(held0, held1);
}

TEST_F(GraphRun, SawAtOneHertzStartsAtMinusOne) {
    Graph graph = build(R"~({"modulators":[{"id":"s","shape":"saw"}],"chain":[]})~");
    prepare(graph, 1, 48000.0f);
    Signal audio = make_signal(1, 96);
    run(graph, params, audio, 0, 1);
    EXPECT_EQ(graph.slot_values()[NAMES.size()], -1.0f);
    EXPECT_NEAR(graph.modulator_list()[0].phase, 32.0f / 48000.0f, 1e-9f);
    run(graph, params, audio, 1, 95);
    EXPECT_NEAR(graph.slot_values()[NAMES.size()], -1.0f + 2.0f * 64.0f / 48000.0f, 1e-6f);
}

struct RateCase {
    const char* name;
    const char* rate; // the rate expression
    float x;          // the value of parameter x
    float used;       // the rate it gives
};

const RateCase RATES[] = {
    {"InRange", "x", 50.0f, 50.0f},
    {"AboveIsLimited", "x", 1000.0f, 200.0f},
    {"ZeroIsRaised", "x", 0.0f, 0.001f},
    {"NegativeIsRaised", "x", -5.0f, 0.001f},
    {"NaNIsOne", "(x - 2) ^ 0.5", 0.0f, 1.0f},
    {"InfinityIsLimited", "exp(x)", 1000.0f, 200.0f},
};

class GraphModulatorRate : public ::testing::TestWithParam<RateCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphModulatorRate, IsMadeSafe) {
    const RateCase& row = GetParam();
    Graph graph = build(R"~({"modulators":[{"id":"s","shape":"saw","rate":")~" + std::string(row.rate) + R"~("}],"chain":[]})~");
    prepare(graph, 1, 8000.0f);
    params.at(X).set(row.x);
    Signal audio = make_signal(1, 64);
    run(graph, params, audio, 0, 64);
    const float step = (row.used * 32.0f) / 8000.0f;
    EXPECT_FLOAT_EQ(graph.slot_values()[NAMES.size()], step + step - 1.0f);
}

INSTANTIATE_TEST_SUITE_P(All, GraphModulatorRate, ::testing::ValuesIn(RATES), loom::test::RowName{});

TEST_F(GraphRun, ModulatorsReadThisPeriodsParametersAndEarlierModulators) {
    // b follows a of this period; c follows d of the period before (its slot is not yet
    // updated); a follows the parameter x of this period.
    Graph graph = build(
        R"~({"modulators":[{"id":"a","shape":"saw","rate":"x"},{"id":"b","shape":"saw","rate":"(a + 1) * 100"},{"id":"c","shape":"saw","rate":"(d + 1) * 100"},{"id":"d","shape":"saw","rate":90}],"block":"gain","args":{"gain_db":"a * 10"}})~");
    prepare(graph, 1, 8000.0f);
    ModelModulator a(2, 0), b(2, 1), c(2, 2), d(2, 3);
    float d_before = 0.0f; // slots start at 0
    Signal audio = make_signal(1, 32);
    for (int period = 0; period < 12; ++period) {
        SCOPED_TRACE(period);
        const float x = period < 5 ? 100.0f : 170.0f;
        params.at(X).set(x);
        run(graph, params, audio, 0, 32);
        const float va = a.advance(x, 8000.0f);
        const float vb = b.advance(std::clamp((va + 1.0f) * 100.0f, 0.001f, 200.0f), 8000.0f);
        const float vc = c.advance(std::clamp((d_before + 1.0f) * 100.0f, 0.001f, 200.0f), 8000.0f);
        d_before = d.advance(90.0f, 8000.0f);
        const std::span<const float> slots = graph.slot_values().subspan(NAMES.size());
        EXPECT_FLOAT_EQ(slots[0], va);
        EXPECT_FLOAT_EQ(slots[1], vb);
        EXPECT_FLOAT_EQ(slots[2], vc);
        EXPECT_FLOAT_EQ(slots[3], d_before);
        // Block arguments see the modulators of this period.
        EXPECT_FLOAT_EQ(block_of(graph.root_node()).values[0], va * 10.0f);
    }
}

// ---------------------------------------------------------------------------------------------
// Argument values, meters, tail, tempo.

struct SafeCase {
    const char* name;
    const char* args; // the probe's argument object
    float x;          // the value of parameter x
    std::array<float, 4> values; // delay, tail_ms, kind, level as they reach control
};

const SafeCase SAFE_VALUES[] = {
    {"Unbound", "{}", 0.0f, {0.0f, 0.0f, 1.0f, 7.0f}},
    {"InRange", R"~({"tail_ms":"x","level":"x * 2"})~", 12.5f, {0.0f, 12.5f, 1.0f, 25.0f}},
    {"LimitedBelow", R"~({"tail_ms":"x","level":"x"})~", -2000.0f, {0.0f, 0.0f, 1.0f, -1000.0f}},
    {"LimitedAbove", R"~({"level":"x"})~", 1e5f, {0.0f, 0.0f, 1.0f, 1000.0f}},
    {"NaNIsDefault", R"~({"tail_ms":"(x - 2) ^ 0.5","kind":"(x - 2) ^ 0.5","level":"(x - 2) ^ 0.5"})~", 0.0f,
     {0.0f, 0.0f, 1.0f, 7.0f}},
    {"ChoiceHalfRoundsUp", R"~({"kind":"x"})~", 0.5f, {0.0f, 0.0f, 1.0f, 7.0f}},
    {"ChoiceJustBelowHalf", R"~({"kind":"x"})~", 0.49f, {0.0f, 0.0f, 0.0f, 7.0f}},
    {"ChoiceOneAndAHalf", R"~({"kind":"x"})~", 1.5f, {0.0f, 0.0f, 2.0f, 7.0f}},
    {"ChoiceLimitedThenRounded", R"~({"kind":"x"})~", 7.2f, {0.0f, 0.0f, 2.0f, 7.0f}},
    {"ChoiceBelowZero", R"~({"kind":"x"})~", -0.5f, {0.0f, 0.0f, 0.0f, 7.0f}},
    {"Infinity", R"~({"level":"exp(x)"})~", 1000.0f, {0.0f, 0.0f, 1.0f, 1000.0f}},
};

class GraphSafeValues : public ::testing::TestWithParam<SafeCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphSafeValues, ReachControl) {
    const SafeCase& row = GetParam();
    Graph graph = build(R"~({"block":"probe","args":)~" + std::string(row.args) + "}");
    prepare(graph, 1);
    params.at(X).set(row.x);
    Signal audio = make_signal(1, 32);
    run(graph, params, audio, 0, 32);
    EXPECT_EQ(probe_of(graph.root_node()).last, row.values);
    const std::vector<float>& values = block_of(graph.root_node()).values;
    EXPECT_EQ(values, std::vector<float>(row.values.begin(), row.values.end()));
}

INSTANTIATE_TEST_SUITE_P(All, GraphSafeValues, ::testing::ValuesIn(SAFE_VALUES), loom::test::RowName{});

TEST_F(GraphRun, MetersAreWrittenAfterEveryBuffer) {
    Graph graph = build(R"~({"block":"probe","args":{"level":"x"},"meters":{"level":"meter","count":"count"}})~");
    prepare(graph, 1);
    Signal audio = make_signal(1, 100);
    params.at(X).set(5.0f);
    run(graph, params, audio, 0, 40);
    EXPECT_EQ(params.at(METER).get(), 5.0f);
    EXPECT_EQ(params.at(COUNT).get(), 40.0f);

    // Written through the parameter's value rule.
    params.at(X).set(50.0f);
    run(graph, params, audio, 40, 30);
    EXPECT_EQ(params.at(METER).get(), 10.0f);
    EXPECT_EQ(params.at(COUNT).get(), 70.0f);

    // A buffer of no samples still writes the meters; no buffers at all writes nothing.
    params.at(METER).set(-3.0f);
    params.at(COUNT).set(0.0f);
    run(graph, params, audio, 70, 0);
    EXPECT_EQ(params.at(METER).get(), 10.0f);
    EXPECT_EQ(params.at(COUNT).get(), 70.0f);
    params.at(METER).set(-3.0f);
    graph.process(params, {}, ProcessContext{});
    EXPECT_EQ(params.at(METER).get(), -3.0f);
}

TEST_F(GraphRun, MetersInsideEveryKindOfNodeAreWritten) {
    Graph graph = build(
        R"~({"chain":[{"parallel":[{"node":{"block":"probe","args":{"level":3},"meters":{"level":"meter"},"bypass":"bypass"}}]},{"block":"probe","meters":{"count":"count"},"mix":0.5}]})~");
    prepare(graph, 1);
    params.at(BYPASS).set(1.0f);
    Signal audio = make_signal(1, 50);
    run(graph, params, audio, 0, 50);
    EXPECT_EQ(params.at(METER).get(), 3.0f);
    EXPECT_EQ(params.at(COUNT).get(), 50.0f);
}

TEST_F(GraphRun, MeterBoundPastTheParameterSetIsSkipped) {
    // The graph knows one more parameter name than the set it is run with.
    Names names = NAMES;
    names.push_back("extra");
    Graph graph = build(R"~({"block":"probe","args":{"level":"extra + 2"},"meters":{"level":"extra","count":"count"}})~", names);
    prepare(graph, 1);
    Signal audio = make_signal(1, 40);
    run(graph, params, audio, 0, 40);
    EXPECT_EQ(params.at(COUNT).get(), 40.0f);
    // The missing parameter's slot is never read, so it keeps its value after compiling.
    EXPECT_EQ(probe_of(graph.root_node()).last[3], 2.0f);
}

TEST_F(GraphRun, TailFollowsTheCurrentParameterValues) {
    Graph graph = build(R"~({"block":"probe","args":{"tail_ms":"tail"}})~");
    prepare(graph, 1);
    params.at(TAIL).set(10.0f);
    Signal audio = make_signal(1, 32);
    run(graph, params, audio, 0, 32);
    EXPECT_EQ(graph.tail_for(params), 480u);
    params.at(TAIL).set(20.0f);
    EXPECT_EQ(graph.tail_for(params), 960u);
    // The period's own values are not touched.
    EXPECT_EQ(block_of(graph.root_node()).values[1], 10.0f);
    // Made safe as for control: limited to the argument's range.
    params.at(TAIL).set(1e6f);
    EXPECT_EQ(graph.tail_for(params), 4800000u);
    prepare(graph, 1, 96000.0f);
    params.at(TAIL).set(10.0f);
    EXPECT_EQ(graph.tail_for(params), 960u);
}

struct TailCase {
    const char* name;
    std::string_view text;
    std::uint32_t tail; // at 48000 Hz with the parameter tail at 10 ms
};

const TailCase TAILS[] = {
    {"ChainSums", R"~({"chain":[{"block":"probe","args":{"tail_ms":"tail"}},{"block":"gain"},{"block":"probe","args":{"tail_ms":1}}]})~", 528},
    {"ParallelTakesTheLongest", R"~({"parallel":[{"node":{"block":"probe","args":{"tail_ms":"tail"}}},{"node":{"block":"probe","args":{"tail_ms":"tail * 2"}}}]})~", 960},
    {"BypassedMixKeepsItsInnerTail", R"~({"block":"probe","args":{"tail_ms":"tail"},"bypass":1,"mix":0})~", 480},
    {"NaNIsTheDefault", R"~({"block":"probe","args":{"tail_ms":"(tail - 20) ^ 0.5"}})~", 0},
    {"ModulatorSlotsKeepTheirLastValues", R"~({"modulators":[{"id":"sq","shape":"square"}],"block":"probe","args":{"tail_ms":"(sq + 1) * tail"}})~", 960},
};

class GraphTail : public ::testing::TestWithParam<TailCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphTail, Reports) {
    Graph graph = build(GetParam().text);
    prepare(graph, 1);
    params.at(TAIL).set(10.0f);
    Signal audio = make_signal(1, 32);
    run(graph, params, audio, 0, 32);
    EXPECT_EQ(graph.tail_for(params), GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(All, GraphTail, ::testing::ValuesIn(TAILS), loom::test::RowName{});

TEST(GraphManySlots, TailReadsBeyondTheStackSlots) {
    for (const std::size_t count : {256, 300}) {
        SCOPED_TRACE(count);
        std::vector<std::string> ids;
        for (std::size_t i = 0; i < count; ++i) ids.push_back("p" + std::to_string(i));
        std::vector<ParamInfo> table;
        Names names;
        for (const std::string& id : ids) {
            table.push_back(ParamInfo{.id = id, .min = 0.0f, .max = 1000.0f});
            names.push_back(id);
        }
        ParamSet params = ParamSet::with_channels(table, 1);
        const std::string last = ids.back();
        Graph graph = build(R"~({"block":"probe","args":{"tail_ms":")~" + last + R"~( + p0"}})~", names);
        prepare(graph, 1);
        params.at(count - 1).set(7.0f);
        params.at(0).set(3.0f);
        EXPECT_EQ(graph.tail_for(params), 480u);
    }
}

struct TempoCase {
    const char* name;
    std::optional<double> tempo;
    float used;
};

const TempoCase TEMPOS[] = {
    {"Absent", std::nullopt, 120.0f},
    {"BelowTwenty", 19.9, 120.0f},
    {"Twenty", 20.0, 20.0f},
    {"Ordinary", 140.5, 140.5f},
    {"Zero", 0.0, 120.0f},
    {"Negative", -90.0, 120.0f},
    {"Infinity", std::numeric_limits<double>::infinity(), 120.0f},
    {"MinusInfinity", -std::numeric_limits<double>::infinity(), 120.0f},
    {"NaN", std::numeric_limits<double>::quiet_NaN(), 120.0f},
    {"BeyondFloat", 1e300, 120.0f},
    {"LargestFloat", 3.4028234663852886e38, 3.4028234663852886e38f},
};

class GraphTempo : public ::testing::TestWithParam<TempoCase> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphTempo, IsTakenOrReplaced) {
    Graph graph = build(R"~({"block":"probe","args":{"level":"bpm / 1e36"}})~");
    prepare(graph, 1);
    Signal audio = make_signal(1, 32);
    run(graph, params, audio, 0, 32, at_tempo(90.0));
    EXPECT_EQ(graph.current_tempo(), 90.0f);
    run(graph, params, audio, 0, 32, at_tempo(GetParam().tempo));
    EXPECT_EQ(graph.current_tempo(), GetParam().used);
    // The expressions of the period see it.
    EXPECT_EQ(probe_of(graph.root_node()).last[3], GetParam().used / 1e36f);
}

INSTANTIATE_TEST_SUITE_P(All, GraphTempo, ::testing::ValuesIn(TEMPOS), loom::test::RowName{});

TEST_F(GraphRun, TempoIsSetByEmptyBuffersButNotByNoBuffers) {
    Graph graph = build(R"~({"block":"probe"})~");
    prepare(graph, 1);
    Signal audio = make_signal(1, 32);
    run(graph, params, audio, 0, 0, at_tempo(90.0));
    EXPECT_EQ(graph.current_tempo(), 90.0f);
    graph.process(params, {}, at_tempo(60.0));
    EXPECT_EQ(graph.current_tempo(), 90.0f);
}

struct RateCaseForPrepare {
    const char* name;
    float rate;
    float used;
};

const RateCaseForPrepare SAMPLE_RATES[] = {
    {"Ordinary", 44100.0f, 44100.0f},
    {"Lowest", 8000.0f, 8000.0f},
    {"BelowIsRaised", 4000.0f, 8000.0f},
    {"ZeroIsRaised", 0.0f, 8000.0f},
    {"NegativeIsRaised", -48000.0f, 8000.0f},
    {"NaNIsRaised", NaN, 8000.0f},
};

class GraphSampleRate : public ::testing::TestWithParam<RateCaseForPrepare> {
protected:
    ParamSet params = ParamSet::with_channels(TABLE, 8);
};

TEST_P(GraphSampleRate, IsAtLeast8000) {
    Graph graph = build(R"~({"block":"probe","args":{"level":"rate / 100"}})~");
    prepare(graph, 1, GetParam().rate);
    EXPECT_EQ(probe_of(graph.root_node()).sample_rate, GetParam().used);
    Signal audio = make_signal(1, 32);
    run(graph, params, audio, 0, 32);
    EXPECT_EQ(probe_of(graph.root_node()).last[3], GetParam().used / 100.0f);
}

INSTANTIATE_TEST_SUITE_P(All, GraphSampleRate, ::testing::ValuesIn(SAMPLE_RATES), loom::test::RowName{});

// ---------------------------------------------------------------------------------------------
// Host buffers.

TEST_F(GraphRun, SamplesBelowTheFlushLevelComeOutAsZero) {
    Graph graph = build(R"~({"block":"gain"})~");
    prepare(graph, 1);
    // The 32-bit float nearest 1e-30.
    EXPECT_EQ(static_cast<double>(1e-30f), 1.0000000031710769e-30);
    const float below = std::nextafter(1e-30f, 0.0f);
    const std::vector<float> in = {1e-31f, -1e-31f, below, -below, 1e-30f, -1e-30f, 1.0000001e-30f, 1e-40f, 0.25f, -0.0f};
    const std::vector<float> out = {0.0f, 0.0f, 0.0f, 0.0f, 1e-30f, -1e-30f, 1.0000001e-30f, 0.0f, 0.25f, 0.0f};
    Signal audio = {in};
    run(graph, params, audio, 0, in.size());
    EXPECT_EQ(audio[0], out);
}

TEST_F(GraphRun, MissingChannelsAreFedSilenceAndDropped) {
    Graph graph = build(R"~({"block":"probe","args":{"delay":3}})~");
    prepare(graph, 2);
    const Signal input = make_signal(2, 120);
    Signal audio = input;
    run(graph, params, audio, 0, 40);
    Signal first(audio.begin(), audio.begin() + 1);
    run(graph, params, first, 40, 40);
    std::copy(first[0].begin() + 40, first[0].begin() + 80, audio[0].begin() + 40);
    run(graph, params, audio, 80, 40);
    for (std::size_t n = 0; n < 120; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(audio[0][n], n < 3 ? 0.0f : input[0][n - 3]);
        if (n < 40) {
            EXPECT_EQ(audio[1][n], n < 3 ? 0.0f : input[1][n - 3]);
        } else if (n >= 80) {
            // Channel 1 was fed silence through samples 40 to 79.
            EXPECT_EQ(audio[1][n], n < 83 ? 0.0f : input[1][n - 3]);
        }
    }
}

TEST_F(GraphRun, ExtraBuffersKeepTheirInput) {
    Graph graph = build(R"~({"block":"gain","args":{"gain_db":-6.0206}})~");
    prepare(graph, 2);
    const Signal input = make_signal(3, 50);
    Signal audio = input;
    run(graph, params, audio, 0, 50);
    for (std::size_t n = 0; n < 50; ++n) {
        EXPECT_FLOAT_EQ(audio[0][n], input[0][n] * HALF);
        EXPECT_FLOAT_EQ(audio[1][n], input[1][n] * HALF);
    }
    EXPECT_EQ(audio[2], input[2]);
}

TEST_F(GraphRun, NoBuffersDoNothing) {
    Graph graph = build(R"~({"block":"probe","meters":{"count":"count"}})~");
    prepare(graph, 1);
    Signal audio = make_signal(1, 40);
    run(graph, params, audio, 0, 10);
    Probe& probe = probe_of(graph.root_node());
    probe.clear();
    params.at(COUNT).set(0.0f);
    graph.process(params, {}, ProcessContext{});
    EXPECT_TRUE(probe.logged().empty());
    EXPECT_EQ(graph.period_position(), 10u);
    EXPECT_EQ(params.at(COUNT).get(), 0.0f);
}

TEST_F(GraphRun, ZeroLengthBuffersTouchNoAudio) {
    Graph graph = build(R"~({"block":"probe","meters":{"count":"count"}})~");
    prepare(graph, 2);
    Probe& probe = probe_of(graph.root_node());
    probe.clear();
    Signal audio = make_signal(2, 8);
    run(graph, params, audio, 0, 0);
    EXPECT_TRUE(probe.logged().empty());
    EXPECT_EQ(graph.period_position(), 0u);
    EXPECT_EQ(audio, make_signal(2, 8));
    // The next buffer still opens with a control update.
    run(graph, params, audio, 0, 8);
    EXPECT_EQ(probe.logged(), (std::vector<ProbeCall>{{'C', 0, 0}, {'P', 0, 8}}));
}

TEST_F(GraphRun, NoChannelsPreparesOne) {
    Graph graph = build(R"~({"block":"gain","args":{"gain_db":-6.0206},"only":[0,1]})~");
    prepare(graph, 0);
    const Signal input = make_signal(2, 40);
    Signal audio = input;
    run(graph, params, audio, 0, 40);
    for (std::size_t n = 0; n < 40; ++n) EXPECT_FLOAT_EQ(audio[0][n], input[0][n] * HALF);
    EXPECT_EQ(audio[1], input[1]);
}

// ---------------------------------------------------------------------------------------------
// Prepare, and processing without allocation.

// Every kind of node with the blocks that exist: modulators of every shape, a block, a chain,
// a parallel with gains and latency, and mixes with bypass, mix and only.
constexpr std::string_view EVERYTHING =
    R"~({"modulators":[{"id":"lfo","shape":"sine","rate":3},{"id":"rnd","shape":"random","rate":"x + 50"},{"id":"tri","shape":"triangle","rate":7},{"id":"saw","shape":"saw","rate":"gain + 20"},{"id":"sq","shape":"square","rate":"rnd * 10 + 10"}],"chain":[{"block":"gain","args":{"gain_db":"gain + lfo * 3","pan":"tri","invert":"sq > 0"}},{"parallel":[{"node":{"block":"shaper","args":{"curve":"x","drive_db":"rnd * 12","bias":"saw * 0.1"}},"gain_db":"gain / 2"},{"node":{"block":"onepole","args":{"type":"highpass","freq":"note(60 + 24 * tri)"}},"gain_db":-3},{"node":{"chain":[{"block":"probe","args":{"delay":40,"tail_ms":"tail","level":"lfo"},"meters":{"level":"meter","count":"count"}}],"mix":"mix","only":[1]}}]},{"block":"onepole","args":{"freq":"2000 + 1000 * lfo"},"mix":"mix"}],"bypass":"bypass","mix":"mix"})~";

// Parameter changes made before each call of the scripted run: (parameter, value).
struct Change {
    std::size_t param;
    float value;
};
struct Call {
    std::size_t length;
    std::size_t buffers;
    Change change;
};
constexpr Call SCRIPT[] = {
    {64, 2, {GAIN, 3.0f}},   {31, 2, {MIX, 0.4f}},   {1, 2, {BYPASS, 1.0f}}, {100, 2, {X, 2.0f}},
    {0, 2, {BYPASS, 0.0f}},  {45, 1, {MIX, -1.0f}},  {70, 3, {MIX, 1.0f}},  {32, 2, {X, 3.6f}},
    {7, 2, {GAIN, -12.0f}},  {96, 2, {BYPASS, 1.0f}}, {64, 2, {BYPASS, 0.0f}}, {50, 2, {TAIL, 25.0f}},
};

// Runs the script on `graph` from its present state, giving the output of every call.
Signal run_script(Graph& graph, ParamSet& params, const Signal& input) {
    Signal audio = input;
    std::size_t at = 0;
    for (const Call& call : SCRIPT) {
        params.at(call.change.param).set(call.change.value);
        Signal part(call.buffers, std::vector<float>(call.length));
        for (std::size_t c = 0; c < call.buffers; ++c)
            std::copy_n(input[c].begin() + static_cast<std::ptrdiff_t>(at), call.length, part[c].begin());
        run(graph, params, part, 0, call.length, at_tempo(100.0));
        for (std::size_t c = 0; c < call.buffers; ++c)
            std::copy_n(part[c].begin(), call.length, audio[c].begin() + static_cast<std::ptrdiff_t>(at));
        at += call.length;
    }
    return audio;
}

void reset_params(ParamSet& params) {
    for (std::size_t i = 0; i < params.size(); ++i) params.at(i).set(params.at(i).info().default_value);
}

TEST_F(GraphRun, PrepareResetsEverything) {
    const Signal input = make_signal(3, 600);
    Graph fresh = build(EVERYTHING);
    prepare(fresh, 2);
    reset_params(params);
    const Signal expected = run_script(fresh, params, input);

    Graph used = build(EVERYTHING);
    prepare(used, 3, 44100.0f);
    params.at(GAIN).set(9.0f);
    params.at(MIX).set(0.3f);
    Signal warm_up = make_signal(3, 77);
    run(used, params, warm_up, 0, 77, at_tempo(150.0));
    ASSERT_NE(used.period_position(), 0u);

    prepare(used, 2);
    EXPECT_EQ(used.period_position(), 0u);
    // Every modulator restarts from the seed it had when compiled.
    const Graph seeded = build(EVERYTHING);
    for (std::size_t i = 0; i < used.modulator_list().size(); ++i) {
        EXPECT_EQ(used.modulator_list()[i].phase, 0.0f);
        EXPECT_EQ(used.modulator_list()[i].state, seeded.modulator_list()[i].state);
        EXPECT_EQ(used.modulator_list()[i].held, seeded.modulator_list()[i].held);
    }
    reset_params(params);
    EXPECT_EQ(run_script(used, params, input), expected);
    for (std::size_t i = 0; i < used.modulator_list().size(); ++i) {
        EXPECT_EQ(used.modulator_list()[i].state, fresh.modulator_list()[i].state);
        EXPECT_EQ(used.modulator_list()[i].phase, fresh.modulator_list()[i].phase);
    }
}

TEST_F(GraphRun, ProcessDoesNotAllocate) {
    Graph graph = build(EVERYTHING);
    prepare(graph, 2);
    const Signal input = make_signal(3, 600);
    Signal audio = input;
    std::array<std::span<float>, 3> spans{};
    std::size_t total = 0;
    std::uint32_t latency = 0;
    std::uint32_t tail = 0;
    const loom::test::AllocationCounter counter;
    std::size_t at = 0;
    for (const Call& call : SCRIPT) {
        params.at(call.change.param).set(call.change.value);
        for (std::size_t c = 0; c < call.buffers; ++c) spans[c] = std::span<float>(audio[c]).subspan(at, call.length);
        graph.process(params, std::span<const std::span<float>>(spans.data(), call.buffers),
                      at_tempo(100.0 + static_cast<double>(at)));
        latency += graph.latency_samples();
        tail += graph.tail_for(params);
        at += call.length;
        ++total;
    }
    EXPECT_EQ(counter.count(), 0u);
    EXPECT_EQ(total, std::size(SCRIPT));
    EXPECT_EQ(latency, 40u * std::size(SCRIPT));
    EXPECT_GT(tail, 0u);
}

} // namespace

namespace {

// Every block of the catalogue in one graph: a dynamics block with 5 ms of lookahead sets the
// latency, a delay sets the tail, and nothing allocates once prepared.
constexpr std::string_view ALL_BLOCKS = R"~({
  "modulators": [{"id": "lfo", "shape": "triangle", "rate": 0.5}],
  "chain": [
    {"block": "gain", "args": {"gain_db": "gain", "pan": "lfo * 0.5"}},
    {"block": "filter", "args": {"type": "highpass", "freq": "60 + x * 100", "slope": "24"}},
    {"block": "onepole", "args": {"freq": 12000}},
    {"block": "shaper", "args": {"curve": "softclip", "drive_db": "x * 12"}},
    {"block": "dynamics", "args": {"lookahead_ms": 5, "detector": "rms"}, "meters": {"gain_reduction_db": "meter"}},
    {"parallel": [
      {"node": {"block": "delay", "args": {"time_ms": "tail", "mode": "pingpong", "mod_depth_ms": 2}}, "gain_db": -6},
      {"node": {"block": "tremolo", "args": {"depth": "mix", "stereo_phase": 180}}}
    ]},
    {"block": "harmonic_eq", "args": {"fundamental_hz": 110, "odd_db": "x * 6"}},
    {"block": "stereo", "args": {"width": "1 + x"}, "mix": "mix", "bypass": "bypass"}
  ]
})~";

TEST_F(GraphRun, EveryBlockRunsWithoutAllocatingAndReportsItsLookahead) {
    Graph graph = build(ALL_BLOCKS);
    prepare(graph, 2, 48000.0f);
    EXPECT_EQ(graph.latency_samples(), 240u); // 5 ms at 48 kHz
    Signal audio = make_signal(2, 4096);
    run(graph, params, audio, 0, 512);
    std::array<std::span<float>, 2> spans{};
    const loom::test::AllocationCounter counter;
    std::uint32_t tail = 0;
    for (std::size_t at = 512, n = 0; at + 333 <= audio[0].size(); at += 333, ++n) {
        params.at(0).set(static_cast<float>(n % 7) - 3.0f); // gain
        params.at(1).set(static_cast<float>(n % 3) / 2.0f); // mix
        params.at(2).set(static_cast<float>(n % 5 == 4));   // bypass
        params.at(3).set(static_cast<float>(n % 4) / 3.0f); // x
        params.at(4).set(100.0f + static_cast<float>(n * 10)); // tail (the delay time)
        for (std::size_t c = 0; c < 2; ++c) spans[c] = std::span<float>(audio[c]).subspan(at, 333);
        graph.process(params, spans, {});
        tail = graph.tail_for(params);
        EXPECT_EQ(graph.latency_samples(), 240u);
    }
    EXPECT_EQ(counter.count(), 0u);
    EXPECT_GT(tail, 0u);
    for (const auto& channel : audio)
        for (float x : channel) ASSERT_TRUE(std::isfinite(x));
}

} // namespace
