#pragma once
// A compiled graph of blocks and its run time. `Graph::from_str` / `Graph::from_spec` check a
// description against the parameter names and build the nodes; `prepare` sizes every frame
// and ring; `process` runs host buffers through the root node in control periods of 32
// samples: at each period start it reads the parameters, advances the modulators and
// evaluates every bound argument, and the blocks glide to the new values across the period.
//
// Memory is allocated only when the graph is built and in `prepare`; `process`,
// `latency_samples` and `tail_for` (up to 256 value slots) allocate nothing and take no locks.

#include "loom/blocks/block.hpp"
#include "loom/blocks/expr.hpp"
#include "loom/blocks/frame.hpp"
#include "loom/blocks/graph_spec.hpp"
#include "loom/core/param.hpp"
#include "loom/core/plugin.hpp"
#include "loom/core/result.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace loom {

// A block argument fixed when the graph is built.
struct Const {
    float value = 0.0f;
};

// One compiled binding: a constant, or an expression evaluated at every period start.
using Arg = std::variant<Const, Expr>;

// The waves of a modulator, in their numeric order.
enum class Shape : std::uint8_t { Sine = 0, Triangle = 1, Saw = 2, Square = 3, Random = 4 };

// One low-frequency modulator; its output fills one value slot per period.
struct Modulator {
    Arg rate;                  // cycles per second
    float phase = 0.0f;        // 0 <= phase < 1
    float held = 0.0f;         // the random shape's value for the current cycle
    std::uint32_t state = 0;   // the random shape's xorshift state
    Shape shape = Shape::Sine;
};

// [any-thread] Restarts modulator `index` (counting from 0) from its seed: phase 0 and the
// xorshift state ((index + 1) × 0x9E3779B9) | 1 advanced one step, `held` its value in -1..1.
void seed(Modulator& modulator, std::uint32_t index) noexcept;

struct Node;
struct Branch;
struct MixNode;

// A block and its bindings.
struct BlockNode {
    std::vector<Arg> args;     // one per ArgInfo, in the block's order
    std::vector<float> values; // the current period's argument values
    std::vector<std::pair<std::uint32_t, std::uint32_t>> meters; // (meter index, parameter index)
    std::unique_ptr<Block> block;
    const BlockInfo* info = nullptr;
};

// Nodes run one after the other on the same frame.
struct Chain {
    std::vector<Node> nodes;
};

// Branches run side by side on copies of the input, lined up in latency and summed.
struct Parallel {
    std::vector<Branch> branches;
    Frame input{1};
    Frame sum{1};
};

// A node's kind: a block, a chain, a parallel, or a mix wrapper.
struct Node {
    std::variant<BlockNode, Chain, Parallel, std::unique_ptr<MixNode>> kind;
};

// One branch of a `Parallel`.
struct Branch {
    std::vector<std::vector<float>> delay_lines; // per channel, lines the branch up with the slowest
    Frame frame{1};
    Node node;
    std::optional<Expr> gain; // dB; absent is 0 dB
    std::uint32_t position = 0;
    float gain_from = 1.0f;
    float gain_to = 1.0f;
    bool started = false;
};

// Blends a node's output with its dry input, delayed by the node's latency.
struct MixNode {
    Frame dry{1};
    std::vector<std::vector<float>> delay_lines; // per channel, delays the dry signal
    std::optional<std::vector<std::uint64_t>> only; // channels outside the list stay dry
    std::optional<Expr> bypass;
    std::optional<Expr> mix; // wet amount 0..1; absent is fully wet
    Node node;
    std::uint32_t position = 0;
    float mix_from = 1.0f;
    float mix_to = 1.0f;
    bool started = false;
};

class Graph {
public:
    // [build] Reads the description and compiles it against the parameter names, in
    // parameter order. The message is the reader's or the compiler's.
    static Result<Graph> from_str(std::string_view text, std::span<const std::string_view> params);
    static Result<Graph> from_spec(const GraphSpec& description, std::span<const std::string_view> params);
    // [build] As `from_spec`, with the blocks of `catalogue` in place of the built-in `ALL`;
    // the unknown-block message lists their names in its order. For tools and tests that
    // bring blocks of their own.
    static Result<Graph> from_spec(const GraphSpec& description, std::span<const std::string_view> params,
                                   std::span<const BlockInfo* const> catalogue);

    // [main-thread] Sizes every frame and ring for the rate (at least 8000 Hz) and channel
    // count (at least 1), resets every block and restarts every modulator from its seed.
    void prepare(const PrepareContext& context);

    // [audio-thread] Processes the buffers in place: at most the prepared channel count of
    // them (missing channels are fed silence), in periods of 32 samples carried across calls.
    // Writes the bound meters into `params` afterwards.
    void process(ParamSet& params, Buffers buffers, const ProcessContext& context) noexcept;

    // [audio-thread] Samples of delay the graph adds at present.
    std::uint32_t latency_samples() const noexcept;

    // [audio-thread] Samples of output that may follow silence, for the parameters' current
    // values. Wrappers ask after every buffer: the answer is kept until the values, the rate or
    // the tempo change, and the call never allocates.
    std::uint32_t tail_for(const ParamSet& params) const noexcept;

    // Read access for tools and tests.
    const Node& root_node() const noexcept { return root; }
    std::span<const float> slot_values() const noexcept { return values; }
    std::span<const Modulator> modulator_list() const noexcept { return modulators; }
    std::uint32_t period_position() const noexcept { return position; }
    float current_tempo() const noexcept { return tempo; }

private:
    Graph() = default;

    void control(const ParamSet& params) noexcept;

    std::vector<Modulator> modulators;
    std::vector<float> values;
    Frame frame{1};
    Node root;
    std::uint32_t param_count = 0;
    std::uint32_t channels = 1;
    std::uint32_t position = 0;
    float sample_rate = 48000.0f;
    float tempo = 120.0f;

    // The last tail asked for and what it was computed from; made with the slots.
    struct TailMemo {
        std::vector<float> scratch; // the slots of the question being asked
        std::vector<float> slots;   // the slots of the kept answer
        float sample_rate = 0.0f;
        float tempo = 0.0f;
        std::uint32_t samples = 0;
        bool valid = false;
    };
    mutable TailMemo tail_memo;
};

} // namespace loom
