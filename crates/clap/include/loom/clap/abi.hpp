#pragma once
// Our declarations of the CLAP 1.2.10 records and constants that the wrapper fills and calls,
// laid out as the C standard lays them out for 64-bit targets. Not the CLAP headers: only
// the records of the entry, factory, plug-in, host, process, events and the extensions we
// offer or call are here, under their standard names.

#include <cstdint>

namespace loom::clap {

extern "C" {

using clap_id = std::uint32_t;
using clap_process_status = std::int32_t;
using clap_param_info_flags = std::uint32_t;
using clap_param_rescan_flags = std::uint32_t;
using clap_param_clear_flags = std::uint32_t;
using clap_beattime = std::int64_t; // fixed point, 31 fraction bits
using clap_sectime = std::int64_t;  // fixed point, 31 fraction bits

struct clap_version {
    std::uint32_t major = {};
    std::uint32_t minor = {};
    std::uint32_t revision = {};
};
using clap_version_t = clap_version;

struct clap_plugin_descriptor {
    clap_version_t clap_version = {};
    const char* id = {};
    const char* name = {};
    const char* vendor = {};
    const char* url = {};
    const char* manual_url = {};
    const char* support_url = {};
    const char* version = {};
    const char* description = {};
    const char* const* features = {}; // null-terminated
};
using clap_plugin_descriptor_t = clap_plugin_descriptor;

struct clap_host;
struct clap_process;

struct clap_plugin {
    const clap_plugin_descriptor_t* desc = {};
    void* plugin_data = {};
    bool (*init)(const clap_plugin* plugin) = {};
    void (*destroy)(const clap_plugin* plugin) = {};
    bool (*activate)(const clap_plugin* plugin, double sample_rate, std::uint32_t min_frames_count,
                     std::uint32_t max_frames_count) = {};
    void (*deactivate)(const clap_plugin* plugin) = {};
    bool (*start_processing)(const clap_plugin* plugin) = {};
    void (*stop_processing)(const clap_plugin* plugin) = {};
    void (*reset)(const clap_plugin* plugin) = {};
    clap_process_status (*process)(const clap_plugin* plugin, const clap_process* process) = {};
    const void* (*get_extension)(const clap_plugin* plugin, const char* id) = {};
    void (*on_main_thread)(const clap_plugin* plugin) = {};
};
using clap_plugin_t = clap_plugin;

struct clap_host {
    clap_version_t clap_version = {};
    void* host_data = {};
    const char* name = {};
    const char* vendor = {};
    const char* url = {};
    const char* version = {};
    const void* (*get_extension)(const clap_host* host, const char* extension_id) = {};
    void (*request_restart)(const clap_host* host) = {};
    void (*request_process)(const clap_host* host) = {};
    void (*request_callback)(const clap_host* host) = {};
};
using clap_host_t = clap_host;

struct clap_plugin_factory {
    std::uint32_t (*get_plugin_count)(const clap_plugin_factory* factory) = {};
    const clap_plugin_descriptor_t* (*get_plugin_descriptor)(const clap_plugin_factory* factory,
                                                             std::uint32_t index) = {};
    const clap_plugin_t* (*create_plugin)(const clap_plugin_factory* factory, const clap_host_t* host,
                                          const char* plugin_id) = {};
};
using clap_plugin_factory_t = clap_plugin_factory;

struct clap_plugin_entry {
    clap_version_t clap_version = {};
    bool (*init)(const char* plugin_path) = {};
    void (*deinit)(void) = {};
    const void* (*get_factory)(const char* factory_id) = {};
};
using clap_plugin_entry_t = clap_plugin_entry;

struct clap_event_header {
    std::uint32_t size = {}; // the whole event, header included
    std::uint32_t time = {}; // sample offset within the block
    std::uint16_t space_id = {};
    std::uint16_t type = {};
    std::uint32_t flags = {};
};
using clap_event_header_t = clap_event_header;

struct clap_event_param_value {
    clap_event_header_t header = {};
    clap_id param_id = {};
    void* cookie = {};
    std::int32_t note_id = {};
    std::int16_t port_index = {};
    std::int16_t channel = {};
    std::int16_t key = {};
    double value = {};
};
using clap_event_param_value_t = clap_event_param_value;

struct clap_event_transport {
    clap_event_header_t header = {};
    std::uint32_t flags = {};
    clap_beattime song_pos_beats = {};
    clap_sectime song_pos_seconds = {};
    double tempo = {}; // beats per minute
    double tempo_inc = {};
    clap_beattime loop_start_beats = {};
    clap_beattime loop_end_beats = {};
    clap_sectime loop_start_seconds = {};
    clap_sectime loop_end_seconds = {};
    clap_beattime bar_start = {};
    std::int32_t bar_number = {};
    std::uint16_t tsig_num = {};
    std::uint16_t tsig_denom = {};
};
using clap_event_transport_t = clap_event_transport;

struct clap_input_events {
    void* ctx = {};
    std::uint32_t (*size)(const clap_input_events* list) = {};
    const clap_event_header_t* (*get)(const clap_input_events* list, std::uint32_t index) = {};
};
using clap_input_events_t = clap_input_events;

struct clap_output_events {
    void* ctx = {};
    bool (*try_push)(const clap_output_events* list, const clap_event_header_t* event) = {};
};
using clap_output_events_t = clap_output_events;

struct clap_audio_buffer {
    float** data32 = {};
    double** data64 = {};
    std::uint32_t channel_count = {};
    std::uint32_t latency = {};
    std::uint64_t constant_mask = {};
};
using clap_audio_buffer_t = clap_audio_buffer;

struct clap_process {
    std::int64_t steady_time = {}; // -1 when unknown
    std::uint32_t frames_count = {};
    const clap_event_transport_t* transport = {};
    const clap_audio_buffer_t* audio_inputs = {};
    clap_audio_buffer_t* audio_outputs = {};
    std::uint32_t audio_inputs_count = {};
    std::uint32_t audio_outputs_count = {};
    const clap_input_events_t* in_events = {};
    const clap_output_events_t* out_events = {};
};
using clap_process_t = clap_process;

inline constexpr std::uint32_t CLAP_NAME_SIZE = 256;
inline constexpr std::uint32_t CLAP_PATH_SIZE = 1024;

struct clap_param_info {
    clap_id id = {};
    clap_param_info_flags flags = {};
    void* cookie = {};
    char name[CLAP_NAME_SIZE] = {};
    char module[CLAP_PATH_SIZE] = {};
    double min_value = {};
    double max_value = {};
    double default_value = {};
};
using clap_param_info_t = clap_param_info;

struct clap_plugin_params {
    std::uint32_t (*count)(const clap_plugin_t* plugin) = {};
    bool (*get_info)(const clap_plugin_t* plugin, std::uint32_t param_index, clap_param_info_t* param_info) = {};
    bool (*get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value) = {};
    bool (*value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                          std::uint32_t out_buffer_capacity) = {};
    bool (*text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                          double* out_value) = {};
    void (*flush)(const clap_plugin_t* plugin, const clap_input_events_t* in,
                  const clap_output_events_t* out) = {};
};
using clap_plugin_params_t = clap_plugin_params;

struct clap_host_params {
    void (*rescan)(const clap_host_t* host, clap_param_rescan_flags flags) = {};
    void (*clear)(const clap_host_t* host, clap_id param_id, clap_param_clear_flags flags) = {};
    void (*request_flush)(const clap_host_t* host) = {};
};
using clap_host_params_t = clap_host_params;

struct clap_istream {
    void* ctx = {};
    // Bytes read (at most `size`), 0 at the end of the stream, below 0 on error.
    std::int64_t (*read)(const clap_istream* stream, void* buffer, std::uint64_t size) = {};
};
using clap_istream_t = clap_istream;

struct clap_ostream {
    void* ctx = {};
    // Bytes written (at most `size`), below 0 on error.
    std::int64_t (*write)(const clap_ostream* stream, const void* buffer, std::uint64_t size) = {};
};
using clap_ostream_t = clap_ostream;

struct clap_plugin_state {
    bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream) = {};
    bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream) = {};
};
using clap_plugin_state_t = clap_plugin_state;

