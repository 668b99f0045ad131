// Our CLAP declarations against the published CLAP 1.2.10 layouts: size, alignment and the
// offset of every field of every record we declare, and the value of every constant.

#include "loom/clap/abi.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace {

using namespace loom::clap;
using std::int16_t, std::int32_t, std::int64_t, std::uint16_t, std::uint32_t, std::uint64_t;

static_assert(sizeof(clap_version_t) == 12);
static_assert(alignof(clap_version_t) == 4);
static_assert(std::is_standard_layout_v<clap_version_t>);
static_assert(std::is_trivially_copyable_v<clap_version_t>);
static_assert(offsetof(clap_version_t, major) == 0);
static_assert(offsetof(clap_version_t, minor) == 4);
static_assert(offsetof(clap_version_t, revision) == 8);

static_assert(sizeof(clap_plugin_entry_t) == 40);
static_assert(alignof(clap_plugin_entry_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_entry_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_entry_t>);
static_assert(offsetof(clap_plugin_entry_t, clap_version) == 0);
static_assert(offsetof(clap_plugin_entry_t, init) == 16);
static_assert(offsetof(clap_plugin_entry_t, deinit) == 24);
static_assert(offsetof(clap_plugin_entry_t, get_factory) == 32);

static_assert(sizeof(clap_plugin_factory_t) == 24);
static_assert(alignof(clap_plugin_factory_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_factory_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_factory_t>);
static_assert(offsetof(clap_plugin_factory_t, get_plugin_count) == 0);
static_assert(offsetof(clap_plugin_factory_t, get_plugin_descriptor) == 8);
static_assert(offsetof(clap_plugin_factory_t, create_plugin) == 16);

static_assert(sizeof(clap_plugin_descriptor_t) == 88);
static_assert(alignof(clap_plugin_descriptor_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_descriptor_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_descriptor_t>);
static_assert(offsetof(clap_plugin_descriptor_t, clap_version) == 0);
static_assert(offsetof(clap_plugin_descriptor_t, id) == 16);
static_assert(offsetof(clap_plugin_descriptor_t, name) == 24);
static_assert(offsetof(clap_plugin_descriptor_t, vendor) == 32);
static_assert(offsetof(clap_plugin_descriptor_t, url) == 40);
static_assert(offsetof(clap_plugin_descriptor_t, manual_url) == 48);
static_assert(offsetof(clap_plugin_descriptor_t, support_url) == 56);
static_assert(offsetof(clap_plugin_descriptor_t, version) == 64);
static_assert(offsetof(clap_plugin_descriptor_t, description) == 72);
static_assert(offsetof(clap_plugin_descriptor_t, features) == 80);

static_assert(sizeof(clap_plugin_t) == 96);
static_assert(alignof(clap_plugin_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_t>);
static_assert(offsetof(clap_plugin_t, desc) == 0);
static_assert(offsetof(clap_plugin_t, plugin_data) == 8);
static_assert(offsetof(clap_plugin_t, init) == 16);
static_assert(offsetof(clap_plugin_t, destroy) == 24);
static_assert(offsetof(clap_plugin_t, activate) == 32);
static_assert(offsetof(clap_plugin_t, deactivate) == 40);
static_assert(offsetof(clap_plugin_t, start_processing) == 48);
static_assert(offsetof(clap_plugin_t, stop_processing) == 56);
static_assert(offsetof(clap_plugin_t, reset) == 64);
static_assert(offsetof(clap_plugin_t, process) == 72);
static_assert(offsetof(clap_plugin_t, get_extension) == 80);
static_assert(offsetof(clap_plugin_t, on_main_thread) == 88);

static_assert(sizeof(clap_host_t) == 88);
static_assert(alignof(clap_host_t) == 8);
static_assert(std::is_standard_layout_v<clap_host_t>);
static_assert(std::is_trivially_copyable_v<clap_host_t>);
static_assert(offsetof(clap_host_t, clap_version) == 0);
static_assert(offsetof(clap_host_t, host_data) == 16);
static_assert(offsetof(clap_host_t, name) == 24);
static_assert(offsetof(clap_host_t, vendor) == 32);
static_assert(offsetof(clap_host_t, url) == 40);
static_assert(offsetof(clap_host_t, version) == 48);
static_assert(offsetof(clap_host_t, get_extension) == 56);
static_assert(offsetof(clap_host_t, request_restart) == 64);
static_assert(offsetof(clap_host_t, request_process) == 72);
static_assert(offsetof(clap_host_t, request_callback) == 80);

static_assert(sizeof(clap_process_t) == 64);
static_assert(alignof(clap_process_t) == 8);
static_assert(std::is_standard_layout_v<clap_process_t>);
static_assert(std::is_trivially_copyable_v<clap_process_t>);
static_assert(offsetof(clap_process_t, steady_time) == 0);
static_assert(offsetof(clap_process_t, frames_count) == 8);
static_assert(offsetof(clap_process_t, transport) == 16);
static_assert(offsetof(clap_process_t, audio_inputs) == 24);
static_assert(offsetof(clap_process_t, audio_outputs) == 32);
static_assert(offsetof(clap_process_t, audio_inputs_count) == 40);
static_assert(offsetof(clap_process_t, audio_outputs_count) == 44);
static_assert(offsetof(clap_process_t, in_events) == 48);
static_assert(offsetof(clap_process_t, out_events) == 56);

static_assert(sizeof(clap_audio_buffer_t) == 32);
static_assert(alignof(clap_audio_buffer_t) == 8);
static_assert(std::is_standard_layout_v<clap_audio_buffer_t>);
static_assert(std::is_trivially_copyable_v<clap_audio_buffer_t>);
static_assert(offsetof(clap_audio_buffer_t, data32) == 0);
static_assert(offsetof(clap_audio_buffer_t, data64) == 8);
static_assert(offsetof(clap_audio_buffer_t, channel_count) == 16);
static_assert(offsetof(clap_audio_buffer_t, latency) == 20);
static_assert(offsetof(clap_audio_buffer_t, constant_mask) == 24);

static_assert(sizeof(clap_event_header_t) == 16);
static_assert(alignof(clap_event_header_t) == 4);
static_assert(std::is_standard_layout_v<clap_event_header_t>);
static_assert(std::is_trivially_copyable_v<clap_event_header_t>);
static_assert(offsetof(clap_event_header_t, size) == 0);
static_assert(offsetof(clap_event_header_t, time) == 4);
static_assert(offsetof(clap_event_header_t, space_id) == 8);
static_assert(offsetof(clap_event_header_t, type) == 10);
static_assert(offsetof(clap_event_header_t, flags) == 12);

static_assert(sizeof(clap_event_param_value_t) == 56);
static_assert(alignof(clap_event_param_value_t) == 8);
static_assert(std::is_standard_layout_v<clap_event_param_value_t>);
static_assert(std::is_trivially_copyable_v<clap_event_param_value_t>);
static_assert(offsetof(clap_event_param_value_t, header) == 0);
static_assert(offsetof(clap_event_param_value_t, param_id) == 16);
static_assert(offsetof(clap_event_param_value_t, cookie) == 24);
static_assert(offsetof(clap_event_param_value_t, note_id) == 32);
static_assert(offsetof(clap_event_param_value_t, port_index) == 36);
static_assert(offsetof(clap_event_param_value_t, channel) == 38);
static_assert(offsetof(clap_event_param_value_t, key) == 40);
static_assert(offsetof(clap_event_param_value_t, value) == 48);

static_assert(sizeof(clap_event_transport_t) == 104);
static_assert(alignof(clap_event_transport_t) == 8);
static_assert(std::is_standard_layout_v<clap_event_transport_t>);
static_assert(std::is_trivially_copyable_v<clap_event_transport_t>);
static_assert(offsetof(clap_event_transport_t, header) == 0);
static_assert(offsetof(clap_event_transport_t, flags) == 16);
static_assert(offsetof(clap_event_transport_t, song_pos_beats) == 24);
static_assert(offsetof(clap_event_transport_t, song_pos_seconds) == 32);
static_assert(offsetof(clap_event_transport_t, tempo) == 40);
static_assert(offsetof(clap_event_transport_t, tempo_inc) == 48);
static_assert(offsetof(clap_event_transport_t, loop_start_beats) == 56);
static_assert(offsetof(clap_event_transport_t, loop_end_beats) == 64);
static_assert(offsetof(clap_event_transport_t, loop_start_seconds) == 72);
static_assert(offsetof(clap_event_transport_t, loop_end_seconds) == 80);
static_assert(offsetof(clap_event_transport_t, bar_start) == 88);
static_assert(offsetof(clap_event_transport_t, bar_number) == 96);
static_assert(offsetof(clap_event_transport_t, tsig_num) == 100);
static_assert(offsetof(clap_event_transport_t, tsig_denom) == 102);

static_assert(sizeof(clap_input_events_t) == 24);
static_assert(alignof(clap_input_events_t) == 8);
static_assert(std::is_standard_layout_v<clap_input_events_t>);
static_assert(std::is_trivially_copyable_v<clap_input_events_t>);
static_assert(offsetof(clap_input_events_t, ctx) == 0);
static_assert(offsetof(clap_input_events_t, size) == 8);
static_assert(offsetof(clap_input_events_t, get) == 16);

static_assert(sizeof(clap_output_events_t) == 16);
static_assert(alignof(clap_output_events_t) == 8);
static_assert(std::is_standard_layout_v<clap_output_events_t>);
static_assert(std::is_trivially_copyable_v<clap_output_events_t>);
static_assert(offsetof(clap_output_events_t, ctx) == 0);
static_assert(offsetof(clap_output_events_t, try_push) == 8);

static_assert(sizeof(clap_plugin_params_t) == 48);
static_assert(alignof(clap_plugin_params_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_params_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_params_t>);
static_assert(offsetof(clap_plugin_params_t, count) == 0);
static_assert(offsetof(clap_plugin_params_t, get_info) == 8);
static_assert(offsetof(clap_plugin_params_t, get_value) == 16);
static_assert(offsetof(clap_plugin_params_t, value_to_text) == 24);
static_assert(offsetof(clap_plugin_params_t, text_to_value) == 32);
static_assert(offsetof(clap_plugin_params_t, flush) == 40);

static_assert(sizeof(clap_param_info_t) == 1320);
static_assert(alignof(clap_param_info_t) == 8);
static_assert(std::is_standard_layout_v<clap_param_info_t>);
static_assert(std::is_trivially_copyable_v<clap_param_info_t>);
static_assert(offsetof(clap_param_info_t, id) == 0);
static_assert(offsetof(clap_param_info_t, flags) == 4);
static_assert(offsetof(clap_param_info_t, cookie) == 8);
static_assert(offsetof(clap_param_info_t, name) == 16);
static_assert(offsetof(clap_param_info_t, module) == 272);
static_assert(offsetof(clap_param_info_t, min_value) == 1296);
static_assert(offsetof(clap_param_info_t, max_value) == 1304);
static_assert(offsetof(clap_param_info_t, default_value) == 1312);

static_assert(sizeof(clap_host_params_t) == 24);
static_assert(alignof(clap_host_params_t) == 8);
static_assert(std::is_standard_layout_v<clap_host_params_t>);
static_assert(std::is_trivially_copyable_v<clap_host_params_t>);
static_assert(offsetof(clap_host_params_t, rescan) == 0);
static_assert(offsetof(clap_host_params_t, clear) == 8);
static_assert(offsetof(clap_host_params_t, request_flush) == 16);

static_assert(sizeof(clap_plugin_state_t) == 16);
static_assert(alignof(clap_plugin_state_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_state_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_state_t>);
static_assert(offsetof(clap_plugin_state_t, save) == 0);
static_assert(offsetof(clap_plugin_state_t, load) == 8);

static_assert(sizeof(clap_istream_t) == 16);
static_assert(alignof(clap_istream_t) == 8);
static_assert(std::is_standard_layout_v<clap_istream_t>);
static_assert(std::is_trivially_copyable_v<clap_istream_t>);
static_assert(offsetof(clap_istream_t, ctx) == 0);
static_assert(offsetof(clap_istream_t, read) == 8);

static_assert(sizeof(clap_ostream_t) == 16);
static_assert(alignof(clap_ostream_t) == 8);
static_assert(std::is_standard_layout_v<clap_ostream_t>);
static_assert(std::is_trivially_copyable_v<clap_ostream_t>);
static_assert(offsetof(clap_ostream_t, ctx) == 0);
static_assert(offsetof(clap_ostream_t, write) == 8);

static_assert(sizeof(clap_plugin_latency_t) == 8);
static_assert(alignof(clap_plugin_latency_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_latency_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_latency_t>);
static_assert(offsetof(clap_plugin_latency_t, get) == 0);

static_assert(sizeof(clap_host_latency_t) == 8);
static_assert(alignof(clap_host_latency_t) == 8);
static_assert(std::is_standard_layout_v<clap_host_latency_t>);
static_assert(std::is_trivially_copyable_v<clap_host_latency_t>);
static_assert(offsetof(clap_host_latency_t, changed) == 0);

static_assert(sizeof(clap_plugin_tail_t) == 8);
static_assert(alignof(clap_plugin_tail_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_tail_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_tail_t>);
static_assert(offsetof(clap_plugin_tail_t, get) == 0);

static_assert(sizeof(clap_plugin_audio_ports_t) == 16);
static_assert(alignof(clap_plugin_audio_ports_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_audio_ports_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_audio_ports_t>);
static_assert(offsetof(clap_plugin_audio_ports_t, count) == 0);
static_assert(offsetof(clap_plugin_audio_ports_t, get) == 8);

static_assert(sizeof(clap_audio_port_info_t) == 288);
static_assert(alignof(clap_audio_port_info_t) == 8);
static_assert(std::is_standard_layout_v<clap_audio_port_info_t>);
static_assert(std::is_trivially_copyable_v<clap_audio_port_info_t>);
static_assert(offsetof(clap_audio_port_info_t, id) == 0);
static_assert(offsetof(clap_audio_port_info_t, name) == 4);
static_assert(offsetof(clap_audio_port_info_t, flags) == 260);
static_assert(offsetof(clap_audio_port_info_t, channel_count) == 264);
static_assert(offsetof(clap_audio_port_info_t, port_type) == 272);
static_assert(offsetof(clap_audio_port_info_t, in_place_pair) == 280);

static_assert(sizeof(clap_plugin_configurable_audio_ports_t) == 16);
static_assert(alignof(clap_plugin_configurable_audio_ports_t) == 8);
static_assert(std::is_standard_layout_v<clap_plugin_configurable_audio_ports_t>);
static_assert(std::is_trivially_copyable_v<clap_plugin_configurable_audio_ports_t>);
static_assert(offsetof(clap_plugin_configurable_audio_ports_t, can_apply_configuration) == 0);
static_assert(offsetof(clap_plugin_configurable_audio_ports_t, apply_configuration) == 8);

static_assert(sizeof(clap_audio_port_configuration_request_t) == 32);
static_assert(alignof(clap_audio_port_configuration_request_t) == 8);
static_assert(std::is_standard_layout_v<clap_audio_port_configuration_request_t>);
static_assert(std::is_trivially_copyable_v<clap_audio_port_configuration_request_t>);
static_assert(offsetof(clap_audio_port_configuration_request_t, is_input) == 0);
static_assert(offsetof(clap_audio_port_configuration_request_t, port_index) == 4);
static_assert(offsetof(clap_audio_port_configuration_request_t, channel_count) == 8);
static_assert(offsetof(clap_audio_port_configuration_request_t, port_type) == 16);
static_assert(offsetof(clap_audio_port_configuration_request_t, port_details) == 24);

static_assert(CLAP_VERSION_MAJOR == 1);
static_assert(CLAP_VERSION_MINOR == 2);
static_assert(CLAP_VERSION_REVISION == 10);
static_assert(std::string_view(CLAP_PLUGIN_FACTORY_ID) == "clap.plugin-factory");
static_assert(std::string_view(CLAP_EXT_PARAMS) == "clap.params");
static_assert(std::string_view(CLAP_EXT_STATE) == "clap.state");
static_assert(std::string_view(CLAP_EXT_LATENCY) == "clap.latency");
static_assert(std::string_view(CLAP_EXT_TAIL) == "clap.tail");
static_assert(std::string_view(CLAP_EXT_AUDIO_PORTS) == "clap.audio-ports");
static_assert(std::string_view(CLAP_EXT_CONFIGURABLE_AUDIO_PORTS) == "clap.configurable-audio-ports/1");
static_assert(std::string_view(CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT) == "clap.configurable-audio-ports.draft1");
static_assert(std::string_view(CLAP_PORT_MONO) == "mono");
static_assert(std::string_view(CLAP_PORT_STEREO) == "stereo");
static_assert(std::string_view(CLAP_PLUGIN_FEATURE_AUDIO_EFFECT) == "audio-effect");
static_assert(std::string_view(CLAP_PLUGIN_FEATURE_DISTORTION) == "distortion");
static_assert(CLAP_NAME_SIZE == 256);
static_assert(CLAP_PATH_SIZE == 1024);
static_assert(CLAP_INVALID_ID == 0xffffffff);
static_assert(CLAP_PROCESS_ERROR == 0);
static_assert(CLAP_PROCESS_CONTINUE == 1);
static_assert(CLAP_PROCESS_CONTINUE_IF_NOT_QUIET == 2);
static_assert(CLAP_PROCESS_TAIL == 3);
static_assert(CLAP_PROCESS_SLEEP == 4);
static_assert(CLAP_CORE_EVENT_SPACE_ID == 0);
static_assert(CLAP_EVENT_PARAM_VALUE == 5);
static_assert(CLAP_EVENT_PARAM_MOD == 6);
static_assert(CLAP_EVENT_TRANSPORT == 9);
static_assert(CLAP_EVENT_NOTE_ON == 0);
static_assert(CLAP_EVENT_MIDI == 10);
static_assert(CLAP_TRANSPORT_HAS_TEMPO == 0x1);
static_assert(CLAP_TRANSPORT_HAS_BEATS_TIMELINE == 0x2);
static_assert(CLAP_TRANSPORT_HAS_SECONDS_TIMELINE == 0x4);
static_assert(CLAP_TRANSPORT_HAS_TIME_SIGNATURE == 0x8);
static_assert(CLAP_TRANSPORT_IS_PLAYING == 0x10);
static_assert(CLAP_TRANSPORT_IS_RECORDING == 0x20);
static_assert(CLAP_TRANSPORT_IS_LOOP_ACTIVE == 0x40);
static_assert(CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL == 0x80);
static_assert(CLAP_SECTIME_FACTOR == 2147483648);
static_assert(CLAP_BEATTIME_FACTOR == 2147483648);
static_assert(CLAP_PARAM_IS_STEPPED == 0x1);
static_assert(CLAP_PARAM_IS_PERIODIC == 0x2);
static_assert(CLAP_PARAM_IS_HIDDEN == 0x4);
static_assert(CLAP_PARAM_IS_READONLY == 0x8);
static_assert(CLAP_PARAM_IS_BYPASS == 0x10);
static_assert(CLAP_PARAM_IS_AUTOMATABLE == 0x20);
static_assert(CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID == 0x40);
static_assert(CLAP_PARAM_IS_AUTOMATABLE_PER_KEY == 0x80);
static_assert(CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL == 0x100);
static_assert(CLAP_PARAM_IS_AUTOMATABLE_PER_PORT == 0x200);
static_assert(CLAP_PARAM_IS_MODULATABLE == 0x400);
static_assert(CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID == 0x800);
static_assert(CLAP_PARAM_IS_MODULATABLE_PER_KEY == 0x1000);
static_assert(CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL == 0x2000);
static_assert(CLAP_PARAM_IS_MODULATABLE_PER_PORT == 0x4000);
static_assert(CLAP_PARAM_REQUIRES_PROCESS == 0x8000);
static_assert(CLAP_PARAM_IS_ENUM == 0x10000);
static_assert(CLAP_PARAM_RESCAN_VALUES == 0x1);
static_assert(CLAP_PARAM_RESCAN_TEXT == 0x2);
static_assert(CLAP_PARAM_RESCAN_INFO == 0x4);
static_assert(CLAP_PARAM_RESCAN_ALL == 0x8);
static_assert(CLAP_PARAM_CLEAR_ALL == 0x1);
static_assert(CLAP_PARAM_CLEAR_AUTOMATIONS == 0x2);
static_assert(CLAP_PARAM_CLEAR_MODULATIONS == 0x4);
static_assert(CLAP_AUDIO_PORT_IS_MAIN == 0x1);
static_assert(CLAP_AUDIO_PORT_SUPPORTS_64BITS == 0x2);
static_assert(CLAP_AUDIO_PORT_PREFERS_64BITS == 0x4);
static_assert(CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE == 0x8);
static_assert(CLAP_EVENT_IS_LIVE == 0x1);
static_assert(CLAP_EVENT_DONT_RECORD == 0x2);

// The type of every field, as the standard writes it.
static_assert(std::is_same_v<decltype(clap_version_t::major), uint32_t>);
static_assert(std::is_same_v<decltype(clap_version_t::minor), uint32_t>);
static_assert(std::is_same_v<decltype(clap_version_t::revision), uint32_t>);
static_assert(std::is_same_v<decltype(clap_plugin_entry_t::clap_version), struct clap_version>);
static_assert(std::is_same_v<decltype(clap_plugin_entry_t::init), bool (*)(const char *)>);
static_assert(std::is_same_v<decltype(clap_plugin_entry_t::deinit), void (*)(void)>);
static_assert(std::is_same_v<decltype(clap_plugin_entry_t::get_factory), const void *(*)(const char *)>);
static_assert(std::is_same_v<decltype(clap_plugin_factory_t::get_plugin_count),
    uint32_t (*)(const struct clap_plugin_factory *)>);
static_assert(std::is_same_v<decltype(clap_plugin_factory_t::get_plugin_descriptor),
    const clap_plugin_descriptor_t *(*)(const struct clap_plugin_factory *, uint32_t)>);
static_assert(std::is_same_v<decltype(clap_plugin_factory_t::create_plugin),
    const clap_plugin_t *(*)(const struct clap_plugin_factory *, const clap_host_t *, const char *)>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::clap_version), struct clap_version>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::id), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::name), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::vendor), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::url), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::manual_url), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::support_url), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::version), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::description), const char *>);
