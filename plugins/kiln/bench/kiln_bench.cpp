// Kiln's cost per channel-sample against a fused loop of the same math (the floor): stereo,
// 48 kHz, a realistic signal, drive and tone automated every host block.
#include "kiln/kiln.hpp"

#include "loom/clap/abi.hpp"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <numbers>
#include <vector>

namespace {

constexpr float RATE = 48000.0f;
constexpr std::size_t CHANNELS = 2;
constexpr std::size_t SIGNAL = 1 << 16;

// A bass note and a chord with some noise: never silent, never constant.
const std::vector<float>& signal() {
    static const std::vector<float> s = [] {
        std::vector<float> out(SIGNAL);
        std::uint32_t noise = 1;
        for (std::size_t i = 0; i < SIGNAL; ++i) {
            const double t = static_cast<double>(i) / RATE;
            noise = noise * 1664525u + 1013904223u;
            out[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 55.0 * t) +
                                        0.2 * std::sin(2 * std::numbers::pi * 220.0 * t) +
                                        0.2 * std::sin(2 * std::numbers::pi * 277.2 * t) +
                                        0.05 * (static_cast<double>(noise >> 8) / 16777216.0 - 0.5));
        }
        return out;
    }();
    return s;
}

// Automation: drive and tone move every host block.
float drive_at(std::size_t block) { return static_cast<float>(block % 25); }
float tone_at(std::size_t block) { return 400.0f + static_cast<float>((block * 733) % 12000); }

// The same samples as Kiln in one pass per channel: gain glide, curve, one-pole low-pass,
// with the coefficients updated once per 32-sample period. No bypass (fully wet).
struct Fused {
    float gain_from = 0, gain_to = 0, log_freq = 0, coefficient = 0;
    float smoothing = 1.0f - std::exp(-32.0f / (RATE * 0.005f));
    float memory[CHANNELS] = {};
    bool started = false;
    std::size_t position = 0;

    template <bool Hard>
    void process(float* const* audio, std::size_t frames, float drive, float tone) {
        for (std::size_t start = 0; start < frames;) {
            const std::size_t chunk = std::min(frames - start, 32 - position);
            if (position == 0) {
                const float g = std::exp(drive * 0.11512925f) * 1.4142135f * std::cos(0.7853982f);
                gain_from = started ? gain_to : g;
                gain_to = g;
                log_freq = started ? log_freq + smoothing * (std::log2(tone) - log_freq) : std::log2(tone);
                const float fc = std::clamp(std::exp2(log_freq), 1.0f, 0.49f * RATE);
                coefficient = 1.0f - std::exp((fc * -6.2831855f) / RATE);
                started = true;
            }
            for (std::size_t ch = 0; ch < CHANNELS; ++ch) {
                float* x = audio[ch] + start;
                float y = memory[ch];
                for (std::size_t j = 0; j < chunk; ++j) {
                    const float u = static_cast<float>(position + 1 + j) / 32.0f;
                    const float v = x[j] * (gain_from + (gain_to - gain_from) * u);
                    const float shaped = Hard ? std::clamp(v, -1.0f, 1.0f) : std::tanh(v);
                    y += coefficient * (shaped - y);
                    x[j] = y;
                }
                memory[ch] = std::fabs(y) < 1e-20f ? 0.0f : y;
            }
            position = (position + chunk) % 32;
            start += chunk;
        }
    }
};

struct Audio {
    explicit Audio(std::size_t frames) : data(CHANNELS, std::vector<float>(frames)) {
        for (std::size_t ch = 0; ch < CHANNELS; ++ch) {
            spans.emplace_back(data[ch]);
            pointers.push_back(data[ch].data());
        }
    }
    void fill(std::size_t block) {
        const std::size_t frames = data[0].size();
        const std::size_t at = (block * frames) % (SIGNAL - frames);
        for (std::size_t ch = 0; ch < CHANNELS; ++ch)
            std::copy_n(signal().begin() + static_cast<std::ptrdiff_t>(at + ch * 7), frames, data[ch].begin());
    }
    std::vector<std::vector<float>> data;
    std::vector<std::span<float>> spans;
    std::vector<float*> pointers;
};

