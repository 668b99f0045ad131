#pragma once
// The extensions every CLAP instance offers: static tables of the standard's layout whose
// functions find their `Wrapper` through `plugin_data`. Parameters expand a per-channel
// parameter into one host parameter per channel; state carries the parameter state bytes.

#include "loom/clap/abi.hpp"

namespace loom::clap {

extern const clap_plugin_params_t PARAMS;                                  // "clap.params"
extern const clap_plugin_state_t STATE;                                    // "clap.state"
extern const clap_plugin_latency_t LATENCY;                                // "clap.latency"
extern const clap_plugin_tail_t TAIL;                                      // "clap.tail"
extern const clap_plugin_audio_ports_t AUDIO_PORTS;                        // "clap.audio-ports"
extern const clap_plugin_configurable_audio_ports_t CONFIGURABLE_PORTS;    // "clap.configurable-audio-ports/1"

// [any-thread] The table for an extension id (also the configurable audio ports under their
// draft id), compared as whole NUL-terminated texts; null for any other id and for null.
const void* extension(const char* id) noexcept;

} // namespace loom::clap
