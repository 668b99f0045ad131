#pragma once
// A CLAP host for the wrapper's tests: it loads test_plugin.clap as a real host would, hands
// instances a `clap_host` that records what they ask of it, and offers event lists, state
// streams and audio blocks made of our CLAP records.

#include "loom/clap/abi.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace loom::test {

namespace lc = loom::clap;

// The host record and what the plug-in asked of it.
struct FakeHost {
    lc::clap_host_t host = {};
    bool offer_params = true;  // answers "clap.params"
    bool offer_latency = true; // answers "clap.latency"

    std::vector<std::string> extension_queries;
    int callback_requests = 0;
    std::vector<lc::clap_param_rescan_flags> rescans;
    int latency_changes = 0;

    explicit FakeHost(std::uint32_t major = 1);
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;
};

// An input event queue. Events keep their addresses; a test may edit one before use.
class EventList {
public:
    EventList();
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    // Appends a parameter-value event and returns it.
    lc::clap_event_param_value_t& value(lc::clap_id id, double value);
    // Appends a null entry.
    void null();
    const lc::clap_input_events_t* list() const { return &events; }

private:
    std::deque<lc::clap_event_param_value_t> values;
    std::vector<const lc::clap_event_header_t*> order;
    lc::clap_input_events_t events = {};
};

// An output stream that keeps what it accepts.
struct OutStream {
    lc::clap_ostream_t stream = {};
    std::vector<std::uint8_t> bytes;
    std::uint64_t per_call = std::numeric_limits<std::uint64_t>::max(); // most bytes taken per write
    std::optional<std::size_t> fail_after;                               // total bytes before it fails
    std::int64_t fail_result = -1;                                       // what a failing write returns
    std::int64_t extra = 0; // added to every successful result (a stream that lies)
    int calls = 0;

    OutStream();
    OutStream(const OutStream&) = delete;
    OutStream& operator=(const OutStream&) = delete;
};

// An input stream over `data`.
struct InStream {
    lc::clap_istream_t stream = {};
    std::vector<std::uint8_t> data;
    std::size_t at = 0;
    std::optional<int> fail_at_call; // this call (counted from 0) returns -1
    std::int64_t extra = 0;          // added to every non-zero result (a stream that lies)
    std::vector<std::uint64_t> asked;

    explicit InStream(std::vector<std::uint8_t> bytes = {});
    InStream(const InStream&) = delete;
    InStream& operator=(const InStream&) = delete;
};

// Channel buffers for one process call, input and output separate unless `in_place`.
struct AudioBlock {
    std::vector<std::vector<float>> in;
    std::vector<std::vector<float>> out;
    std::vector<float*> in_ptrs;
    std::vector<float*> out_ptrs;
    lc::clap_audio_buffer_t input = {};
    lc::clap_audio_buffer_t output = {};
    lc::clap_process_t process = {};

    // `input` holds the input channels; the output gets `out_channels` channels of `frames`
    // samples filled with a marker value.
    AudioBlock(std::vector<std::vector<float>> input_channels, std::uint32_t out_channels, std::uint32_t frames,
               bool in_place = false);
    AudioBlock(const AudioBlock&) = delete;
    AudioBlock& operator=(const AudioBlock&) = delete;
};

// The entry of the CLAP module at `path`, loaded with dlopen and never unloaded.
const lc::clap_plugin_entry_t& module_entry(const char* path);
// Its plug-in factory.
const lc::clap_plugin_factory_t& module_factory(const char* path);

// An instance of plug-in `id` from the module at `path`, initialised; destroyed with the object.
class ModuleInstance {
public:
    ModuleInstance(FakeHost& host, const char* path, const char* id);
    ~ModuleInstance();
    ModuleInstance(const ModuleInstance&) = delete;
    ModuleInstance& operator=(const ModuleInstance&) = delete;

    const lc::clap_plugin_t* plugin() const { return instance; }
    const lc::clap_plugin_params_t& params() const;
    const lc::clap_plugin_state_t& state() const;
    const lc::clap_plugin_latency_t& latency() const;
    const lc::clap_plugin_tail_t& tail() const;
    const lc::clap_plugin_audio_ports_t& ports() const;
    const lc::clap_plugin_configurable_audio_ports_t& configurable() const;

    bool activate(double sample_rate = 48000.0, std::uint32_t max_frames = 512) const;
    // Configures `channels` channels on port 0 of both directions.
    bool configure(std::uint32_t channels) const;
    double value(lc::clap_id id) const;
    lc::clap_process_status process(const lc::clap_process_t& process) const;

private:
    const lc::clap_plugin_t* instance = nullptr;
};

} // namespace loom::test