static_assert(std::is_same_v<decltype(clap_plugin_descriptor_t::features), const char *const *>);
static_assert(std::is_same_v<decltype(clap_plugin_t::desc), const clap_plugin_descriptor_t *>);
static_assert(std::is_same_v<decltype(clap_plugin_t::plugin_data), void *>);
static_assert(std::is_same_v<decltype(clap_plugin_t::init), bool (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::destroy), void (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::activate),
    bool (*)(const struct clap_plugin *, double, uint32_t, uint32_t)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::deactivate), void (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::start_processing), bool (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::stop_processing), void (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::reset), void (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::process),
    clap_process_status (*)(const struct clap_plugin *, const clap_process_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::get_extension),
    const void *(*)(const struct clap_plugin *, const char *)>);
static_assert(std::is_same_v<decltype(clap_plugin_t::on_main_thread), void (*)(const struct clap_plugin *)>);
static_assert(std::is_same_v<decltype(clap_host_t::clap_version), struct clap_version>);
static_assert(std::is_same_v<decltype(clap_host_t::host_data), void *>);
static_assert(std::is_same_v<decltype(clap_host_t::name), const char *>);
static_assert(std::is_same_v<decltype(clap_host_t::vendor), const char *>);
static_assert(std::is_same_v<decltype(clap_host_t::url), const char *>);
static_assert(std::is_same_v<decltype(clap_host_t::version), const char *>);
static_assert(std::is_same_v<decltype(clap_host_t::get_extension),
    const void *(*)(const struct clap_host *, const char *)>);
