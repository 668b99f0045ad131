#include "test_plugin.hpp"

#include <cmath>

namespace loom::test {

namespace {

constexpr std::string_view LATENCY_NAMES[] = {"None", "Short", "Long"};

constexpr ParamInfo TABLE[] = {
    {.id = "gain", .name = "Gain", .description = "Gain of each channel.", .unit = "dB", .group = "Out",
     .min = -60.0f, .max = 12.0f, .default_value = 0.0f, .per_channel = true},
    {.id = "offset", .name = "Offset", .description = "Constant added to each channel.", .unit = "", .group = "",
     .min = -1.0f, .max = 1.0f, .default_value = 0.0f, .per_channel = true},
    {.id = "latency", .name = "Latency", .description = "Latency reported to the host.", .unit = "", .group = "Delay",
     .choices = LATENCY_NAMES, .min = 0.0f, .max = 2.0f, .default_value = 0.0f, .kind = ParamKind::Choice},
    {.id = "invert", .name = "Invert", .description = "Inverts the polarity.", .unit = "", .group = "", .min = 0.0f, .max = 1.0f,
     .default_value = 0.0f, .kind = ParamKind::Toggle},
    {.id = "bypass", .name = "Bypass", .description = "Passes the input through.", .unit = "", .group = "", .min = 0.0f, .max = 1.0f,
     .default_value = 0.0f, .kind = ParamKind::Toggle},
    {.id = "peak", .name = "Peak", .description = "Largest output magnitude of the last block.",
     .unit = "", .group = "Meters", .min = 0.0f, .max = 16.0f, .default_value = 0.0f, .kind = ParamKind::ReadOnly},
};

std::uint32_t latency_of(const ParamSet& set) noexcept {
    const auto choice = static_cast<std::size_t>(set.at(GainPlugin::LATENCY).get());
    return GainPlugin::LATENCIES[choice < GainPlugin::LATENCIES.size() ? choice : 0];
}

} // namespace

GainPlugin::GainPlugin() : set(ParamSet::with_channels(TABLE, MAX_CHANNELS)) { latency = latency_of(set); }

Layout GainPlugin::layout() { return Layout{.inputs = {{"Main", Range{1, 64}}}, .outputs = {{"Main", Any{}}}}; }

void GainPlugin::prepare(const PrepareContext& context) {
    prepared = context;
    ++prepare_calls;
    latency = latency_of(set);
}

void GainPlugin::process(Buffers buffers, const ProcessContext& context) noexcept {
    last_context = context;
    ++process_calls;
    last_channels = buffers.size();
    last_frames = buffers.empty() ? 0 : buffers[0].size();
    latency = latency_of(set);

    const bool bypass = set.at(BYPASS).get() >= 0.5f;
    const float sign = set.at(INVERT).get() >= 0.5f ? -1.0f : 1.0f;
    float peak = 0.0f;
    for (std::size_t c = 0; c < buffers.size(); ++c) {
        const float gain = bypass ? 1.0f : std::exp(set.at(GAIN).get_ch(c) * 0.11512925f) * sign;
        const float offset = bypass ? 0.0f : set.at(OFFSET).get_ch(c);
        for (float& x : buffers[c]) {
            x = x * gain + offset;
            peak = std::fmax(peak, std::fabs(x));
        }
    }
    set.at(PEAK).set(peak);
}

} // namespace loom::test
