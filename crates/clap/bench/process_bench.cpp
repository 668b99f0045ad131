// The cost of a process call through the CLAP wrapper (events, input copy, flush-to-zero,
// latency and tail reads) against the same plug-in object driven directly.

#include "loom/clap/descriptor.hpp"
#include "loom/clap/inner.hpp"
#include "loom/clap/wrapper.hpp"
#include "test_plugin.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace {

namespace lc = loom::clap;

constexpr lc::ClapConfig CONFIG = {.id = "bench", .name = "", .vendor = "", .url = "", .version = "",
                                   .description = "", .features = {}};
lc::Registry REGISTRY{CONFIG};

void request_callback(const lc::clap_host_t*) {}
const lc::clap_host_t HOST = {.clap_version = lc::CLAP_VERSION, .host_data = nullptr, .name = "", .vendor = "",
                              .url = "", .version = "", .get_extension = nullptr, .request_restart = nullptr,
                              .request_process = nullptr, .request_callback = request_callback};

// Two parameter-value events per block, as automation would send them.
struct Events {
    lc::clap_event_param_value_t values[2] = {};
    lc::clap_input_events_t list = {};
};

std::uint32_t events_size(const lc::clap_input_events_t*) { return 2; }
const lc::clap_event_header_t* events_get(const lc::clap_input_events_t* list, std::uint32_t i) {
    return &static_cast<const Events*>(list->ctx)->values[i].header;
}

void BM_ClapProcess(benchmark::State& state) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto frames = static_cast<std::uint32_t>(state.range(1));
    const lc::clap_plugin_t* plugin =
        lc::Wrapper::create(REGISTRY.descriptor(), &HOST, lc::make_inner<loom::test::GainPlugin>());
    plugin->init(plugin);
    const lc::clap_audio_port_configuration_request_t request = {
        .is_input = true, .port_index = 0, .channel_count = channels, .port_type = nullptr, .port_details = nullptr};
    const auto* ports = static_cast<const lc::clap_plugin_configurable_audio_ports_t*>(
        plugin->get_extension(plugin, lc::CLAP_EXT_CONFIGURABLE_AUDIO_PORTS));
    ports->apply_configuration(plugin, &request, 1);
    plugin->activate(plugin, 48000.0, 1, frames);

    std::vector<std::vector<float>> in(channels, std::vector<float>(frames, 0.5f));
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    std::vector<float*> in_ptrs, out_ptrs;
    for (std::uint32_t c = 0; c < channels; ++c) {
        in_ptrs.push_back(in[c].data());
        out_ptrs.push_back(out[c].data());
    }
    const lc::clap_audio_buffer_t input = {.data32 = in_ptrs.data(), .data64 = nullptr, .channel_count = channels,
                                           .latency = 0, .constant_mask = 0};
    lc::clap_audio_buffer_t output = {.data32 = out_ptrs.data(), .data64 = nullptr, .channel_count = channels,
                                      .latency = 0, .constant_mask = 0};
    Events events;
    for (lc::clap_event_param_value_t& e : events.values)
        e.header = {.size = sizeof e, .time = 0, .space_id = 0, .type = lc::CLAP_EVENT_PARAM_VALUE, .flags = 0};
    events.values[0].param_id = 0;
    events.values[1].param_id = 128;
    events.list = {.ctx = &events, .size = events_size, .get = events_get};
    const lc::clap_process_t process = {.steady_time = 0, .frames_count = frames, .transport = nullptr,
                                        .audio_inputs = &input, .audio_outputs = &output, .audio_inputs_count = 1,
                                        .audio_outputs_count = 1, .in_events = &events.list, .out_events = nullptr};
    double gain = 0.0;
    for (auto _ : state) {
        gain = gain < -20.0 ? 0.0 : gain - 0.5;
        events.values[0].value = gain;
        events.values[1].value = gain * 0.01;
        benchmark::DoNotOptimize(plugin->process(plugin, &process));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * frames);
    plugin->destroy(plugin);
}

void BM_DirectProcess(benchmark::State& state) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto frames = static_cast<std::uint32_t>(state.range(1));
    loom::test::GainPlugin plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(channels);
    plugin.prepare({.max_frames = frames, .sample_rate = 48000.0f, .channels = channels});
    std::vector<std::vector<float>> in(channels, std::vector<float>(frames, 0.5f));
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    std::vector<std::span<float>> buffers;
    for (auto& c : out) buffers.emplace_back(c);
    double gain = 0.0;
    for (auto _ : state) {
        gain = gain < -20.0 ? 0.0 : gain - 0.5;
        params.at(0).set_ch(0, static_cast<float>(gain));
        params.at(1).set_ch(0, static_cast<float>(gain * 0.01));
        for (std::uint32_t c = 0; c < channels; ++c) out[c] = in[c];
        plugin.process(loom::Buffers(buffers.data(), buffers.size()), {});
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * frames);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (const int channels : {2, 6})
        for (const int frames : {32, 256})
            b->Args({channels, frames});
}

BENCHMARK(BM_ClapProcess)->Apply(sizes);
BENCHMARK(BM_DirectProcess)->Apply(sizes);

} // namespace
