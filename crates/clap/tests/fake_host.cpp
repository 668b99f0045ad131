#include "fake_host.hpp"

#include "loom/core/fatal.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace loom::test {

namespace {

FakeHost& host_of(const lc::clap_host_t* host) { return *static_cast<FakeHost*>(host->host_data); }

void rescan(const lc::clap_host_t* host, lc::clap_param_rescan_flags flags) {
    host_of(host).rescans.push_back(flags);
}
void clear(const lc::clap_host_t*, lc::clap_id, lc::clap_param_clear_flags) {}
void request_flush(const lc::clap_host_t*) {}
constexpr lc::clap_host_params_t HOST_PARAMS = {rescan, clear, request_flush};

void latency_changed(const lc::clap_host_t* host) { ++host_of(host).latency_changes; }
constexpr lc::clap_host_latency_t HOST_LATENCY = {latency_changed};

const void* get_extension(const lc::clap_host_t* host, const char* id) {
    FakeHost& h = host_of(host);
    h.extension_queries.emplace_back(id == nullptr ? "(null)" : id);
    if (id != nullptr && std::strcmp(id, lc::CLAP_EXT_PARAMS) == 0 && h.offer_params) return &HOST_PARAMS;
    if (id != nullptr && std::strcmp(id, lc::CLAP_EXT_LATENCY) == 0 && h.offer_latency) return &HOST_LATENCY;
    return nullptr;
}
void request_restart(const lc::clap_host_t*) {}
void request_process(const lc::clap_host_t*) {}
void request_callback(const lc::clap_host_t* host) { ++host_of(host).callback_requests; }

std::uint32_t list_size(const lc::clap_input_events_t* list) {
    return static_cast<std::uint32_t>(static_cast<const std::vector<const lc::clap_event_header_t*>*>(list->ctx)->size());
}
const lc::clap_event_header_t* list_get(const lc::clap_input_events_t* list, std::uint32_t index) {
    return (*static_cast<const std::vector<const lc::clap_event_header_t*>*>(list->ctx))[index];
}

std::int64_t stream_write(const lc::clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
    OutStream& s = *static_cast<OutStream*>(stream->ctx);
    ++s.calls;
    std::uint64_t n = std::min(size, s.per_call);
    if (s.fail_after) {
        if (s.bytes.size() >= *s.fail_after) return s.fail_result;
        n = std::min<std::uint64_t>(n, *s.fail_after - s.bytes.size());
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    s.bytes.insert(s.bytes.end(), bytes, bytes + n);
    return static_cast<std::int64_t>(n) + s.extra;
}

std::int64_t stream_read(const lc::clap_istream_t* stream, void* buffer, std::uint64_t size) {
    InStream& s = *static_cast<InStream*>(stream->ctx);
    const int call = static_cast<int>(s.asked.size());
    s.asked.push_back(size);
    if (s.fail_at_call && *s.fail_at_call == call) return -1;
    const std::uint64_t n = std::min<std::uint64_t>(size, s.data.size() - s.at);
    if (n > 0) std::memcpy(buffer, s.data.data() + s.at, n);
    s.at += n;
    return n == 0 ? 0 : static_cast<std::int64_t>(n) + s.extra;
}

} // namespace

FakeHost::FakeHost(std::uint32_t major) {
    host = lc::clap_host_t{.clap_version = {major, 2, 10},
                           .host_data = this,
                           .name = "fake host",
                           .vendor = "loom",
                           .url = "",
                           .version = "1",
                           .get_extension = get_extension,
                           .request_restart = request_restart,
                           .request_process = request_process,
                           .request_callback = request_callback};
}

EventList::EventList() { events = {.ctx = &order, .size = list_size, .get = list_get}; }

lc::clap_event_param_value_t& EventList::value(lc::clap_id id, double v) {
    lc::clap_event_param_value_t& e = values.emplace_back();
    e.header = {.size = sizeof(lc::clap_event_param_value_t),
                .time = 0,
                .space_id = lc::CLAP_CORE_EVENT_SPACE_ID,
                .type = lc::CLAP_EVENT_PARAM_VALUE,
                .flags = 0};
    e.param_id = id;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = v;
    order.push_back(&e.header);
    return e;
}

void EventList::null() { order.push_back(nullptr); }

OutStream::OutStream() { stream = {.ctx = this, .write = stream_write}; }

InStream::InStream(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {
    stream = {.ctx = this, .read = stream_read};
}

AudioBlock::AudioBlock(std::vector<std::vector<float>> input_channels, std::uint32_t out_channels,
                       std::uint32_t frames, bool in_place)
    : in(std::move(input_channels)), out(out_channels, std::vector<float>(frames, 123.0f)) {
    for (auto& c : in) in_ptrs.push_back(c.data());
    if (in_place) {
        for (std::size_t k = 0; k < out.size() && k < in.size(); ++k) out[k] = in[k];
        for (std::size_t k = 0; k < out.size(); ++k) out_ptrs.push_back(k < in.size() ? in[k].data() : out[k].data());
    } else {
        for (auto& c : out) out_ptrs.push_back(c.data());
    }
    input = {.data32 = in_ptrs.data(),
             .data64 = nullptr,
             .channel_count = static_cast<std::uint32_t>(in_ptrs.size()),
             .latency = 0,
             .constant_mask = 0};
    output = {.data32 = out_ptrs.data(), .data64 = nullptr, .channel_count = out_channels, .latency = 0, .constant_mask = 0};
    process = {.steady_time = -1,
               .frames_count = frames,
               .transport = nullptr,
               .audio_inputs = in.empty() ? nullptr : &input,
               .audio_outputs = &output,
               .audio_inputs_count = in.empty() ? 0u : 1u,
               .audio_outputs_count = 1,
               .in_events = nullptr,
               .out_events = nullptr};
}

const lc::clap_plugin_entry_t& module_entry(const char* path) {
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) fatal(std::string("cannot load the plug-in module: ") + dlerror());
    const auto* entry = static_cast<const lc::clap_plugin_entry_t*>(dlsym(module, "clap_entry"));
    if (entry == nullptr) fatal(std::string(path) + " has no clap_entry");
    return *entry;
}

const lc::clap_plugin_factory_t& module_factory(const char* path) {
    const auto* factory =
        static_cast<const lc::clap_plugin_factory_t*>(module_entry(path).get_factory(lc::CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr) fatal(std::string(path) + " has no plug-in factory");
    return *factory;
}

ModuleInstance::ModuleInstance(FakeHost& host, const char* path, const char* id) {
    const lc::clap_plugin_factory_t& factory = module_factory(path);
    instance = factory.create_plugin(&factory, &host.host, id);
    if (instance == nullptr || !instance->init(instance)) fatal(std::string("cannot create ") + id);
}

ModuleInstance::~ModuleInstance() { instance->destroy(instance); }

namespace {
template <class T>
const T& extension_of(const lc::clap_plugin_t* plugin, const char* id) {
    const auto* table = static_cast<const T*>(plugin->get_extension(plugin, id));
    if (table == nullptr) fatal(std::string("the plug-in lacks ") + id);
    return *table;
}
} // namespace

const lc::clap_plugin_params_t& ModuleInstance::params() const {
    return extension_of<lc::clap_plugin_params_t>(instance, lc::CLAP_EXT_PARAMS);
}
const lc::clap_plugin_state_t& ModuleInstance::state() const {
    return extension_of<lc::clap_plugin_state_t>(instance, lc::CLAP_EXT_STATE);
}
const lc::clap_plugin_latency_t& ModuleInstance::latency() const {
    return extension_of<lc::clap_plugin_latency_t>(instance, lc::CLAP_EXT_LATENCY);
}
const lc::clap_plugin_tail_t& ModuleInstance::tail() const {
    return extension_of<lc::clap_plugin_tail_t>(instance, lc::CLAP_EXT_TAIL);
}
const lc::clap_plugin_audio_ports_t& ModuleInstance::ports() const {
    return extension_of<lc::clap_plugin_audio_ports_t>(instance, lc::CLAP_EXT_AUDIO_PORTS);
}
const lc::clap_plugin_configurable_audio_ports_t& ModuleInstance::configurable() const {
    return extension_of<lc::clap_plugin_configurable_audio_ports_t>(instance, lc::CLAP_EXT_CONFIGURABLE_AUDIO_PORTS);
}

bool ModuleInstance::activate(double sample_rate, std::uint32_t max_frames) const {
    return instance->activate(instance, sample_rate, 1, max_frames);
}

bool ModuleInstance::configure(std::uint32_t channels) const {
    const lc::clap_audio_port_configuration_request_t requests[] = {
        {.is_input = true, .port_index = 0, .channel_count = channels, .port_type = nullptr, .port_details = nullptr},
        {.is_input = false, .port_index = 0, .channel_count = channels, .port_type = nullptr, .port_details = nullptr}};
    return configurable().apply_configuration(instance, requests, 2);
}

double ModuleInstance::value(lc::clap_id id) const {
    double v = -12345.0;
    if (!params().get_value(instance, id, &v)) fatal("no value for parameter id " + std::to_string(id));
    return v;
}

lc::clap_process_status ModuleInstance::process(const lc::clap_process_t& p) const { return instance->process(instance, &p); }

} // namespace loom::test
