#pragma once
// The CLAP wrapper: one `Wrapper` per plug-in instance, and the generic entry and factory
// functions that a plug-in's export unit forwards to. Knows plug-ins only through `Inner`.
//
// An export unit (one per plug-in library, built with `loom_add_clap_plugin`) holds `CONFIG`,
// `REGISTRY`, `FACTORY`, the exported `clap_entry` and six functions that forward to
// `entry_init`, `entry_get_factory`, `factory_descriptor` and `factory_create` below with those
// statics and `make_inner<ThePlugin>`; crates/clap/tests/test_plugin_export.cpp is one.
//
// Threads follow the CLAP rules: init, destroy, activate, deactivate and the main-thread
// callback on the main thread; process, reset, start and stop processing on the audio
// thread. No locks: the fields both threads touch are atomics.

#include "loom/clap/abi.hpp"
#include "loom/clap/descriptor.hpp"
#include "loom/clap/inner.hpp"
#include "loom/core/param.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace loom::clap {

// One CLAP plug-in instance. The host receives the address of `plugin`, the first member.
struct Wrapper {
    clap_plugin_t plugin = {};   // `plugin_data` points to this record
    const clap_host_t* host = nullptr; // never null
    std::unique_ptr<Inner> inner;
    std::vector<std::span<float>> buffers; // room for 64 from creation; empty outside process
    ParamSet param_set;                    // the set the plug-in reads
    std::uint32_t min_channels = 1;        // 1..64
    std::uint32_t max_channels = 64;       // min_channels..64
    std::uint32_t channel_count = 2;       // of the main ports; changes only while inactive
    double sample_rate = 48000.0;          // Hz, of the last activation
    std::uint32_t max_frames = 4096;       // largest block of the last activation
    std::atomic<bool> active{false};
    std::atomic<std::uint32_t> current_latency{0};  // samples, as last read
    std::atomic<std::uint32_t> reported_latency{0}; // samples, as the host last learnt it
    std::atomic<std::uint32_t> current_tail{0};     // samples, as last read
    std::atomic<bool> params_dirty{false}; // values changed by events, not yet announced
    const clap_host_params_t* host_params = nullptr;   // looked up in init, may be null
    const clap_host_latency_t* host_latency = nullptr; // looked up in init, may be null

    Wrapper(const clap_plugin_descriptor_t* descriptor, const clap_host_t* host,
            std::unique_ptr<Inner> inner, ParamSet params);
    Wrapper(const Wrapper&) = delete;
    Wrapper& operator=(const Wrapper&) = delete;

    // [main-thread] A new inactive instance of the plug-in object; never fails.
    static const clap_plugin_t* create(const clap_plugin_descriptor_t* descriptor, const clap_host_t* host,
                                       std::unique_ptr<Inner> inner);

    // [any-thread] The instance behind a record made by `create`; null for a null record.
    static Wrapper* from(const clap_plugin_t* plugin) noexcept;

    // [audio-thread, or main-thread while inactive] Applies the queue's parameter-value
    // events to the parameter set in queue order; true when any value was applied.
    bool apply_events(const clap_input_events_t* events) noexcept;

    // [any-thread] Asks the host for a main-thread callback.
    void request_callback() const noexcept;
};

// [any-thread] `clap_plugin_entry.init`: builds the descriptor if needed; true.
bool entry_init(Registry& registry) noexcept;

// [any-thread] `clap_plugin_entry.get_factory`: `factory` for "clap.plugin-factory", else null.
const void* entry_get_factory(const char* factory_id, const clap_plugin_factory_t& factory) noexcept;

// [any-thread] `get_plugin_descriptor`: the descriptor for index 0, else null.
const clap_plugin_descriptor_t* factory_descriptor(Registry& registry, std::uint32_t index) noexcept;

// [main-thread] `create_plugin`: null for a null host or id, a host of CLAP 0.x or an id other
// than the configuration's; otherwise a new instance of the object `make` builds.
const clap_plugin_t* factory_create(Registry& registry, const clap_host_t* host, const char* plugin_id,
                                    std::unique_ptr<Inner> (*make)()) noexcept;

} // namespace loom::clap