struct clap_plugin_latency {
    std::uint32_t (*get)(const clap_plugin_t* plugin) = {};
};
using clap_plugin_latency_t = clap_plugin_latency;

struct clap_host_latency {
    void (*changed)(const clap_host_t* host) = {};
};
using clap_host_latency_t = clap_host_latency;

struct clap_plugin_tail {
    std::uint32_t (*get)(const clap_plugin_t* plugin) = {};
};
using clap_plugin_tail_t = clap_plugin_tail;

struct clap_audio_port_info {
    clap_id id = {};
    char name[CLAP_NAME_SIZE] = {};
    std::uint32_t flags = {};
    std::uint32_t channel_count = {};
    const char* port_type = {}; // may be null
    clap_id in_place_pair = {};
};
using clap_audio_port_info_t = clap_audio_port_info;

struct clap_plugin_audio_ports {
    std::uint32_t (*count)(const clap_plugin_t* plugin, bool is_input) = {};
    bool (*get)(const clap_plugin_t* plugin, std::uint32_t index, bool is_input, clap_audio_port_info_t* info) = {};
};
using clap_plugin_audio_ports_t = clap_plugin_audio_ports;

struct clap_audio_port_configuration_request {
    bool is_input = {};
    std::uint32_t port_index = {};
    std::uint32_t channel_count = {};
    const char* port_type = {};
    const void* port_details = {};
};
using clap_audio_port_configuration_request_t = clap_audio_port_configuration_request;

struct clap_plugin_configurable_audio_ports {
    bool (*can_apply_configuration)(const clap_plugin_t* plugin,
                                    const clap_audio_port_configuration_request* requests,
                                    std::uint32_t request_count) = {};
    bool (*apply_configuration)(const clap_plugin_t* plugin,
                                const clap_audio_port_configuration_request* requests,
                                std::uint32_t request_count) = {};
};
using clap_plugin_configurable_audio_ports_t = clap_plugin_configurable_audio_ports;

} // extern "C"