static_assert(std::is_same_v<decltype(clap_host_t::request_restart), void (*)(const struct clap_host *)>);
static_assert(std::is_same_v<decltype(clap_host_t::request_process), void (*)(const struct clap_host *)>);
static_assert(std::is_same_v<decltype(clap_host_t::request_callback), void (*)(const struct clap_host *)>);
static_assert(std::is_same_v<decltype(clap_process_t::steady_time), int64_t>);
static_assert(std::is_same_v<decltype(clap_process_t::frames_count), uint32_t>);
static_assert(std::is_same_v<decltype(clap_process_t::transport), const clap_event_transport_t *>);
static_assert(std::is_same_v<decltype(clap_process_t::audio_inputs), const clap_audio_buffer_t *>);
static_assert(std::is_same_v<decltype(clap_process_t::audio_outputs), clap_audio_buffer_t *>);
static_assert(std::is_same_v<decltype(clap_process_t::audio_inputs_count), uint32_t>);
static_assert(std::is_same_v<decltype(clap_process_t::audio_outputs_count), uint32_t>);
static_assert(std::is_same_v<decltype(clap_process_t::in_events), const clap_input_events_t *>);
static_assert(std::is_same_v<decltype(clap_process_t::out_events), const clap_output_events_t *>);
static_assert(std::is_same_v<decltype(clap_audio_buffer_t::data32), float **>);
static_assert(std::is_same_v<decltype(clap_audio_buffer_t::data64), double **>);
static_assert(std::is_same_v<decltype(clap_audio_buffer_t::channel_count), uint32_t>);
static_assert(std::is_same_v<decltype(clap_audio_buffer_t::latency), uint32_t>);
static_assert(std::is_same_v<decltype(clap_audio_buffer_t::constant_mask), uint64_t>);
static_assert(std::is_same_v<decltype(clap_event_header_t::size), uint32_t>);
static_assert(std::is_same_v<decltype(clap_event_header_t::time), uint32_t>);
static_assert(std::is_same_v<decltype(clap_event_header_t::space_id), uint16_t>);
static_assert(std::is_same_v<decltype(clap_event_header_t::type), uint16_t>);
static_assert(std::is_same_v<decltype(clap_event_header_t::flags), uint32_t>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::header), struct clap_event_header>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::param_id), clap_id>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::cookie), void *>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::note_id), int32_t>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::port_index), int16_t>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::channel), int16_t>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::key), int16_t>);
static_assert(std::is_same_v<decltype(clap_event_param_value_t::value), double>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::header), struct clap_event_header>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::flags), uint32_t>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::song_pos_beats), clap_beattime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::song_pos_seconds), clap_sectime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::tempo), double>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::tempo_inc), double>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::loop_start_beats), clap_beattime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::loop_end_beats), clap_beattime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::loop_start_seconds), clap_sectime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::loop_end_seconds), clap_sectime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::bar_start), clap_beattime>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::bar_number), int32_t>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::tsig_num), uint16_t>);
static_assert(std::is_same_v<decltype(clap_event_transport_t::tsig_denom), uint16_t>);
static_assert(std::is_same_v<decltype(clap_input_events_t::ctx), void *>);
static_assert(std::is_same_v<decltype(clap_input_events_t::size), uint32_t (*)(const struct clap_input_events *)>);
static_assert(std::is_same_v<decltype(clap_input_events_t::get),
    const clap_event_header_t *(*)(const struct clap_input_events *, uint32_t)>);
