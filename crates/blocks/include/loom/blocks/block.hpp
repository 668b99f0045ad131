#pragma once
// The block contract: the operation set `Block` every processing block implements, and the
// static descriptors `ArgInfo` and `BlockInfo` the compiler checks bindings against. Not the
// catalogue itself (see catalogue.hpp) and not the graph that drives blocks.
//
// Real-time invariants, for every block:
//   - Memory is allocated only by `make` (the block object, [build]) and by `prepare`
//     ([main-thread], any number of times, never while `process` runs). Running out of memory
//     there is fatal: both are noexcept, so `std::bad_alloc` terminates.
//   - `configure` runs once at build time, right after `make`; it may keep values but does
//     not allocate audio memory (that waits for `prepare`).
//   - `control` and `process` run on the audio thread, one period of 32 samples at a time:
//     they never allocate, lock, wait, log or throw, and touch only memory sized by
//     `prepare`. `latency`, `tail` and `meter` likewise.
//   - A block is driven by one caller at a time and holds no locks; it is never shared.
//   - A broken precondition (fewer argument values than `ArgInfo`s, a frame `len` above 32)
//     is a fatal stop, never an error value.
//
// Calling sequence: `make`, `configure` (once), then any number of rounds of `prepare`
// followed by periods of `control` + `process` calls whose offsets continue through the
// period (0 to 31, `offset` + `len` ≤ 32). `latency`, `tail` and `meter` may be asked at any
// time after `configure`.

#include "loom/blocks/frame.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace loom {

// The static description of one block argument.
struct ArgInfo {
    std::string_view name;                          // binding key in graph descriptions
    std::string_view unit;                          // "dB", "Hz", "ms", "deg" or empty
    std::span<const std::string_view> choices = {}; // choice names in index order; empty for a number
    std::string_view doc;                           // documentation text
    float min = 0.0f;                               // lowest value; 0 for a choice
    float max = 0.0f;                               // highest value; the last index for a choice
    float default_value = 0.0f;                     // unbound value and NaN replacement; an index for a choice
    bool fixed = false;                             // read once by `configure`; must be a constant
};

class Block;

// The static description of one block: the `INFO` of its module.
struct BlockInfo {
    std::string_view name;                         // the block's name in graph descriptions
    std::string_view doc;                          // documentation text
    std::span<const ArgInfo> args;                 // in the order values reach configure, control, tail
    std::span<const std::string_view> meters = {}; // meter i is what `meter(i)` returns
    // [build] A new block in its made state, owned by the caller.
    std::unique_ptr<Block> (*make)() = nullptr;
};

// The operation set of a block, in slot order. `configure`, `latency`, `tail` and `meter`
// have defaults; `prepare`, `control` and `process` every block provides.
class Block {
public:
    virtual ~Block() = default;

    // [build] Once, right after `make`: one value per `ArgInfo`, the constant bound in the
    // description or the default. A block that sizes memory from a fixed argument keeps it.
    virtual void configure(std::span<const float> args) noexcept { static_cast<void>(args); }

    // [main-thread] Sets the block up for `sample_rate` Hz (at least 8000) and `channels`
    // (at least 1), allocates what it needs and drops all audio and glide state.
    virtual void prepare(float sample_rate, std::uint32_t channels) noexcept = 0;

    // [audio-thread] Once at the start of every control period: one value per `ArgInfo`,
    // already safe (no NaN, within min..max, choices whole). Sets the new glide targets.
    virtual void control(std::span<const float> args) noexcept = 0;

    // [audio-thread] Processes the first `len` samples of every channel in place. `offset`
    // (0 to 31) is the position of the frame's first sample in the current period.
    virtual void process(Frame& frame, std::uint32_t offset) noexcept = 0;

    // [audio-thread] Samples of delay the block adds at present.
    virtual std::uint32_t latency() const noexcept { return 0; }

    // [audio-thread] Samples of output the block can still produce after its input falls
    // silent, for the given argument values (at most the first 32) and rate.
    virtual std::uint32_t tail(std::span<const float> args, float sample_rate) const noexcept {
        static_cast<void>(args);
        static_cast<void>(sample_rate);
        return 0;
    }

    // [audio-thread] The present value of meter `index` of the block's `meters`.
    virtual float meter(std::uint32_t index) const noexcept {
        static_cast<void>(index);
        return 0.0f;
    }
};

// The glide rule: a value moving from `from` to `to` across one control period has, at
// period position p (0 to 31), the value from + (to − from) × (p + 1) / 32. Position 0 is
// 1/32 of the way; position 31 is from + (to − from), which is `to` whenever that sum is
// exact (always when from = to, and when from and to are within a factor of two). The
// division by 32 is exact. Sample j of a `process` call with offset o is at p = o + j.
constexpr float glide(float from, float to, std::uint32_t position) noexcept {
    // Through a signed integer: positions are small, and the conversion then vectorises.
    return from + (to - from) * (static_cast<float>(static_cast<std::int32_t>(position + 1)) / 32.0f);
}

// [audio-thread] Stops with `message` when `args` holds fewer than `count` values: the graph
// always passes one value per `ArgInfo`, so a shorter list is a broken precondition.
void require_args(std::span<const float> args, std::size_t count, std::string_view message) noexcept;

} // namespace loom