void report(benchmark::State& state, std::size_t frames) {
    state.counters["ns_per_channel_sample"] = benchmark::Counter(
        static_cast<double>(state.iterations() * frames * CHANNELS),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <bool Hard>
void FusedFloor(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Audio audio(frames);
    Fused fused;
    std::size_t block = 0;
    for (auto _ : state) {
        audio.fill(block);
        fused.process<Hard>(audio.pointers.data(), frames, drive_at(block), tone_at(block));
        benchmark::DoNotOptimize(audio.data[0].data());
        ++block;
    }
    report(state, frames);
}

template <bool Hard>
void KilnGraph(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Audio audio(frames);
    kiln::Kiln plugin;
    loom::ParamSet params = plugin.params();
    params.set_channels(CHANNELS);
    plugin.prepare({.max_frames = frames, .sample_rate = RATE, .channels = CHANNELS});
    params.at(1).set(Hard ? 1.0f : 0.0f);
    std::size_t block = 0;
    for (auto _ : state) {
        audio.fill(block);
        params.at(0).set(drive_at(block));
        params.at(2).set(tone_at(block));
        plugin.process(audio.spans, loom::ProcessContext{});
        benchmark::DoNotOptimize(audio.data[0].data());
        ++block;
    }
    report(state, frames);
}

namespace lc = loom::clap;

// The smallest host that runs kiln.clap: it asks for nothing and answers nothing.
struct ClapKiln {
    lc::clap_host_t host{.clap_version = lc::CLAP_VERSION,
                         .name = "bench",
                         .vendor = "loom",
                         .url = "",
                         .version = "1",
                         .get_extension = [](const lc::clap_host_t*, const char*) -> const void* { return nullptr; },
                         .request_restart = [](const lc::clap_host_t*) {},
                         .request_process = [](const lc::clap_host_t*) {},
                         .request_callback = [](const lc::clap_host_t*) {}};
    const lc::clap_plugin_t* plugin = nullptr;

    ClapKiln(double rate, std::uint32_t max_frames) {
        void* module = dlopen(KILN_CLAP_PATH, RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) return;
        const auto* entry = static_cast<const lc::clap_plugin_entry_t*>(dlsym(module, "clap_entry"));
        entry->init(KILN_CLAP_PATH);
        const auto* factory = static_cast<const lc::clap_plugin_factory_t*>(entry->get_factory(lc::CLAP_PLUGIN_FACTORY_ID));
        plugin = factory->create_plugin(factory, &host, "velloran-labs.kiln");
        plugin->init(plugin);
        plugin->activate(plugin, rate, 1, max_frames);
        plugin->start_processing(plugin);
    }
    ~ClapKiln() {
        if (plugin == nullptr) return;
        plugin->stop_processing(plugin);
        plugin->deactivate(plugin);
        plugin->destroy(plugin);
    }
};

// Parameter value events for one block, as a host sends automation.
struct Events {
    lc::clap_event_param_value_t values[3] = {};
    lc::clap_input_events_t list{.ctx = this,
                                 .size = [](const lc::clap_input_events_t*) -> std::uint32_t { return 3; },
                                 .get = [](const lc::clap_input_events_t* l,
                                           std::uint32_t i) -> const lc::clap_event_header_t* {
                                     return &static_cast<Events*>(l->ctx)->values[i].header;
                                 }};
    Events() {
        for (auto& v : values) {
            v.header = {.size = sizeof(lc::clap_event_param_value_t),
                        .time = 0,
                        .space_id = lc::CLAP_CORE_EVENT_SPACE_ID,
                        .type = lc::CLAP_EVENT_PARAM_VALUE,
                        .flags = 0};
            v.note_id = v.port_index = v.channel = v.key = -1;
        }
    }
    void set(lc::clap_id mode_id, double mode, double drive, double tone) {
        values[0].param_id = 0, values[0].value = drive;
        values[1].param_id = mode_id, values[1].value = mode;
        values[2].param_id = 256, values[2].value = tone;
    }
};

template <bool Hard>
void KilnClap(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Audio audio(frames);
    ClapKiln kiln(RATE, static_cast<std::uint32_t>(frames));
    if (kiln.plugin == nullptr) {
        state.SkipWithError("cannot load kiln.clap");
        return;
    }
    Events events;
    lc::clap_audio_buffer_t buffer{.data32 = audio.pointers.data(), .data64 = nullptr,
                                   .channel_count = CHANNELS, .latency = 0, .constant_mask = 0};
    lc::clap_process_t process{.steady_time = -1,
                               .frames_count = static_cast<std::uint32_t>(frames),
                               .transport = nullptr,
                               .audio_inputs = &buffer,
                               .audio_outputs = &buffer,
                               .audio_inputs_count = 1,
                               .audio_outputs_count = 1,
                               .in_events = &events.list,
                               .out_events = nullptr};
    std::size_t block = 0;
    for (auto _ : state) {
        audio.fill(block);
        events.set(128, Hard ? 1.0 : 0.0, drive_at(block), tone_at(block));
        kiln.plugin->process(kiln.plugin, &process);
        benchmark::DoNotOptimize(audio.data[0].data());
        ++block;
    }
    report(state, frames);
}

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(32)->Arg(512)->Arg(4096); }

BENCHMARK(FusedFloor<false>)->Name("Soft/FusedFloor")->Apply(Sizes);
BENCHMARK(KilnGraph<false>)->Name("Soft/KilnGraph")->Apply(Sizes);
BENCHMARK(KilnClap<false>)->Name("Soft/KilnClap")->Apply(Sizes);
BENCHMARK(FusedFloor<true>)->Name("Hard/FusedFloor")->Apply(Sizes);
BENCHMARK(KilnGraph<true>)->Name("Hard/KilnGraph")->Apply(Sizes);
BENCHMARK(KilnClap<true>)->Name("Hard/KilnClap")->Apply(Sizes);

void BuildKiln(benchmark::State& state) {
    for (auto _ : state) {
        kiln::Kiln plugin;
        benchmark::DoNotOptimize(&plugin);
    }
}
BENCHMARK(BuildKiln);

// Prints the usual table, then each Kiln figure as a ratio to the fused floor of the same
// curve and block size, and Kiln through kiln.clap against the Kiln object driven directly.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("ns_per_channel_sample");
            if (it == run.counters.end() || run.error_occurred) continue;
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") continue;
            figures[run.run_name.str()] = it->second.value;
        }
    }

    void print_ratios() const {
        std::printf("\nns per channel-sample, and ratios (median when repeated):\n");
        std::printf("%-6s %6s %10s %10s %10s %10s %10s %12s\n", "curve", "frames", "floor", "graph", "clap",
                    "graph/fl", "clap/fl", "clap/graph");
        for (const char* curve : {"Soft", "Hard"})
            for (const char* frames : {"32", "512", "4096"}) {
                const double floor = find(curve, "FusedFloor", frames);
                const double graph = find(curve, "KilnGraph", frames);
                const double clap = find(curve, "KilnClap", frames);
                if (floor <= 0 || graph <= 0 || clap <= 0) continue;
                std::printf("%-6s %6s %10.3f %10.3f %10.3f %9.3fx %9.3fx %11.3fx\n", curve, frames, floor, graph, clap,
                            graph / floor, clap / floor, clap / graph);
            }
    }