static_assert(std::is_same_v<decltype(clap_output_events_t::ctx), void *>);
static_assert(std::is_same_v<decltype(clap_output_events_t::try_push),
    bool (*)(const struct clap_output_events *, const clap_event_header_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_params_t::count), uint32_t (*)(const clap_plugin_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_params_t::get_info),
    bool (*)(const clap_plugin_t *, uint32_t, clap_param_info_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_params_t::get_value),
    bool (*)(const clap_plugin_t *, clap_id, double *)>);
static_assert(std::is_same_v<decltype(clap_plugin_params_t::value_to_text),
    bool (*)(const clap_plugin_t *, clap_id, double, char *, uint32_t)>);
static_assert(std::is_same_v<decltype(clap_plugin_params_t::text_to_value),
    bool (*)(const clap_plugin_t *, clap_id, const char *, double *)>);
static_assert(std::is_same_v<decltype(clap_plugin_params_t::flush),
    void (*)(const clap_plugin_t *, const clap_input_events_t *, const clap_output_events_t *)>);
static_assert(std::is_same_v<decltype(clap_param_info_t::id), clap_id>);
static_assert(std::is_same_v<decltype(clap_param_info_t::flags), clap_param_info_flags>);
static_assert(std::is_same_v<decltype(clap_param_info_t::cookie), void *>);
static_assert(std::is_same_v<decltype(clap_param_info_t::name), char[256]>);
static_assert(std::is_same_v<decltype(clap_param_info_t::module), char[1024]>);
static_assert(std::is_same_v<decltype(clap_param_info_t::min_value), double>);
static_assert(std::is_same_v<decltype(clap_param_info_t::max_value), double>);
static_assert(std::is_same_v<decltype(clap_param_info_t::default_value), double>);
static_assert(std::is_same_v<decltype(clap_host_params_t::rescan),
    void (*)(const clap_host_t *, clap_param_rescan_flags)>);
static_assert(std::is_same_v<decltype(clap_host_params_t::clear),
    void (*)(const clap_host_t *, clap_id, clap_param_clear_flags)>);
static_assert(std::is_same_v<decltype(clap_host_params_t::request_flush), void (*)(const clap_host_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_state_t::save),
    bool (*)(const clap_plugin_t *, const clap_ostream_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_state_t::load),
    bool (*)(const clap_plugin_t *, const clap_istream_t *)>);
