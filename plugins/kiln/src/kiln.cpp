#include "kiln/kiln.hpp"


namespace kiln {

namespace {

constexpr std::array<std::string_view, 2> MODES = {"Soft", "Hard"};

std::array<std::string_view, 4> ids() {
    std::array<std::string_view, 4> out;
    for (std::size_t i = 0; i < PARAMS.size(); ++i) out[i] = PARAMS[i].id;
    return out;
}

} // namespace

const std::array<loom::ParamInfo, 4> PARAMS = {{
    {.id = "drive",
     .name = "Drive",
     .description = "How hard the signal is pushed into the clipper.",
     .unit = "dB",
     .group = "Saturation",
     .min = 0.0f,
     .max = 24.0f,
     .default_value = 6.0f,
     .kind = loom::ParamKind::Float},
    {.id = "mode",
     .name = "Mode",
     .description = "Soft rounds the peaks with a tanh curve and Hard cuts them flat.",
     .group = "Saturation",
     .choices = MODES,
     .min = 0.0f,
     .max = 1.0f,
     .default_value = 0.0f,
     .kind = loom::ParamKind::Choice},
    {.id = "tone",
     .name = "Tone",
     .description = "Cutoff of the low-pass that follows the clipper.",
     .unit = "Hz",
     .group = "Tone",
     .min = 200.0f,
     .max = 16000.0f,
     .default_value = 8000.0f,
     .kind = loom::ParamKind::Float,
     .log = true},
    {.id = "bypass",
     .name = "Bypass",
     .description = "Passes the audio through unchanged.",
     .min = 0.0f,
     .max = 1.0f,
     .default_value = 0.0f,
     .kind = loom::ParamKind::Toggle},
}};

Kiln::Kiln() : parameters(loom::ParamSet::with_channels(PARAMS, loom::MAX_CHANNELS)), state(dsp::State::make(ids())) {}

loom::Layout Kiln::layout() {
    return {.inputs = {{.name = "Main", .channels = loom::Range{1, 64}}},
            .outputs = {{.name = "Main", .channels = loom::Any{}}}};
}

} // namespace kiln
