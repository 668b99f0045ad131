#include "loom/clap/extensions.hpp"

#include "loom/clap/descriptor.hpp"
#include "loom/clap/wrapper.hpp"
#include "loom/core/state.hpp"
#include "param_id.hpp"
#include "param_text.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace loom::clap {

namespace {

// Bytes asked of a state stream per read.
constexpr std::uint64_t READ_CHUNK = 4096;

// Copies as much of `text` as fits in `capacity` bytes with its terminator, ending between
// two characters. `capacity` is at least 1.
void copy_text(char* dest, std::size_t capacity, std::string_view text) noexcept {
    const std::string_view fit = utf8_prefix(text, capacity - 1);
    if (!fit.empty()) std::memcpy(dest, fit.data(), fit.size()); // an empty view may have no address
    dest[fit.size()] = '\0';
}

clap_param_info_flags flags_of(const ParamInfo& info) noexcept {
    switch (info.kind) {
    case ParamKind::Float:
        return CLAP_PARAM_IS_AUTOMATABLE;
    case ParamKind::Choice:
        return CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_ENUM;
    case ParamKind::Toggle:
        return CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_AUTOMATABLE | (info.id == "bypass" ? CLAP_PARAM_IS_BYPASS : 0);
    case ParamKind::ReadOnly:
        return CLAP_PARAM_IS_READONLY;
    }
    return 0;
}

// --- clap.params ---

std::uint32_t params_count(const clap_plugin_t* plugin) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr) return 0;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < w->param_set.size(); ++i)
        count += w->param_set.at(i).info().per_channel ? w->channel_count : 1;
    return count;
}

bool params_get_info(const clap_plugin_t* plugin, std::uint32_t index, clap_param_info_t* info) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || info == nullptr) return false;

    // Walk the set, each per-channel parameter expanded in place, channel 0 first.
    std::uint32_t remaining = index;
    for (std::size_t i = 0; i < w->param_set.size(); ++i) {
        const ParamInfo& p = w->param_set.at(i).info();
        const std::uint32_t entries = p.per_channel ? w->channel_count : 1;
        if (remaining >= entries) {
            remaining -= entries;
            continue;
        }
        const std::uint32_t channel = remaining;
        *info = clap_param_info_t{};
        info->id = encode_id(i, channel);
        info->flags = flags_of(p);
        info->cookie = nullptr;
        if (p.per_channel) {
            const std::string number = std::to_string(channel + 1);
            copy_text(info->name, sizeof info->name, std::string(p.name) + ' ' + number);
            copy_text(info->module, sizeof info->module,
                      p.group.empty() ? "Channel " + number : std::string(p.group) + "/Channel " + number);
        } else {
            copy_text(info->name, sizeof info->name, p.name);
            copy_text(info->module, sizeof info->module, p.group);
        }
        info->min_value = static_cast<double>(p.min);
        info->max_value = static_cast<double>(p.max);
        info->default_value = static_cast<double>(p.default_value);
        return true;
    }
    return false;
}

bool params_get_value(const clap_plugin_t* plugin, clap_id id, double* out) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || out == nullptr) return false;
    const std::optional<ParamAddress> address = decode_id(w->param_set, w->channel_count, id);
    if (!address) return false;
    const Param& param = w->param_set.at(address->index);
    *out = static_cast<double>(param.info().per_channel ? param.get_ch(address->channel) : param.get());
    return true;
}

bool params_value_to_text(const clap_plugin_t* plugin, clap_id id, double value, char* buffer,
                          std::uint32_t size) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || buffer == nullptr) return false;
    const std::optional<ParamAddress> address = decode_id(w->param_set, w->channel_count, id);
    if (!address) return false;
    if (size == 0) return true;
    copy_text(buffer, size, w->param_set.at(address->index).info().display(static_cast<float>(value)));
    return true;
}

bool params_text_to_value(const clap_plugin_t* plugin, clap_id id, const char* text, double* out) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || text == nullptr || out == nullptr) return false;
    const std::optional<ParamAddress> address = decode_id(w->param_set, w->channel_count, id);
    if (!address) return false;
    const std::optional<double> value = text_to_value(w->param_set.at(address->index).info(), text);
    if (!value) return false;
    *out = *value;
    return true;
}

void params_flush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                  const clap_output_events_t* /*out*/) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || !w->apply_events(in)) return;
    // While active this runs on the audio thread: the main-thread callback announces it.
    if (w->active.load(std::memory_order_acquire)) {
        w->params_dirty.store(true, std::memory_order_release);
        w->request_callback();
    } else {
        w->param_set.notify();
    }
}

// --- clap.state ---