static_assert(std::is_same_v<decltype(clap_istream_t::ctx), void *>);
static_assert(std::is_same_v<decltype(clap_istream_t::read),
    int64_t (*)(const struct clap_istream *, void *, uint64_t)>);
static_assert(std::is_same_v<decltype(clap_ostream_t::ctx), void *>);
static_assert(std::is_same_v<decltype(clap_ostream_t::write),
    int64_t (*)(const struct clap_ostream *, const void *, uint64_t)>);
static_assert(std::is_same_v<decltype(clap_plugin_latency_t::get), uint32_t (*)(const clap_plugin_t *)>);
static_assert(std::is_same_v<decltype(clap_host_latency_t::changed), void (*)(const clap_host_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_tail_t::get), uint32_t (*)(const clap_plugin_t *)>);
static_assert(std::is_same_v<decltype(clap_plugin_audio_ports_t::count), uint32_t (*)(const clap_plugin_t *, bool)>);
static_assert(std::is_same_v<decltype(clap_plugin_audio_ports_t::get),
    bool (*)(const clap_plugin_t *, uint32_t, bool, clap_audio_port_info_t *)>);
static_assert(std::is_same_v<decltype(clap_audio_port_info_t::id), clap_id>);
static_assert(std::is_same_v<decltype(clap_audio_port_info_t::name), char[256]>);
static_assert(std::is_same_v<decltype(clap_audio_port_info_t::flags), uint32_t>);
static_assert(std::is_same_v<decltype(clap_audio_port_info_t::channel_count), uint32_t>);
static_assert(std::is_same_v<decltype(clap_audio_port_info_t::port_type), const char *>);
static_assert(std::is_same_v<decltype(clap_audio_port_info_t::in_place_pair), clap_id>);
static_assert(std::is_same_v<decltype(clap_plugin_configurable_audio_ports_t::can_apply_configuration),
    bool (*)(const clap_plugin_t *, const struct clap_audio_port_configuration_request *, uint32_t)>);
static_assert(std::is_same_v<decltype(clap_plugin_configurable_audio_ports_t::apply_configuration),
    bool (*)(const clap_plugin_t *, const struct clap_audio_port_configuration_request *, uint32_t)>);
static_assert(std::is_same_v<decltype(clap_audio_port_configuration_request_t::is_input), bool>);
static_assert(std::is_same_v<decltype(clap_audio_port_configuration_request_t::port_index), uint32_t>);
static_assert(std::is_same_v<decltype(clap_audio_port_configuration_request_t::channel_count), uint32_t>);
static_assert(std::is_same_v<decltype(clap_audio_port_configuration_request_t::port_type), const char *>);
static_assert(std::is_same_v<decltype(clap_audio_port_configuration_request_t::port_details), const void *>);

struct Layout {
    const char* name;
    std::size_t size, align, expected_size, expected_align;
};

constexpr Layout LAYOUTS[] = {
    {"clap_version", sizeof(clap_version_t), alignof(clap_version_t), 12, 4},
    {"clap_plugin_entry", sizeof(clap_plugin_entry_t), alignof(clap_plugin_entry_t), 40, 8},
    {"clap_plugin_factory", sizeof(clap_plugin_factory_t), alignof(clap_plugin_factory_t), 24, 8},
    {"clap_plugin_descriptor", sizeof(clap_plugin_descriptor_t), alignof(clap_plugin_descriptor_t), 88, 8},
    {"clap_plugin", sizeof(clap_plugin_t), alignof(clap_plugin_t), 96, 8},
    {"clap_host", sizeof(clap_host_t), alignof(clap_host_t), 88, 8},
    {"clap_process", sizeof(clap_process_t), alignof(clap_process_t), 64, 8},
    {"clap_audio_buffer", sizeof(clap_audio_buffer_t), alignof(clap_audio_buffer_t), 32, 8},
    {"clap_event_header", sizeof(clap_event_header_t), alignof(clap_event_header_t), 16, 4},
    {"clap_event_param_value", sizeof(clap_event_param_value_t), alignof(clap_event_param_value_t), 56, 8},
    {"clap_event_transport", sizeof(clap_event_transport_t), alignof(clap_event_transport_t), 104, 8},
    {"clap_input_events", sizeof(clap_input_events_t), alignof(clap_input_events_t), 24, 8},
    {"clap_output_events", sizeof(clap_output_events_t), alignof(clap_output_events_t), 16, 8},
    {"clap_plugin_params", sizeof(clap_plugin_params_t), alignof(clap_plugin_params_t), 48, 8},
    {"clap_param_info", sizeof(clap_param_info_t), alignof(clap_param_info_t), 1320, 8},
    {"clap_host_params", sizeof(clap_host_params_t), alignof(clap_host_params_t), 24, 8},
    {"clap_plugin_state", sizeof(clap_plugin_state_t), alignof(clap_plugin_state_t), 16, 8},
    {"clap_istream", sizeof(clap_istream_t), alignof(clap_istream_t), 16, 8},
    {"clap_ostream", sizeof(clap_ostream_t), alignof(clap_ostream_t), 16, 8},
    {"clap_plugin_latency", sizeof(clap_plugin_latency_t), alignof(clap_plugin_latency_t), 8, 8},
    {"clap_host_latency", sizeof(clap_host_latency_t), alignof(clap_host_latency_t), 8, 8},
    {"clap_plugin_tail", sizeof(clap_plugin_tail_t), alignof(clap_plugin_tail_t), 8, 8},
    {"clap_plugin_audio_ports", sizeof(clap_plugin_audio_ports_t), alignof(clap_plugin_audio_ports_t), 16, 8},
    {"clap_audio_port_info", sizeof(clap_audio_port_info_t), alignof(clap_audio_port_info_t), 288, 8},
    {"clap_plugin_configurable_audio_ports",
     sizeof(clap_plugin_configurable_audio_ports_t), alignof(clap_plugin_configurable_audio_ports_t), 16, 8},
    {"clap_audio_port_configuration_request",
     sizeof(clap_audio_port_configuration_request_t), alignof(clap_audio_port_configuration_request_t), 32, 8},
};

TEST(ClapAbi, RecordsHaveTheStandardSizeAndAlignment) {
    for (const Layout& row : LAYOUTS) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.size, row.expected_size);
        EXPECT_EQ(row.align, row.expected_align);
    }
}

struct Field {
    const char* name;
    std::size_t offset, expected;
};

