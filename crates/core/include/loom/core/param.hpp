#pragma once
// Parameters: the static table entry `ParamInfo`, the live `Param` values and the shared,
// reference-counted `ParamSet` that host threads write and the audio thread reads.
//
// Every value cell is a lock-free atomic 32-bit float accessed with relaxed ordering, so a
// reader sees the old or the new value of a cell, never a torn one; nothing orders writes to
// different cells. Every write obeys the value rule (`ParamInfo::apply_rule`).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace loom {

static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);

enum class ParamKind : std::uint8_t {
    Float = 0,    // continuous value from min to max
    Choice = 1,   // whole number from 0 to the last index of choices
    Toggle = 2,   // 0 (off) or 1 (on)
    ReadOnly = 3, // written by the plug-in itself (meters); hosts never set it, states never restore it
};

// One entry of a plug-in's static parameter table.
struct ParamInfo {
    std::string_view id = {};          // unique within the table; used by descriptions and hosts
    std::string_view name = {};        // display name
    std::string_view description = {}; // one sentence
    std::string_view unit = {};        // shown after the value, may be empty ("dB", "Hz")
    std::string_view group = {};       // section, may be empty
    std::span<const std::string_view> choices = {}; // value names of a Choice
    std::string (*formatter)(float) = nullptr;      // replaces the built-in display text
    float min = 0.0f;
    float max = 1.0f;
    float default_value = 0.0f; // value at construction and replacement for NaN
    ParamKind kind = ParamKind::Float;
    bool log = false;         // best shown on a logarithmic scale; needs min above 0
    bool per_channel = false; // one value per channel

    // [any-thread] The value rule: NaN becomes the default, anything else is clamped to
    // min..max, and Choice and Toggle values are rounded half away from zero.
    float apply_rule(float value) const noexcept;

    // [main-thread] Display text: the formatter's text; the choice name; "On"/"Off"; or the
    // value with two decimals (ties to even) and the unit after a space.
    std::string display(float value) const;
};

// One live parameter: its table entry and a fixed number of value cells.
class Param {
public:
    // [build] A parameter of `cells` cells (at least 1), each at the default. Validates the
    // entry and stops with a fatal error naming it when it is invalid.
    Param(const ParamInfo& info, std::size_t cells);

    const ParamInfo& info() const noexcept { return entry; }
    std::size_t cells() const noexcept { return count; }

    // [any-thread] Value of the first cell.
    float get() const noexcept { return values[0].load(std::memory_order_relaxed); }
    // [any-thread] Value of cell min(channel, cells - 1).
    float get_ch(std::size_t channel) const noexcept {
        return values[cell(channel)].load(std::memory_order_relaxed);
    }
    // [any-thread] Applies the value rule and writes every cell.
    void set(float value) noexcept;
    // [any-thread] Applies the value rule and writes cell min(channel, cells - 1).
    void set_ch(std::size_t channel, float value) noexcept {
        values[cell(channel)].store(entry.apply_rule(value), std::memory_order_relaxed);
    }

private:
    std::size_t cell(std::size_t channel) const noexcept { return channel < count ? channel : count - 1; }

    ParamInfo entry;
    std::size_t count = 1;
    std::unique_ptr<std::atomic<float>[]> values;
};

class ParamSet;
using ParamListener = std::function<void(const ParamSet&)>;

// A shared reference to a plug-in's parameters; copies share the same values.
class ParamSet {
public:
    // [build] Validates every entry in table order, then the ids; the first fault is a fatal
    // stop with its message. A `max_channels` of 0 is taken as 1; `channels` starts at 1.
    static ParamSet with_channels(std::span<const ParamInfo> table, std::size_t max_channels);

    std::size_t size() const noexcept { return shared->params.size(); }
    // [any-thread] The parameter at `index`; an index beyond the end is a fatal error.
    const Param& at(std::size_t index) const noexcept {
        if (index >= shared->params.size()) [[unlikely]]
            out_of_range();
        return shared->params[index];
    }
    Param& at(std::size_t index) noexcept {
        if (index >= shared->params.size()) [[unlikely]]
            out_of_range();
        return shared->params[index];
    }

    std::size_t max_channels() const noexcept { return shared->max_channels; }
    // [any-thread] Stores clamp(count, 1, max_channels).
    void set_channels(std::size_t count) noexcept;
    // [any-thread] The stored channel count.
    std::size_t channels() const noexcept { return shared->channels.load(std::memory_order_relaxed); }

    // [main-thread] Installs the listener; returns false (and keeps the first one) when one
    // is already installed.
    bool set_listener(ParamListener listener);
    // [main-thread] Calls the listener with the set when one is installed.
    void notify() const;

private:
    struct Shared {
        std::vector<Param> params;
        std::size_t max_channels = 1;
        std::atomic<std::size_t> channels{1};
        std::atomic<const ParamListener*> listener{nullptr};
        std::unique_ptr<ParamListener> listener_storage;
        std::atomic_flag listener_taken;
    };

    explicit ParamSet(std::shared_ptr<Shared> s) : shared(std::move(s)) {}
    [[noreturn]] static void out_of_range() noexcept;

    std::shared_ptr<Shared> shared;
};

} // namespace loom