bool state_save(const clap_plugin_t* plugin, const clap_ostream_t* stream) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || stream == nullptr || stream->write == nullptr) return false;
    const std::vector<std::uint8_t> bytes = state::save(w->param_set);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::uint64_t remaining = bytes.size() - at;
        const std::int64_t written = stream->write(stream, bytes.data() + at, remaining);
        // A stream that claims more than it was given broke its contract: nothing it says
        // about what it kept can be trusted.
        if (written <= 0 || static_cast<std::uint64_t>(written) > remaining) return false;
        at += static_cast<std::size_t>(written);
    }
    return true;
}

bool state_load(const clap_plugin_t* plugin, const clap_istream_t* stream) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || stream == nullptr || stream->read == nullptr) return false;
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[READ_CHUNK];
    for (;;) {
        const std::int64_t got = stream->read(stream, chunk, READ_CHUNK);
        if (got == 0) break;
        // A read error, or a stream that claims more than it was asked for: refuse the load.
        if (got < 0 || static_cast<std::uint64_t>(got) > READ_CHUNK) return false;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (!state::load(w->param_set, bytes)) return false;
    if (w->host_params != nullptr && w->host_params->rescan != nullptr)
        w->host_params->rescan(w->host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

// --- clap.latency, clap.tail ---

std::uint32_t latency_get(const clap_plugin_t* plugin) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    return w == nullptr ? 0 : w->current_latency.load(std::memory_order_acquire);
}

std::uint32_t tail_get(const clap_plugin_t* plugin) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    return w == nullptr ? 0 : w->current_tail.load(std::memory_order_relaxed);
}

// --- clap.audio-ports ---

std::uint32_t ports_count(const clap_plugin_t* /*plugin*/, bool /*is_input*/) noexcept { return 1; }

bool ports_get(const clap_plugin_t* plugin, std::uint32_t index, bool /*is_input*/,
               clap_audio_port_info_t* info) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || index != 0 || info == nullptr) return false;
    *info = clap_audio_port_info_t{};
    info->id = 0;
    copy_text(info->name, sizeof info->name, "Main");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = w->channel_count;
    info->port_type = w->channel_count == 1 ? CLAP_PORT_MONO : (w->channel_count == 2 ? CLAP_PORT_STEREO : nullptr);
    info->in_place_pair = 0; // input and output main ports may share buffers
    return true;
}

// --- clap.configurable-audio-ports ---

// Whether an inactive instance takes the configuration: every request on port 0, all for
// the same channel count, within the instance's range.
bool accepts(const Wrapper& w, const clap_audio_port_configuration_request_t* requests,
             std::uint32_t count) noexcept {
    if (requests == nullptr || count == 0) return false;
    if (w.active.load(std::memory_order_acquire)) return false;
    const std::uint32_t channels = requests[0].channel_count;
    if (channels < w.min_channels || channels > w.max_channels) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        if (requests[i].port_index != 0 || requests[i].channel_count != channels) return false;
    return true;
}

bool configurable_can_apply(const clap_plugin_t* plugin, const clap_audio_port_configuration_request_t* requests,
                            std::uint32_t count) noexcept {
    const Wrapper* w = Wrapper::from(plugin);
    return w != nullptr && accepts(*w, requests, count);
}

bool configurable_apply(const clap_plugin_t* plugin, const clap_audio_port_configuration_request_t* requests,
                        std::uint32_t count) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || !accepts(*w, requests, count)) return false;
    w->channel_count = requests[0].channel_count;
    w->param_set.set_channels(w->channel_count);
    if (w->host_params != nullptr && w->host_params->rescan != nullptr)
        w->host_params->rescan(w->host, CLAP_PARAM_RESCAN_ALL);
    return true;
}

} // namespace

const clap_plugin_params_t PARAMS = {params_count,         params_get_info,      params_get_value,
                                     params_value_to_text, params_text_to_value, params_flush};
const clap_plugin_state_t STATE = {state_save, state_load};
const clap_plugin_latency_t LATENCY = {latency_get};
const clap_plugin_tail_t TAIL = {tail_get};
const clap_plugin_audio_ports_t AUDIO_PORTS = {ports_count, ports_get};
const clap_plugin_configurable_audio_ports_t CONFIGURABLE_PORTS = {configurable_can_apply, configurable_apply};

const void* extension(const char* id) noexcept {
    if (is_id(id, CLAP_EXT_STATE)) return &STATE;
    if (is_id(id, CLAP_EXT_PARAMS)) return &PARAMS;
    if (is_id(id, CLAP_EXT_LATENCY)) return &LATENCY;
    if (is_id(id, CLAP_EXT_AUDIO_PORTS)) return &AUDIO_PORTS;
    if (is_id(id, CLAP_EXT_CONFIGURABLE_AUDIO_PORTS) || is_id(id, CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT))
        return &CONFIGURABLE_PORTS;
    if (is_id(id, CLAP_EXT_TAIL)) return &TAIL;
    return nullptr;
}

} // namespace loom::clap