constexpr Field FIELDS[] = {
    {"clap_version.major", offsetof(clap_version_t, major), 0},
    {"clap_version.minor", offsetof(clap_version_t, minor), 4},
    {"clap_version.revision", offsetof(clap_version_t, revision), 8},
    {"clap_plugin_entry.clap_version", offsetof(clap_plugin_entry_t, clap_version), 0},
    {"clap_plugin_entry.init", offsetof(clap_plugin_entry_t, init), 16},
    {"clap_plugin_entry.deinit", offsetof(clap_plugin_entry_t, deinit), 24},
    {"clap_plugin_entry.get_factory", offsetof(clap_plugin_entry_t, get_factory), 32},
    {"clap_plugin_factory.get_plugin_count", offsetof(clap_plugin_factory_t, get_plugin_count), 0},
    {"clap_plugin_factory.get_plugin_descriptor", offsetof(clap_plugin_factory_t, get_plugin_descriptor), 8},
    {"clap_plugin_factory.create_plugin", offsetof(clap_plugin_factory_t, create_plugin), 16},
    {"clap_plugin_descriptor.clap_version", offsetof(clap_plugin_descriptor_t, clap_version), 0},
    {"clap_plugin_descriptor.id", offsetof(clap_plugin_descriptor_t, id), 16},
    {"clap_plugin_descriptor.name", offsetof(clap_plugin_descriptor_t, name), 24},
    {"clap_plugin_descriptor.vendor", offsetof(clap_plugin_descriptor_t, vendor), 32},
    {"clap_plugin_descriptor.url", offsetof(clap_plugin_descriptor_t, url), 40},
    {"clap_plugin_descriptor.manual_url", offsetof(clap_plugin_descriptor_t, manual_url), 48},
    {"clap_plugin_descriptor.support_url", offsetof(clap_plugin_descriptor_t, support_url), 56},
    {"clap_plugin_descriptor.version", offsetof(clap_plugin_descriptor_t, version), 64},
    {"clap_plugin_descriptor.description", offsetof(clap_plugin_descriptor_t, description), 72},
    {"clap_plugin_descriptor.features", offsetof(clap_plugin_descriptor_t, features), 80},
    {"clap_plugin.desc", offsetof(clap_plugin_t, desc), 0},
    {"clap_plugin.plugin_data", offsetof(clap_plugin_t, plugin_data), 8},
    {"clap_plugin.init", offsetof(clap_plugin_t, init), 16},
    {"clap_plugin.destroy", offsetof(clap_plugin_t, destroy), 24},
    {"clap_plugin.activate", offsetof(clap_plugin_t, activate), 32},
    {"clap_plugin.deactivate", offsetof(clap_plugin_t, deactivate), 40},
    {"clap_plugin.start_processing", offsetof(clap_plugin_t, start_processing), 48},
    {"clap_plugin.stop_processing", offsetof(clap_plugin_t, stop_processing), 56},
    {"clap_plugin.reset", offsetof(clap_plugin_t, reset), 64},
    {"clap_plugin.process", offsetof(clap_plugin_t, process), 72},
    {"clap_plugin.get_extension", offsetof(clap_plugin_t, get_extension), 80},
    {"clap_plugin.on_main_thread", offsetof(clap_plugin_t, on_main_thread), 88},
    {"clap_host.clap_version", offsetof(clap_host_t, clap_version), 0},
    {"clap_host.host_data", offsetof(clap_host_t, host_data), 16},
    {"clap_host.name", offsetof(clap_host_t, name), 24},
    {"clap_host.vendor", offsetof(clap_host_t, vendor), 32},
    {"clap_host.url", offsetof(clap_host_t, url), 40},
    {"clap_host.version", offsetof(clap_host_t, version), 48},
    {"clap_host.get_extension", offsetof(clap_host_t, get_extension), 56},
    {"clap_host.request_restart", offsetof(clap_host_t, request_restart), 64},
    {"clap_host.request_process", offsetof(clap_host_t, request_process), 72},
    {"clap_host.request_callback", offsetof(clap_host_t, request_callback), 80},
    {"clap_process.steady_time", offsetof(clap_process_t, steady_time), 0},
    {"clap_process.frames_count", offsetof(clap_process_t, frames_count), 8},
    {"clap_process.transport", offsetof(clap_process_t, transport), 16},
    {"clap_process.audio_inputs", offsetof(clap_process_t, audio_inputs), 24},
    {"clap_process.audio_outputs", offsetof(clap_process_t, audio_outputs), 32},
    {"clap_process.audio_inputs_count", offsetof(clap_process_t, audio_inputs_count), 40},
    {"clap_process.audio_outputs_count", offsetof(clap_process_t, audio_outputs_count), 44},
    {"clap_process.in_events", offsetof(clap_process_t, in_events), 48},
    {"clap_process.out_events", offsetof(clap_process_t, out_events), 56},
    {"clap_audio_buffer.data32", offsetof(clap_audio_buffer_t, data32), 0},
    {"clap_audio_buffer.data64", offsetof(clap_audio_buffer_t, data64), 8},
    {"clap_audio_buffer.channel_count", offsetof(clap_audio_buffer_t, channel_count), 16},
    {"clap_audio_buffer.latency", offsetof(clap_audio_buffer_t, latency), 20},
    {"clap_audio_buffer.constant_mask", offsetof(clap_audio_buffer_t, constant_mask), 24},
    {"clap_event_header.size", offsetof(clap_event_header_t, size), 0},
    {"clap_event_header.time", offsetof(clap_event_header_t, time), 4},
    {"clap_event_header.space_id", offsetof(clap_event_header_t, space_id), 8},
    {"clap_event_header.type", offsetof(clap_event_header_t, type), 10},
    {"clap_event_header.flags", offsetof(clap_event_header_t, flags), 12},
    {"clap_event_param_value.header", offsetof(clap_event_param_value_t, header), 0},
    {"clap_event_param_value.param_id", offsetof(clap_event_param_value_t, param_id), 16},
    {"clap_event_param_value.cookie", offsetof(clap_event_param_value_t, cookie), 24},
    {"clap_event_param_value.note_id", offsetof(clap_event_param_value_t, note_id), 32},
    {"clap_event_param_value.port_index", offsetof(clap_event_param_value_t, port_index), 36},
    {"clap_event_param_value.channel", offsetof(clap_event_param_value_t, channel), 38},
    {"clap_event_param_value.key", offsetof(clap_event_param_value_t, key), 40},
    {"clap_event_param_value.value", offsetof(clap_event_param_value_t, value), 48},
    {"clap_event_transport.header", offsetof(clap_event_transport_t, header), 0},
    {"clap_event_transport.flags", offsetof(clap_event_transport_t, flags), 16},
    {"clap_event_transport.song_pos_beats", offsetof(clap_event_transport_t, song_pos_beats), 24},
    {"clap_event_transport.song_pos_seconds", offsetof(clap_event_transport_t, song_pos_seconds), 32},
    {"clap_event_transport.tempo", offsetof(clap_event_transport_t, tempo), 40},
    {"clap_event_transport.tempo_inc", offsetof(clap_event_transport_t, tempo_inc), 48},
    {"clap_event_transport.loop_start_beats", offsetof(clap_event_transport_t, loop_start_beats), 56},
    {"clap_event_transport.loop_end_beats", offsetof(clap_event_transport_t, loop_end_beats), 64},
    {"clap_event_transport.loop_start_seconds", offsetof(clap_event_transport_t, loop_start_seconds), 72},
    {"clap_event_transport.loop_end_seconds", offsetof(clap_event_transport_t, loop_end_seconds), 80},
    {"clap_event_transport.bar_start", offsetof(clap_event_transport_t, bar_start), 88},
    {"clap_event_transport.bar_number", offsetof(clap_event_transport_t, bar_number), 96},
    {"clap_event_transport.tsig_num", offsetof(clap_event_transport_t, tsig_num), 100},
    {"clap_event_transport.tsig_denom", offsetof(clap_event_transport_t, tsig_denom), 102},
    {"clap_input_events.ctx", offsetof(clap_input_events_t, ctx), 0},
    {"clap_input_events.size", offsetof(clap_input_events_t, size), 8},
    {"clap_input_events.get", offsetof(clap_input_events_t, get), 16},
    {"clap_output_events.ctx", offsetof(clap_output_events_t, ctx), 0},
    {"clap_output_events.try_push", offsetof(clap_output_events_t, try_push), 8},
    {"clap_plugin_params.count", offsetof(clap_plugin_params_t, count), 0},
    {"clap_plugin_params.get_info", offsetof(clap_plugin_params_t, get_info), 8},
    {"clap_plugin_params.get_value", offsetof(clap_plugin_params_t, get_value), 16},
    {"clap_plugin_params.value_to_text", offsetof(clap_plugin_params_t, value_to_text), 24},
    {"clap_plugin_params.text_to_value", offsetof(clap_plugin_params_t, text_to_value), 32},
    {"clap_plugin_params.flush", offsetof(clap_plugin_params_t, flush), 40},
    {"clap_param_info.id", offsetof(clap_param_info_t, id), 0},
    {"clap_param_info.flags", offsetof(clap_param_info_t, flags), 4},
    {"clap_param_info.cookie", offsetof(clap_param_info_t, cookie), 8},
    {"clap_param_info.name", offsetof(clap_param_info_t, name), 16},
    {"clap_param_info.module", offsetof(clap_param_info_t, module), 272},
    {"clap_param_info.min_value", offsetof(clap_param_info_t, min_value), 1296},
    {"clap_param_info.max_value", offsetof(clap_param_info_t, max_value), 1304},
    {"clap_param_info.default_value", offsetof(clap_param_info_t, default_value), 1312},
    {"clap_host_params.rescan", offsetof(clap_host_params_t, rescan), 0},
    {"clap_host_params.clear", offsetof(clap_host_params_t, clear), 8},
    {"clap_host_params.request_flush", offsetof(clap_host_params_t, request_flush), 16},
    {"clap_plugin_state.save", offsetof(clap_plugin_state_t, save), 0},
    {"clap_plugin_state.load", offsetof(clap_plugin_state_t, load), 8},
    {"clap_istream.ctx", offsetof(clap_istream_t, ctx), 0},
    {"clap_istream.read", offsetof(clap_istream_t, read), 8},
    {"clap_ostream.ctx", offsetof(clap_ostream_t, ctx), 0},
    {"clap_ostream.write", offsetof(clap_ostream_t, write), 8},
    {"clap_plugin_latency.get", offsetof(clap_plugin_latency_t, get), 0},
    {"clap_host_latency.changed", offsetof(clap_host_latency_t, changed), 0},
    {"clap_plugin_tail.get", offsetof(clap_plugin_tail_t, get), 0},
    {"clap_plugin_audio_ports.count", offsetof(clap_plugin_audio_ports_t, count), 0},
    {"clap_plugin_audio_ports.get", offsetof(clap_plugin_audio_ports_t, get), 8},
    {"clap_audio_port_info.id", offsetof(clap_audio_port_info_t, id), 0},
    {"clap_audio_port_info.name", offsetof(clap_audio_port_info_t, name), 4},
    {"clap_audio_port_info.flags", offsetof(clap_audio_port_info_t, flags), 260},
    {"clap_audio_port_info.channel_count", offsetof(clap_audio_port_info_t, channel_count), 264},
    {"clap_audio_port_info.port_type", offsetof(clap_audio_port_info_t, port_type), 272},
    {"clap_audio_port_info.in_place_pair", offsetof(clap_audio_port_info_t, in_place_pair), 280},
    {"clap_plugin_configurable_audio_ports.can_apply_configuration",
     offsetof(clap_plugin_configurable_audio_ports_t, can_apply_configuration), 0},
    {"clap_plugin_configurable_audio_ports.apply_configuration",
     offsetof(clap_plugin_configurable_audio_ports_t, apply_configuration), 8},
    {"clap_audio_port_configuration_request.is_input",
     offsetof(clap_audio_port_configuration_request_t, is_input), 0},
    {"clap_audio_port_configuration_request.port_index",
     offsetof(clap_audio_port_configuration_request_t, port_index), 4},
    {"clap_audio_port_configuration_request.channel_count",
     offsetof(clap_audio_port_configuration_request_t, channel_count), 8},
    {"clap_audio_port_configuration_request.port_type",
     offsetof(clap_audio_port_configuration_request_t, port_type), 16},
    {"clap_audio_port_configuration_request.port_details",
     offsetof(clap_audio_port_configuration_request_t, port_details), 24},
};

