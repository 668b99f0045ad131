// Fuzz target: the description reader and the graph compiler, then the compiled graph at work.
// The input is an optional first line "#name name ..." (the parameter names, in order; without
// it Kiln's four) and the description text. A description compiles or gives one message; a
// compiled graph prepares and processes buffers with hostile parameter values, rates, channel
// counts and tempos without crashing, without allocating after `prepare`, and leaves every
// parameter a valid value.
#include "fuzz.hpp"

#include "kiln/kiln.hpp"
#include "loom/blocks/graph.hpp"
#include "loom/core/param.hpp"
#include "loom/test/allocation_counter.hpp"

#include <array>
#include <bit>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace {

using loom::fuzz::Dice;
using loom::fuzz::expect;

constexpr std::size_t MAX_FRAMES = 512;
constexpr std::size_t STACK_SLOTS = 256; // `tail_for` allocates only beyond this many slots

// One parameter per name, taking any value but NaN: the widest table a description can meet.
std::vector<loom::ParamInfo> wide_table(std::span<const std::string_view> names) {
    std::vector<loom::ParamInfo> table;
    for (std::string_view name : names)
        table.push_back({.id = name,
                         .min = -std::numeric_limits<float>::infinity(),
                         .max = std::numeric_limits<float>::infinity(),
                         .default_value = 0.0f});
    return table;
}

void check_valid(const loom::ParamSet& params) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const loom::Param& p = params.at(i);
        for (std::size_t ch = 0; ch < p.cells(); ++ch) {
            const float v = p.get_ch(ch);
            expect(std::bit_cast<std::uint32_t>(p.info().apply_rule(v)) == std::bit_cast<std::uint32_t>(v),
                   "a parameter holds a value that breaks the value rule");
        }
    }
}

float rate(Dice& dice) {
    constexpr std::array<float, 11> RATES = {48000.0f, 44100.0f, 8000.0f, 96000.0f, 192000.0f, 0.0f,
                                             -1.0f,    1.0f,     1.0e7f,  std::numeric_limits<float>::quiet_NaN(),
                                             std::numeric_limits<float>::infinity()};
    return RATES[dice.below(RATES.size())];
}

std::uint32_t channel_count(Dice& dice) {
    return static_cast<std::uint32_t>(dice.below(8) == 0 ? dice.below(65) : 1 + dice.below(3));
}

// Prepares the graph, then runs a few host buffers through it with parameter changes between
// them: every call after `prepare` must leave the allocation count at 0.
void run(loom::Graph& graph, loom::ParamSet& params, Dice& dice) {
    const std::uint32_t channels = channel_count(dice);
    params.set_channels(channels);
    graph.prepare({.max_frames = MAX_FRAMES, .sample_rate = rate(dice), .channels = channels});

    // Sometimes fewer or more buffers than prepared channels, up to 64.
    std::size_t buffer_count = channels;
    if (dice.below(4) == 0) buffer_count = dice.below(loom::MAX_CHANNELS + 1);
    std::vector<std::vector<float>> audio(buffer_count, std::vector<float>(MAX_FRAMES));
    std::vector<std::span<float>> buffers(buffer_count);

    constexpr std::array<std::size_t, 8> LENGTHS = {0, 1, 31, 32, 33, 100, 257, MAX_FRAMES};
    const std::size_t blocks = 1 + dice.below(6);
    for (std::size_t b = 0; b < blocks; ++b) {
        for (std::size_t i = 0; i < params.size(); ++i)
            if (dice.below(2) == 0) params.at(i).set_ch(dice.below(channels + 1), dice.hostile());
        const std::size_t frames = LENGTHS[dice.below(LENGTHS.size())];
        const bool hostile_audio = dice.below(4) == 0;
        for (std::size_t ch = 0; ch < buffer_count; ++ch) {
            for (float& x : audio[ch]) x = hostile_audio ? dice.hostile() : dice.unit();
            buffers[ch] = std::span<float>(audio[ch].data(), frames);
        }
        loom::ProcessContext context;
        if (dice.below(2) == 0) context.tempo = dice.below(2) == 0 ? 140.0 : static_cast<double>(dice.hostile());

        loom::test::AllocationCounter counter;
        graph.process(params, buffers, context);
        static_cast<void>(graph.latency_samples());
        if (graph.slot_values().size() <= STACK_SLOTS) static_cast<void>(graph.tail_for(params));
        expect(counter.count() == 0, "processing allocated after prepare");
        expect(graph.period_position() < loom::FRAME_SIZE, "the period position left 0..31");
        check_valid(params);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = loom::fuzz::text_of(data, size);
    std::vector<std::string> kiln_names;
    for (const loom::ParamInfo& info : kiln::PARAMS) kiln_names.emplace_back(info.id);
    const loom::fuzz::Named named = loom::fuzz::split_names(input, kiln_names);
    const std::vector<std::string_view> names(named.names.begin(), named.names.end());

    loom::Result<loom::Graph> graph = loom::Graph::from_str(named.text, names);
    if (!graph) {
        expect(!graph.error().empty(), "a refused description has no message");
        return 0;
    }
    expect(graph->slot_values().size() >= names.size(), "the graph has fewer slots than parameters");

    const std::vector<loom::ParamInfo> table = wide_table(names);
    loom::ParamSet params = named.from_input ? loom::ParamSet::with_channels(table, loom::MAX_CHANNELS)
                                             : loom::ParamSet::with_channels(kiln::PARAMS, loom::MAX_CHANNELS);
    Dice dice(loom::fuzz::hash(input));
    run(*graph, params, dice);
    // A second prepare, as on a host's reset, with other settings.
    run(*graph, params, dice);
    return 0;
}
