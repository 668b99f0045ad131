#include "loom/tool/clap_host.hpp"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace loom::tool {

namespace {

constexpr lc::clap_version_t HOST_VERSION = lc::CLAP_VERSION;

HostRequests& requests_of(const lc::clap_host_t* host) { return *static_cast<HostRequests*>(host->host_data); }

void host_rescan(const lc::clap_host_t* host, lc::clap_param_rescan_flags) { ++requests_of(host).rescans; }
void host_clear(const lc::clap_host_t*, lc::clap_id, lc::clap_param_clear_flags) {}
void host_request_flush(const lc::clap_host_t* host) { requests_of(host).process = true; }
constexpr lc::clap_host_params_t HOST_PARAMS = {host_rescan, host_clear, host_request_flush};

void host_latency_changed(const lc::clap_host_t* host) { ++requests_of(host).latency_changes; }
constexpr lc::clap_host_latency_t HOST_LATENCY = {host_latency_changed};

const void* host_get_extension(const lc::clap_host_t*, const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, lc::CLAP_EXT_PARAMS) == 0) return &HOST_PARAMS;
    if (std::strcmp(id, lc::CLAP_EXT_LATENCY) == 0) return &HOST_LATENCY;
    return nullptr;
}
void host_request_restart(const lc::clap_host_t* host) { requests_of(host).restart = true; }
void host_request_process(const lc::clap_host_t* host) { requests_of(host).process = true; }
void host_request_callback(const lc::clap_host_t* host) { requests_of(host).callback = true; }

// An input event list over a vector of value events.
struct EventList {
    std::vector<lc::clap_event_param_value_t> events;
    lc::clap_input_events_t list{};

    explicit EventList(std::span<const ParamChange> changes) {
        events.reserve(changes.size());
        for (const ParamChange& c : changes) {
            lc::clap_event_param_value_t& e = events.emplace_back();
            e.header = {.size = sizeof(lc::clap_event_param_value_t),
                        .time = 0,
                        .space_id = lc::CLAP_CORE_EVENT_SPACE_ID,
                        .type = lc::CLAP_EVENT_PARAM_VALUE,
                        .flags = 0};
            e.param_id = c.id;
            e.cookie = nullptr;
            e.note_id = -1;
            e.port_index = -1;
            e.channel = -1;
            e.key = -1;
            e.value = c.value;
        }
        list = {.ctx = this, .size = size, .get = get};
    }
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    static std::uint32_t size(const lc::clap_input_events_t* l) {
        return static_cast<std::uint32_t>(static_cast<const EventList*>(l->ctx)->events.size());
    }
    static const lc::clap_event_header_t* get(const lc::clap_input_events_t* l, std::uint32_t index) {
        const auto& events = static_cast<const EventList*>(l->ctx)->events;
        return index < events.size() ? &events[index].header : nullptr;
    }
};

// Output events are accepted and dropped: the tool records nothing the plug-in sends.
bool drop_event(const lc::clap_output_events_t*, const lc::clap_event_header_t*) { return true; }
constexpr lc::clap_output_events_t NO_OUTPUT_EVENTS = {.ctx = nullptr, .try_push = drop_event};

// The dlerror text without the path it repeats at its start.
std::string loader_error(const std::string& path) {
    const char* raw = dlerror();
    std::string text = raw == nullptr ? "unknown loader error" : raw;
    for (const std::string& prefix : {path + ": ", "./" + path + ": "})
        if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
    return text;
}

std::string version_text(const lc::clap_version_t& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

std::int64_t count_bytes(const lc::clap_ostream_t* stream, const void*, std::uint64_t size) {
    *static_cast<std::size_t*>(stream->ctx) += static_cast<std::size_t>(size);
    return static_cast<std::int64_t>(size);
}

} // namespace

std::string bounded_text(const char* text, std::size_t capacity) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, capacity));
}

std::span<const char* const> known_extensions() noexcept {
    static constexpr const char* IDS[] = {
        "clap.params",          "clap.state",          "clap.latency",          "clap.tail",
        "clap.audio-ports",     "clap.configurable-audio-ports/1", "clap.configurable-audio-ports.draft1",
        "clap.audio-ports-config", "clap.note-ports", "clap.note-name",         "clap.gui",
        "clap.render",          "clap.thread-pool",    "clap.timer-support",    "clap.posix-fd-support",
        "clap.voice-info",      "clap.state-context/2", "clap.remote-controls/2", "clap.param-indication/4",
        "clap.preset-load/2",   "clap.context-menu/1", "clap.track-info/1",     "clap.surround/4",
        "clap.ambisonic/3",     "clap.audio-ports-activation/2",
    };
    return IDS;
}

