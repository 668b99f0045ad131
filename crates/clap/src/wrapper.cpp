#include "loom/clap/wrapper.hpp"

#include "flush_to_zero.hpp"
#include "loom/clap/extensions.hpp"
#include "param_id.hpp"

#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

namespace loom::clap {

namespace {

// The channel range and starting count from the first input bus; 1..64 and 2 without one.
ChannelRange input_range(const Layout& layout) noexcept {
    return layout.inputs.empty() ? ChannelRange{1, MAX_CHANNELS} : channel_range(layout.inputs.front().channels);
}

// Sizes the plug-in for the stored sample rate, block size and channel count, then reads
// its latency and tail without announcing them: the host reads them after activation itself.
void prepare(Wrapper& w) {
    w.param_set.set_channels(w.channel_count);
    w.inner->prepare(PrepareContext{.max_frames = w.max_frames,
                                    .sample_rate = static_cast<float>(w.sample_rate),
                                    .channels = w.channel_count});
    const std::uint32_t latency = w.inner->latency();
    w.current_latency.store(latency, std::memory_order_relaxed);
    w.reported_latency.store(latency, std::memory_order_relaxed);
    w.current_tail.store(w.inner->tail(), std::memory_order_relaxed);
}

ProcessContext context_of(const clap_process_t& process, double sample_rate) noexcept {
    ProcessContext context;
    context.sample_rate = static_cast<float>(sample_rate);
    if (process.steady_time >= 0) context.position = static_cast<double>(process.steady_time);
    if (const clap_event_transport_t* t = process.transport; t != nullptr) {
        if ((t->flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE) != 0)
            context.position = static_cast<double>(t->song_pos_seconds) / static_cast<double>(CLAP_SECTIME_FACTOR) *
                               sample_rate;
        if ((t->flags & CLAP_TRANSPORT_HAS_TEMPO) != 0) context.tempo = t->tempo;
        context.playing = (t->flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
    }
    return context;
}

// The input channel `k` of the first input buffer, null when the host gives none.
const float* input_channel(const clap_process_t& process, std::uint32_t k) noexcept {
    if (process.audio_inputs == nullptr || process.audio_inputs_count == 0) return nullptr;
    const clap_audio_buffer_t& in = process.audio_inputs[0];
    if (k >= in.channel_count || in.data32 == nullptr) return nullptr;
    return in.data32[k];
}

clap_process_status process_block(Wrapper& w, const clap_process_t& process) noexcept {
    if (w.apply_events(process.in_events)) {
        w.params_dirty.store(true, std::memory_order_release);
        w.request_callback();
    }
    const std::uint32_t frames = process.frames_count;
    if (frames == 0) return CLAP_PROCESS_CONTINUE;
    if (process.audio_outputs == nullptr || process.audio_outputs_count == 0) return CLAP_PROCESS_CONTINUE;

    const clap_audio_buffer_t& out = process.audio_outputs[0];
    if (out.data32 == nullptr) return CLAP_PROCESS_ERROR; // 64-bit buffers are not supported
    if (out.channel_count < 1 || out.channel_count > MAX_CHANNELS || out.channel_count != w.channel_count)
        return CLAP_PROCESS_ERROR;

    // The plug-in works in place on the output: bring the input over, silence where none.
    w.buffers.clear();
    for (std::uint32_t k = 0; k < out.channel_count; ++k) {
        float* channel = out.data32[k];
        if (channel == nullptr) {
            w.buffers.clear();
            return CLAP_PROCESS_ERROR;
        }
        if (const float* in = input_channel(process, k); in != nullptr) {
            if (in != channel) std::memmove(channel, in, std::size_t{frames} * sizeof(float));
        } else {
            std::memset(channel, 0, std::size_t{frames} * sizeof(float));
        }
        w.buffers.emplace_back(channel, frames);
    }

    w.inner->process(Buffers(w.buffers.data(), w.buffers.size()), context_of(process, w.sample_rate));

    w.buffers.clear();
    w.current_tail.store(w.inner->tail(), std::memory_order_relaxed);
    const std::uint32_t latency = w.inner->latency();
    if (w.current_latency.exchange(latency, std::memory_order_acq_rel) != latency) w.request_callback();
    return CLAP_PROCESS_CONTINUE;
}

// The entry points of `clap_plugin`: recover the instance, check, forward.

bool plugin_init(const clap_plugin_t* plugin) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr) return false;
    if (w->host->get_extension != nullptr) {
        w->host_params = static_cast<const clap_host_params_t*>(w->host->get_extension(w->host, CLAP_EXT_PARAMS));
        w->host_latency = static_cast<const clap_host_latency_t*>(w->host->get_extension(w->host, CLAP_EXT_LATENCY));
    }
    return true;
}

void plugin_destroy(const clap_plugin_t* plugin) noexcept { delete Wrapper::from(plugin); }

bool plugin_activate(const clap_plugin_t* plugin, double sample_rate, std::uint32_t /*min_frames*/,
                     std::uint32_t max_frames) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || w->active.load(std::memory_order_acquire)) return false;
    if (!std::isfinite(sample_rate) || !(sample_rate > 0.0)) return false;
    w->sample_rate = sample_rate;
    w->max_frames = max_frames == 0 ? 1 : max_frames;
    prepare(*w);
    w->active.store(true, std::memory_order_release);
    return true;
}

void plugin_deactivate(const clap_plugin_t* plugin) noexcept {
    if (Wrapper* w = Wrapper::from(plugin); w != nullptr) w->active.store(false, std::memory_order_release);
}