TEST(ClapAbi, FieldsSitAtTheStandardOffsets) {
    for (const Field& row : FIELDS) EXPECT_EQ(row.offset, row.expected) << row.name;
}

struct TextConstant {
    const char* name;
    std::string_view value, expected;
};

constexpr TextConstant TEXTS[] = {
    {"CLAP_PLUGIN_FACTORY_ID", CLAP_PLUGIN_FACTORY_ID, "clap.plugin-factory"},
    {"CLAP_EXT_PARAMS", CLAP_EXT_PARAMS, "clap.params"},
    {"CLAP_EXT_STATE", CLAP_EXT_STATE, "clap.state"},
    {"CLAP_EXT_LATENCY", CLAP_EXT_LATENCY, "clap.latency"},
    {"CLAP_EXT_TAIL", CLAP_EXT_TAIL, "clap.tail"},
    {"CLAP_EXT_AUDIO_PORTS", CLAP_EXT_AUDIO_PORTS, "clap.audio-ports"},
    {"CLAP_EXT_CONFIGURABLE_AUDIO_PORTS", CLAP_EXT_CONFIGURABLE_AUDIO_PORTS, "clap.configurable-audio-ports/1"},
    {"CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT",
     CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT, "clap.configurable-audio-ports.draft1"},
    {"CLAP_PORT_MONO", CLAP_PORT_MONO, "mono"},
    {"CLAP_PORT_STEREO", CLAP_PORT_STEREO, "stereo"},
    {"CLAP_PLUGIN_FEATURE_AUDIO_EFFECT", CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, "audio-effect"},
    {"CLAP_PLUGIN_FEATURE_DISTORTION", CLAP_PLUGIN_FEATURE_DISTORTION, "distortion"},
};

TEST(ClapAbi, TextConstantsHaveTheStandardValues) {
    for (const TextConstant& row : TEXTS) EXPECT_EQ(row.value, row.expected) << row.name;
    // Each is a NUL-terminated array of exactly its characters.
    EXPECT_EQ(sizeof CLAP_PLUGIN_FACTORY_ID, 20u);
    EXPECT_EQ(sizeof CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT, 37u);
}

struct NumberConstant {
    const char* name;
    std::int64_t value, expected;
};