inline constexpr std::uint32_t CLAP_VERSION_MAJOR = 1;
inline constexpr std::uint32_t CLAP_VERSION_MINOR = 2;
inline constexpr std::uint32_t CLAP_VERSION_REVISION = 10;
inline constexpr clap_version_t CLAP_VERSION = {CLAP_VERSION_MAJOR, CLAP_VERSION_MINOR, CLAP_VERSION_REVISION};

inline constexpr char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";
inline constexpr char CLAP_EXT_PARAMS[] = "clap.params";
inline constexpr char CLAP_EXT_STATE[] = "clap.state";
inline constexpr char CLAP_EXT_LATENCY[] = "clap.latency";
inline constexpr char CLAP_EXT_TAIL[] = "clap.tail";
inline constexpr char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
inline constexpr char CLAP_EXT_CONFIGURABLE_AUDIO_PORTS[] = "clap.configurable-audio-ports/1";
inline constexpr char CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT[] = "clap.configurable-audio-ports.draft1";
inline constexpr char CLAP_PORT_MONO[] = "mono";
inline constexpr char CLAP_PORT_STEREO[] = "stereo";
inline constexpr char CLAP_PLUGIN_FEATURE_AUDIO_EFFECT[] = "audio-effect";
inline constexpr char CLAP_PLUGIN_FEATURE_DISTORTION[] = "distortion";

inline constexpr clap_id CLAP_INVALID_ID = 0xffffffff;

inline constexpr clap_process_status CLAP_PROCESS_ERROR = 0;
inline constexpr clap_process_status CLAP_PROCESS_CONTINUE = 1;
inline constexpr clap_process_status CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2;
inline constexpr clap_process_status CLAP_PROCESS_TAIL = 3;
inline constexpr clap_process_status CLAP_PROCESS_SLEEP = 4;

inline constexpr std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;
inline constexpr std::uint16_t CLAP_EVENT_NOTE_ON = 0;
inline constexpr std::uint16_t CLAP_EVENT_PARAM_VALUE = 5;
inline constexpr std::uint16_t CLAP_EVENT_PARAM_MOD = 6;
inline constexpr std::uint16_t CLAP_EVENT_TRANSPORT = 9;
inline constexpr std::uint16_t CLAP_EVENT_MIDI = 10;
inline constexpr std::uint32_t CLAP_EVENT_IS_LIVE = 0x1;
inline constexpr std::uint32_t CLAP_EVENT_DONT_RECORD = 0x2;

inline constexpr std::uint32_t CLAP_TRANSPORT_HAS_TEMPO = 0x1;
inline constexpr std::uint32_t CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 0x2;
inline constexpr std::uint32_t CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 0x4;
inline constexpr std::uint32_t CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 0x8;
inline constexpr std::uint32_t CLAP_TRANSPORT_IS_PLAYING = 0x10;
inline constexpr std::uint32_t CLAP_TRANSPORT_IS_RECORDING = 0x20;
inline constexpr std::uint32_t CLAP_TRANSPORT_IS_LOOP_ACTIVE = 0x40;
inline constexpr std::uint32_t CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 0x80;

inline constexpr std::int64_t CLAP_SECTIME_FACTOR = 2147483648;
inline constexpr std::int64_t CLAP_BEATTIME_FACTOR = 2147483648;

inline constexpr clap_param_info_flags CLAP_PARAM_IS_STEPPED = 0x1;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_PERIODIC = 0x2;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_HIDDEN = 0x4;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_READONLY = 0x8;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_BYPASS = 0x10;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_AUTOMATABLE = 0x20;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 0x40;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 0x80;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 0x100;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 0x200;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_MODULATABLE = 0x400;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 0x800;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_MODULATABLE_PER_KEY = 0x1000;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 0x2000;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_MODULATABLE_PER_PORT = 0x4000;
inline constexpr clap_param_info_flags CLAP_PARAM_REQUIRES_PROCESS = 0x8000;
inline constexpr clap_param_info_flags CLAP_PARAM_IS_ENUM = 0x10000;

inline constexpr clap_param_rescan_flags CLAP_PARAM_RESCAN_VALUES = 0x1;
inline constexpr clap_param_rescan_flags CLAP_PARAM_RESCAN_TEXT = 0x2;
inline constexpr clap_param_rescan_flags CLAP_PARAM_RESCAN_INFO = 0x4;
inline constexpr clap_param_rescan_flags CLAP_PARAM_RESCAN_ALL = 0x8;

inline constexpr clap_param_clear_flags CLAP_PARAM_CLEAR_ALL = 0x1;
inline constexpr clap_param_clear_flags CLAP_PARAM_CLEAR_AUTOMATIONS = 0x2;
inline constexpr clap_param_clear_flags CLAP_PARAM_CLEAR_MODULATIONS = 0x4;

inline constexpr std::uint32_t CLAP_AUDIO_PORT_IS_MAIN = 0x1;
inline constexpr std::uint32_t CLAP_AUDIO_PORT_SUPPORTS_64BITS = 0x2;
inline constexpr std::uint32_t CLAP_AUDIO_PORT_PREFERS_64BITS = 0x4;
inline constexpr std::uint32_t CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 0x8;

} // namespace loom::clap