private:
    double find(const char* curve, const char* kind, const char* frames) const {
        const auto it = figures.find(std::string(curve) + "/" + kind + "/" + frames);
        return it == figures.end() ? 0.0 : it->second * 1e9; // the counter is in seconds
    }

    std::map<std::string, double> figures;
};

// Heap bytes a prepared stereo Kiln holds: live bytes counted by this program's operator new
// and delete (below) across building and preparing one.
std::atomic<std::size_t> live_bytes{0};

void print_memory() {
    const std::size_t before = live_bytes.load();
    auto plugin = std::make_unique<kiln::Kiln>();
    loom::ParamSet params = plugin->params();
    params.set_channels(CHANNELS);
    plugin->prepare({.max_frames = 512, .sample_rate = RATE, .channels = CHANNELS});
    std::printf("heap held by a prepared stereo Kiln: %zu bytes\n", live_bytes.load() - before);
    std::error_code error;
    const auto size = std::filesystem::file_size(KILN_CLAP_PATH, error);
    if (!error) std::printf("size of kiln.clap: %ju bytes\n", static_cast<std::uintmax_t>(size));
}

} // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    live_bytes += malloc_usable_size(p);
    return p;
}
static void release(void* p) noexcept {
    if (p != nullptr) live_bytes -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    print_memory();
    benchmark::Shutdown();
    return 0;
}