bool plugin_start_processing(const clap_plugin_t* /*plugin*/) noexcept { return true; }

void plugin_stop_processing(const clap_plugin_t* /*plugin*/) noexcept {}

void plugin_reset(const clap_plugin_t* plugin) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || !w->active.load(std::memory_order_acquire)) return;
    prepare(*w);
}

clap_process_status plugin_process(const clap_plugin_t* plugin, const clap_process_t* process) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr || process == nullptr) return CLAP_PROCESS_ERROR;
    // Only a prepared plug-in may process, and only for the channel count it was prepared
    // for: the host may process only while the instance is active, and the channel count
    // changes only while it is not.
    if (!w->active.load(std::memory_order_acquire)) return CLAP_PROCESS_ERROR;
    const FlushToZero flush_to_zero;
    return process_block(*w, *process);
}

const void* plugin_get_extension(const clap_plugin_t* /*plugin*/, const char* id) noexcept { return extension(id); }

void plugin_on_main_thread(const clap_plugin_t* plugin) noexcept {
    Wrapper* w = Wrapper::from(plugin);
    if (w == nullptr) return;
    if (w->params_dirty.exchange(false, std::memory_order_acq_rel)) w->param_set.notify();
    const std::uint32_t latency = w->current_latency.load(std::memory_order_acquire);
    if (w->reported_latency.exchange(latency, std::memory_order_acq_rel) != latency && w->host_latency != nullptr &&
        w->host_latency->changed != nullptr)
        w->host_latency->changed(w->host);
}

} // namespace

Wrapper::Wrapper(const clap_plugin_descriptor_t* descriptor, const clap_host_t* h, std::unique_ptr<Inner> i,
                 ParamSet params)
    : host(h), inner(std::move(i)), param_set(std::move(params)) {
    plugin = clap_plugin_t{.desc = descriptor,
                           .plugin_data = this,
                           .init = plugin_init,
                           .destroy = plugin_destroy,
                           .activate = plugin_activate,
                           .deactivate = plugin_deactivate,
                           .start_processing = plugin_start_processing,
                           .stop_processing = plugin_stop_processing,
                           .reset = plugin_reset,
                           .process = plugin_process,
                           .get_extension = plugin_get_extension,
                           .on_main_thread = plugin_on_main_thread};
}

const clap_plugin_t* Wrapper::create(const clap_plugin_descriptor_t* descriptor, const clap_host_t* host,
                                     std::unique_ptr<Inner> inner) {
    const ChannelRange range = input_range(inner->layout());
    ParamSet params = inner->params();
    const std::uint32_t channels = default_channels(range);
    params.set_channels(channels);

    auto* w = new Wrapper(descriptor, host, std::move(inner), std::move(params));
    w->min_channels = range.min;
    w->max_channels = range.max;
    w->channel_count = channels;
    const std::uint32_t latency = w->inner->latency();
    w->current_latency.store(latency, std::memory_order_relaxed);
    w->reported_latency.store(latency, std::memory_order_relaxed);
    w->current_tail.store(w->inner->tail(), std::memory_order_relaxed);
    w->buffers.reserve(MAX_CHANNELS);
    return &w->plugin;
}

Wrapper* Wrapper::from(const clap_plugin_t* plugin) noexcept {
    return plugin == nullptr ? nullptr : static_cast<Wrapper*>(plugin->plugin_data);
}

bool Wrapper::apply_events(const clap_input_events_t* events) noexcept {
    if (events == nullptr || events->size == nullptr || events->get == nullptr) return false;
    bool applied = false;
    const std::uint32_t count = events->size(events);
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* header = events->get(events, i);
        if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID ||
            header->type != CLAP_EVENT_PARAM_VALUE || header->size < sizeof(clap_event_param_value_t))
            continue;
        const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
        if (!std::isfinite(event->value)) continue;
        const std::optional<ParamAddress> address = decode_id(param_set, channel_count, event->param_id);
        if (!address) continue;
        Param& param = param_set.at(address->index);
        if (param.info().kind == ParamKind::ReadOnly) continue;
        const auto value = static_cast<float>(event->value);
        if (param.info().per_channel)
            param.set_ch(address->channel, value);
        else
            param.set(value);
        applied = true;
    }
    return applied;
}

void Wrapper::request_callback() const noexcept {
    if (host->request_callback != nullptr) host->request_callback(host);
}

bool entry_init(Registry& registry) noexcept {
    registry.descriptor();
    return true;
}

const void* entry_get_factory(const char* factory_id, const clap_plugin_factory_t& factory) noexcept {
    return is_id(factory_id, CLAP_PLUGIN_FACTORY_ID) ? &factory : nullptr;
}

const clap_plugin_descriptor_t* factory_descriptor(Registry& registry, std::uint32_t index) noexcept {
    return index == 0 ? registry.descriptor() : nullptr;
}

const clap_plugin_t* factory_create(Registry& registry, const clap_host_t* host, const char* plugin_id,
                                    std::unique_ptr<Inner> (*make)()) noexcept {
    if (host == nullptr || plugin_id == nullptr) return nullptr;
    if (host->clap_version.major == 0) return nullptr;
    if (std::string_view(plugin_id) != registry.config.id) return nullptr;
    std::unique_ptr<Inner> inner = make();
    return Wrapper::create(registry.descriptor(), host, std::move(inner));
}

} // namespace loom::clap