Result<std::unique_ptr<ClapModule>> ClapModule::load(const std::string& path) {
    const std::string what = "cannot load '" + path + "': ";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return fail(what + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return fail(what + std::strerror(EISDIR));

    std::unique_ptr<ClapModule> m(new ClapModule());
    m->file = path;
    // A name without a slash would be looked for on the library path instead of here.
    const std::string local = path.find('/') == std::string::npos ? "./" + path : path;
    m->library = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m->library == nullptr) return fail(what + loader_error(path));

    const auto* entry = static_cast<const lc::clap_plugin_entry_t*>(dlsym(m->library, "clap_entry"));
    if (entry == nullptr) return fail("'" + path + "' is not a CLAP plug-in: it has no clap_entry");
    if (entry->clap_version.major < 1)
        return fail("'" + path + "' is not a CLAP 1.x plug-in: it declares CLAP " + version_text(entry->clap_version));
    if (entry->init == nullptr || entry->deinit == nullptr || entry->get_factory == nullptr)
        return fail("'" + path + "' has an incomplete clap_entry");
    m->entry_record = entry;

    char absolute[PATH_MAX];
    const char* full = ::realpath(path.c_str(), absolute) != nullptr ? absolute : path.c_str();
    if (!entry->init(full)) return fail("'" + path + "' refused to start: its clap_entry init returned false");
    m->initialised = true;

    const auto* factory = static_cast<const lc::clap_plugin_factory_t*>(entry->get_factory(lc::CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr) return fail("'" + path + "' offers no plug-in factory");
    if (factory->get_plugin_count == nullptr || factory->get_plugin_descriptor == nullptr ||
        factory->create_plugin == nullptr)
        return fail("'" + path + "' has an incomplete plug-in factory");
    m->factory_record = factory;
    const std::uint32_t count = factory->get_plugin_count(factory);
    if (count == 0) return fail("'" + path + "' offers no plug-ins");
    for (std::uint32_t i = 0; i < count; ++i) {
        const lc::clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
        if (d == nullptr || d->id == nullptr)
            return fail("'" + path + "' gives no descriptor for its plug-in " + std::to_string(i));
        m->listed.push_back(d);
    }
    return m;
}

ClapModule::~ClapModule() {
    if (initialised) entry_record->deinit();
    // The library itself stays mapped until the tool exits, as hosts commonly keep modules:
    // a module may keep memory reachable only from its statics after deinit (Kiln keeps its
    // descriptor so), which unloading would turn into a leak.
}

Result<std::unique_ptr<ClapPlugin>> ClapPlugin::create(const ClapModule& module, std::size_t index) {
    if (index >= module.descriptors().size()) return fail("the module has no plug-in " + std::to_string(index));
    const lc::clap_plugin_descriptor_t* d = module.descriptors()[index];
    const std::string name = "'" + std::string(d->id) + "'";

    std::unique_ptr<ClapPlugin> p(new ClapPlugin());
    p->host = lc::clap_host_t{.clap_version = HOST_VERSION,
                              .host_data = &p->asked,
                              .name = "loom",
                              .vendor = "Velloran Labs",
                              .url = "",
                              .version = "0.1.0",
                              .get_extension = host_get_extension,
                              .request_restart = host_request_restart,
                              .request_process = host_request_process,
                              .request_callback = host_request_callback};
    const lc::clap_plugin_factory_t& factory = module.factory();
    const lc::clap_plugin_t* plugin = factory.create_plugin(&factory, &p->host, d->id);
    if (plugin == nullptr) return fail("the factory of '" + module.path() + "' refused to create " + name);
    if (plugin->init == nullptr || plugin->destroy == nullptr || plugin->activate == nullptr ||
        plugin->deactivate == nullptr || plugin->start_processing == nullptr || plugin->stop_processing == nullptr ||
        plugin->reset == nullptr || plugin->process == nullptr || plugin->get_extension == nullptr ||
        plugin->on_main_thread == nullptr) {
        if (plugin->destroy != nullptr) plugin->destroy(plugin);
        return fail(name + " is incomplete: its clap_plugin lacks a function");
    }
    if (!plugin->init(plugin)) {
        plugin->destroy(plugin);
        return fail(name + " refused to initialise");
    }
    p->plugin = plugin;
    p->descriptor_record = plugin->desc != nullptr ? plugin->desc : d;
    p->params_ext = p->extension<lc::clap_plugin_params_t>(lc::CLAP_EXT_PARAMS);
    p->ports_ext = p->extension<lc::clap_plugin_audio_ports_t>(lc::CLAP_EXT_AUDIO_PORTS);
    p->idle();
    return p;
}

ClapPlugin::~ClapPlugin() {
    if (plugin == nullptr) return;
    deactivate();
    plugin->destroy(plugin);
}

template <class T>
const T* ClapPlugin::extension(const char* id) const noexcept {
    return static_cast<const T*>(plugin->get_extension(plugin, id));
}

bool ClapPlugin::offers(const char* id) const noexcept { return plugin->get_extension(plugin, id) != nullptr; }

std::vector<ClapParam> ClapPlugin::params() const {
    std::vector<ClapParam> out;
    if (params_ext == nullptr || params_ext->count == nullptr || params_ext->get_info == nullptr) return out;
    const std::uint32_t count = params_ext->count(plugin);
    for (std::uint32_t i = 0; i < count; ++i) {
        lc::clap_param_info_t info{};
        if (!params_ext->get_info(plugin, i, &info)) continue;
        out.push_back({.id = info.id,
                       .name = bounded_text(info.name, sizeof info.name),
                       .module = bounded_text(info.module, sizeof info.module),
                       .min = info.min_value,
                       .max = info.max_value,
                       .default_value = info.default_value,
                       .flags = info.flags});
    }
    return out;
}

std::optional<std::string> ClapPlugin::value_to_text(lc::clap_id id, double value) const {
    if (params_ext == nullptr || params_ext->value_to_text == nullptr) return std::nullopt;
    char buffer[256] = {};
    if (!params_ext->value_to_text(plugin, id, value, buffer, sizeof buffer)) return std::nullopt;
    return bounded_text(buffer, sizeof buffer);
}

std::optional<double> ClapPlugin::text_to_value(lc::clap_id id, const std::string& text) const {
    if (params_ext == nullptr || params_ext->text_to_value == nullptr) return std::nullopt;
    double value = 0.0;
    if (!params_ext->text_to_value(plugin, id, text.c_str(), &value)) return std::nullopt;
    return value;
}

std::optional<double> ClapPlugin::value(lc::clap_id id) const {
    if (params_ext == nullptr || params_ext->get_value == nullptr) return std::nullopt;
    double value = 0.0;
    if (!params_ext->get_value(plugin, id, &value)) return std::nullopt;
    return value;
}

std::vector<ClapPort> ClapPlugin::ports(bool input) const {
    std::vector<ClapPort> out;
    if (ports_ext == nullptr || ports_ext->count == nullptr || ports_ext->get == nullptr) return out;
    const std::uint32_t count = ports_ext->count(plugin, input);
    for (std::uint32_t i = 0; i < count; ++i) {
        lc::clap_audio_port_info_t info{};
        if (!ports_ext->get(plugin, i, input, &info)) continue;
        out.push_back({.id = info.id,
                       .name = bounded_text(info.name, sizeof info.name),
                       .channels = info.channel_count,
                       .type = info.port_type == nullptr ? std::string() : std::string(info.port_type),
                       .flags = info.flags});
    }
    return out;
}

Result<void> ClapPlugin::set_channels(std::uint32_t channels) {
    const auto main_matches = [&](bool input) {
        const std::vector<ClapPort> p = ports(input);
        return !p.empty() && p[0].channels == channels;
    };
    const std::string refused = "the plug-in cannot process " + std::to_string(channels) +
                                (channels == 1 ? " channel" : " channels");
    if (main_matches(true) && main_matches(false)) return {};
    if (ports(true).empty()) return fail("the plug-in takes no audio input");
    if (ports(false).empty()) return fail("the plug-in gives no audio output");
    if (active) return fail(refused + " while it is active");

    const auto* configurable =
        extension<lc::clap_plugin_configurable_audio_ports_t>(lc::CLAP_EXT_CONFIGURABLE_AUDIO_PORTS);
    if (configurable == nullptr)
        configurable = extension<lc::clap_plugin_configurable_audio_ports_t>(lc::CLAP_EXT_CONFIGURABLE_AUDIO_PORTS_COMPAT);
    if (configurable == nullptr || configurable->can_apply_configuration == nullptr ||
        configurable->apply_configuration == nullptr)
        return fail(refused + ": its main ports have " + std::to_string(ports(true)[0].channels) +
                    " and it offers no configurable audio ports");
    const lc::clap_audio_port_configuration_request_t requests[] = {
        {.is_input = true, .port_index = 0, .channel_count = channels, .port_type = nullptr, .port_details = nullptr},
        {.is_input = false, .port_index = 0, .channel_count = channels, .port_type = nullptr, .port_details = nullptr}};
    if (!configurable->can_apply_configuration(plugin, requests, 2) ||
        !configurable->apply_configuration(plugin, requests, 2))
        return fail(refused);
    idle();
    if (!main_matches(true) || !main_matches(false)) return fail(refused + ": its ports did not follow the request");
    return {};
}

Result<void> ClapPlugin::activate(double sample_rate, std::uint32_t max_frames) {
    if (active) return {};
    if (!plugin->activate(plugin, sample_rate, 1, max_frames))
        return fail("the plug-in refused to activate at " + std::to_string(static_cast<long long>(sample_rate)) + " Hz");
    active = true;
    if (!plugin->start_processing(plugin)) {
        deactivate();
        return fail("the plug-in refused to start processing");
    }
    processing = true;
    idle();
    return {};
}

void ClapPlugin::deactivate() noexcept {
    if (processing) plugin->stop_processing(plugin);
    processing = false;
    if (active) plugin->deactivate(plugin);
    active = false;
}

Result<void> ClapPlugin::process(std::span<float* const> in, std::span<float* const> out, std::uint32_t frames,
                                 std::span<const ParamChange> changes, std::int64_t steady_time) {
    EventList events(changes);
    const lc::clap_audio_buffer_t input = {.data32 = const_cast<float**>(in.data()),
                                           .data64 = nullptr,
                                           .channel_count = static_cast<std::uint32_t>(in.size()),
                                           .latency = 0,
                                           .constant_mask = 0};
    lc::clap_audio_buffer_t output = {.data32 = const_cast<float**>(out.data()),
                                      .data64 = nullptr,
                                      .channel_count = static_cast<std::uint32_t>(out.size()),
                                      .latency = 0,
                                      .constant_mask = 0};
    const lc::clap_process_t process = {.steady_time = steady_time,
                                        .frames_count = frames,
                                        .transport = nullptr,
                                        .audio_inputs = in.empty() ? nullptr : &input,
                                        .audio_outputs = &output,
                                        .audio_inputs_count = in.empty() ? 0u : 1u,
                                        .audio_outputs_count = 1,
                                        .in_events = &events.list,
                                        .out_events = &NO_OUTPUT_EVENTS};
    const lc::clap_process_status status = plugin->process(plugin, &process);
    if (status == lc::CLAP_PROCESS_ERROR)
        return fail("the plug-in reported an error while processing frame " + std::to_string(steady_time));
    return {};
}

void ClapPlugin::idle() {
    if (!asked.callback) return;
    asked.callback = false;
    plugin->on_main_thread(plugin);
}

std::uint32_t ClapPlugin::latency() const {
    const auto* ext = extension<lc::clap_plugin_latency_t>(lc::CLAP_EXT_LATENCY);
    return ext != nullptr && ext->get != nullptr ? ext->get(plugin) : 0;
}

std::optional<std::uint32_t> ClapPlugin::tail() const {
    const auto* ext = extension<lc::clap_plugin_tail_t>(lc::CLAP_EXT_TAIL);
    if (ext == nullptr || ext->get == nullptr) return std::nullopt;
    return ext->get(plugin);
}

std::optional<std::size_t> ClapPlugin::state_size() const {
    const auto* ext = extension<lc::clap_plugin_state_t>(lc::CLAP_EXT_STATE);
    if (ext == nullptr || ext->save == nullptr) return std::nullopt;
    std::size_t bytes = 0;
    const lc::clap_ostream_t stream = {.ctx = &bytes, .write = count_bytes};
    if (!ext->save(plugin, &stream)) return std::nullopt;
    return bytes;
}

} // namespace loom::tool