constexpr NumberConstant NUMBERS[] = {
    {"CLAP_VERSION_MAJOR", static_cast<std::int64_t>(CLAP_VERSION_MAJOR), 1},
    {"CLAP_VERSION_MINOR", static_cast<std::int64_t>(CLAP_VERSION_MINOR), 2},
    {"CLAP_VERSION_REVISION", static_cast<std::int64_t>(CLAP_VERSION_REVISION), 10},
    {"CLAP_NAME_SIZE", static_cast<std::int64_t>(CLAP_NAME_SIZE), 256},
    {"CLAP_PATH_SIZE", static_cast<std::int64_t>(CLAP_PATH_SIZE), 1024},
    {"CLAP_INVALID_ID", static_cast<std::int64_t>(CLAP_INVALID_ID), 0xffffffff},
    {"CLAP_PROCESS_ERROR", static_cast<std::int64_t>(CLAP_PROCESS_ERROR), 0},
    {"CLAP_PROCESS_CONTINUE", static_cast<std::int64_t>(CLAP_PROCESS_CONTINUE), 1},
    {"CLAP_PROCESS_CONTINUE_IF_NOT_QUIET", static_cast<std::int64_t>(CLAP_PROCESS_CONTINUE_IF_NOT_QUIET), 2},
    {"CLAP_PROCESS_TAIL", static_cast<std::int64_t>(CLAP_PROCESS_TAIL), 3},
    {"CLAP_PROCESS_SLEEP", static_cast<std::int64_t>(CLAP_PROCESS_SLEEP), 4},
    {"CLAP_CORE_EVENT_SPACE_ID", static_cast<std::int64_t>(CLAP_CORE_EVENT_SPACE_ID), 0},
    {"CLAP_EVENT_PARAM_VALUE", static_cast<std::int64_t>(CLAP_EVENT_PARAM_VALUE), 5},
    {"CLAP_EVENT_PARAM_MOD", static_cast<std::int64_t>(CLAP_EVENT_PARAM_MOD), 6},
    {"CLAP_EVENT_TRANSPORT", static_cast<std::int64_t>(CLAP_EVENT_TRANSPORT), 9},
    {"CLAP_EVENT_NOTE_ON", static_cast<std::int64_t>(CLAP_EVENT_NOTE_ON), 0},
    {"CLAP_EVENT_MIDI", static_cast<std::int64_t>(CLAP_EVENT_MIDI), 10},
    {"CLAP_TRANSPORT_HAS_TEMPO", static_cast<std::int64_t>(CLAP_TRANSPORT_HAS_TEMPO), 0x1},
    {"CLAP_TRANSPORT_HAS_BEATS_TIMELINE", static_cast<std::int64_t>(CLAP_TRANSPORT_HAS_BEATS_TIMELINE), 0x2},
    {"CLAP_TRANSPORT_HAS_SECONDS_TIMELINE", static_cast<std::int64_t>(CLAP_TRANSPORT_HAS_SECONDS_TIMELINE), 0x4},
    {"CLAP_TRANSPORT_HAS_TIME_SIGNATURE", static_cast<std::int64_t>(CLAP_TRANSPORT_HAS_TIME_SIGNATURE), 0x8},
    {"CLAP_TRANSPORT_IS_PLAYING", static_cast<std::int64_t>(CLAP_TRANSPORT_IS_PLAYING), 0x10},
    {"CLAP_TRANSPORT_IS_RECORDING", static_cast<std::int64_t>(CLAP_TRANSPORT_IS_RECORDING), 0x20},
    {"CLAP_TRANSPORT_IS_LOOP_ACTIVE", static_cast<std::int64_t>(CLAP_TRANSPORT_IS_LOOP_ACTIVE), 0x40},
    {"CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL", static_cast<std::int64_t>(CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL), 0x80},
    {"CLAP_SECTIME_FACTOR", static_cast<std::int64_t>(CLAP_SECTIME_FACTOR), 2147483648},
    {"CLAP_BEATTIME_FACTOR", static_cast<std::int64_t>(CLAP_BEATTIME_FACTOR), 2147483648},
    {"CLAP_PARAM_IS_STEPPED", static_cast<std::int64_t>(CLAP_PARAM_IS_STEPPED), 0x1},
    {"CLAP_PARAM_IS_PERIODIC", static_cast<std::int64_t>(CLAP_PARAM_IS_PERIODIC), 0x2},
    {"CLAP_PARAM_IS_HIDDEN", static_cast<std::int64_t>(CLAP_PARAM_IS_HIDDEN), 0x4},
    {"CLAP_PARAM_IS_READONLY", static_cast<std::int64_t>(CLAP_PARAM_IS_READONLY), 0x8},
    {"CLAP_PARAM_IS_BYPASS", static_cast<std::int64_t>(CLAP_PARAM_IS_BYPASS), 0x10},
    {"CLAP_PARAM_IS_AUTOMATABLE", static_cast<std::int64_t>(CLAP_PARAM_IS_AUTOMATABLE), 0x20},
    {"CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID", static_cast<std::int64_t>(CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID), 0x40},
    {"CLAP_PARAM_IS_AUTOMATABLE_PER_KEY", static_cast<std::int64_t>(CLAP_PARAM_IS_AUTOMATABLE_PER_KEY), 0x80},
    {"CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL",
     static_cast<std::int64_t>(CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL), 0x100},
    {"CLAP_PARAM_IS_AUTOMATABLE_PER_PORT", static_cast<std::int64_t>(CLAP_PARAM_IS_AUTOMATABLE_PER_PORT), 0x200},
    {"CLAP_PARAM_IS_MODULATABLE", static_cast<std::int64_t>(CLAP_PARAM_IS_MODULATABLE), 0x400},
    {"CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID",
     static_cast<std::int64_t>(CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID), 0x800},
    {"CLAP_PARAM_IS_MODULATABLE_PER_KEY", static_cast<std::int64_t>(CLAP_PARAM_IS_MODULATABLE_PER_KEY), 0x1000},
    {"CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL",
     static_cast<std::int64_t>(CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL), 0x2000},
    {"CLAP_PARAM_IS_MODULATABLE_PER_PORT", static_cast<std::int64_t>(CLAP_PARAM_IS_MODULATABLE_PER_PORT), 0x4000},
    {"CLAP_PARAM_REQUIRES_PROCESS", static_cast<std::int64_t>(CLAP_PARAM_REQUIRES_PROCESS), 0x8000},
    {"CLAP_PARAM_IS_ENUM", static_cast<std::int64_t>(CLAP_PARAM_IS_ENUM), 0x10000},
    {"CLAP_PARAM_RESCAN_VALUES", static_cast<std::int64_t>(CLAP_PARAM_RESCAN_VALUES), 0x1},
    {"CLAP_PARAM_RESCAN_TEXT", static_cast<std::int64_t>(CLAP_PARAM_RESCAN_TEXT), 0x2},
    {"CLAP_PARAM_RESCAN_INFO", static_cast<std::int64_t>(CLAP_PARAM_RESCAN_INFO), 0x4},
    {"CLAP_PARAM_RESCAN_ALL", static_cast<std::int64_t>(CLAP_PARAM_RESCAN_ALL), 0x8},
    {"CLAP_PARAM_CLEAR_ALL", static_cast<std::int64_t>(CLAP_PARAM_CLEAR_ALL), 0x1},
    {"CLAP_PARAM_CLEAR_AUTOMATIONS", static_cast<std::int64_t>(CLAP_PARAM_CLEAR_AUTOMATIONS), 0x2},
    {"CLAP_PARAM_CLEAR_MODULATIONS", static_cast<std::int64_t>(CLAP_PARAM_CLEAR_MODULATIONS), 0x4},
    {"CLAP_AUDIO_PORT_IS_MAIN", static_cast<std::int64_t>(CLAP_AUDIO_PORT_IS_MAIN), 0x1},
    {"CLAP_AUDIO_PORT_SUPPORTS_64BITS", static_cast<std::int64_t>(CLAP_AUDIO_PORT_SUPPORTS_64BITS), 0x2},
    {"CLAP_AUDIO_PORT_PREFERS_64BITS", static_cast<std::int64_t>(CLAP_AUDIO_PORT_PREFERS_64BITS), 0x4},
    {"CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE",
     static_cast<std::int64_t>(CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE), 0x8},
    {"CLAP_EVENT_IS_LIVE", static_cast<std::int64_t>(CLAP_EVENT_IS_LIVE), 0x1},
    {"CLAP_EVENT_DONT_RECORD", static_cast<std::int64_t>(CLAP_EVENT_DONT_RECORD), 0x2},
};

TEST(ClapAbi, NumberConstantsHaveTheStandardValues) {
    for (const NumberConstant& row : NUMBERS) EXPECT_EQ(row.value, row.expected) << row.name;
}

} // namespace
