#include "loom/blocks/catalogue.hpp"

#include "blocks/biquad.hpp"
#include "blocks/gain.hpp"
#include "blocks/harmonic_eq.hpp"
#include "blocks/onepole.hpp"
#include "blocks/shaper.hpp"
#include "blocks/stereo.hpp"

#include <string_view>

namespace loom {

namespace {

// Blocks whose code is not yet part of the engine. Their descriptors are complete catalogue
// data, so descriptions can be checked against them, but their `make` is null and
// `can_make` says no; each descriptor moves into its block's module with its `make`.
// This is the one place that says which blocks cannot be made: dynamics, delay and tremolo.

constexpr std::string_view OFF_ON[] = {"off", "on"};

constexpr std::string_view DYNAMICS_MODES[] = {"compressor", "limiter", "gate", "expander"};
constexpr std::string_view DYNAMICS_DETECTORS[] = {"peak", "rms"};
constexpr std::string_view DYNAMICS_METERS[] = {"gain_reduction_db"};
constexpr ArgInfo DYNAMICS_ARGS[] = {
    {"mode", "", DYNAMICS_MODES,
     "compressor reduces by ratio above the threshold. limiter is a compressor with an infinite ratio. expander "
     "reduces by ratio below the threshold, and gate is the same with a steep ratio set by range.",
     0.0f, 3.0f, 0.0f, false},
    {"threshold_db", "dB", {}, "The level where the effect starts.", -80.0f, 0.0f, -18.0f, false},
    {"ratio", "", {},
     "For a compressor, the input change for 1 dB of output change above the threshold. For an expander, the extra "
     "reduction below it.",
     1.0f, 100.0f, 4.0f, false},
    {"knee_db", "dB", {}, "The width of the soft transition around the threshold.", 0.0f, 24.0f, 6.0f, false},
    {"attack_ms", "ms", {}, "How fast the gain reduction builds.", 0.01f, 200.0f, 10.0f, false},
    {"release_ms", "ms", {}, "How fast the gain comes back.", 1.0f, 2000.0f, 120.0f, false},
    {"makeup_db", "dB", {}, "Gain after the processing.", -24.0f, 36.0f, 0.0f, false},
    {"auto_makeup", "", OFF_ON, "Adds the gain a typical signal loses, estimated from the threshold and ratio.", 0.0f,
     1.0f, 0.0f, false},
    {"detector", "", DYNAMICS_DETECTORS, "How the level is measured. rms follows loudness and is gentler.", 0.0f,
     1.0f, 0.0f, false},
    {"sidechain_hpf_hz", "Hz", {}, "A high-pass on the detector alone. Near 10 Hz it does nothing.", 10.0f, 1000.0f,
     10.0f, false},
    {"link", "", {}, "0 measures each channel on its own and 1 uses the loudest channel for all of them.", 0.0f,
     1.0f, 1.0f, false},
    {"lookahead_ms", "ms", {}, "Delays the audio so the detector sees peaks early. Adds this much latency.", 0.0f,
     10.0f, 0.0f, true},
    {"range_db", "dB", {}, "The most the gain can be turned down.", 0.0f, 80.0f, 80.0f, false},
};
constexpr BlockInfo DYNAMICS = {
    "dynamics",
    "A dynamics processor. As a compressor or limiter it turns down what rises above the threshold. As a gate or "
    "expander it turns down what falls below it. The detector can be filtered so bass does not pump the whole mix, "
    "and the channels can be linked so the stereo image holds still. A lookahead adds latency, which the plugin "
    "reports to the host.",
    DYNAMICS_ARGS,
    DYNAMICS_METERS,
    nullptr,
};

constexpr std::string_view DELAY_MODES[] = {"normal", "pingpong"};
constexpr ArgInfo DELAY_ARGS[] = {
    {"time_ms", "ms", {}, "The delay. Bind it to sync(beats) to lock it to the tempo.", 0.1f, 4000.0f, 250.0f,
     false},
    {"feedback", "", {}, "How much of the output returns to the input. It stays below 1 so the echoes die away.",
     0.0f, 0.97f, 0.35f, false},
    {"damp_hz", "Hz", {}, "A low-pass in the feedback path, so each repeat is darker.", 200.0f, 20000.0f, 8000.0f,
     false},
    {"mode", "", DELAY_MODES, "pingpong bounces the echoes between left and right when there are two channels.",
     0.0f, 1.0f, 0.0f, false},
    {"mod_depth_ms", "ms", {}, "How far the delay time swings from an LFO.", 0.0f, 20.0f, 0.0f, false},
    {"mod_rate_hz", "Hz", {}, "The speed of that swing.", 0.02f, 20.0f, 0.5f, false},
    {"max_ms", "ms", {}, "The longest delay the line can hold. Sets the memory used.", 10.0f, 4000.0f, 2000.0f,
     true},
};
constexpr BlockInfo DELAY = {
    "delay",
    "A delay line. The block outputs only the delayed signal, so set the node's `mix` to blend it with the dry "
    "sound. For an echo use 100 ms or more with feedback. For a chorus use 10 to 30 ms with depth and no feedback "
    "and a mix of 0.5. For a flanger use 1 to 5 ms with depth and feedback. For a vibrato use mix 1.",
    DELAY_ARGS,
    {},
    nullptr,
};

constexpr std::string_view TREMOLO_SHAPES[] = {"sine", "triangle"};
constexpr ArgInfo TREMOLO_ARGS[] = {
    {"rate_hz", "Hz", {}, "The speed.", 0.05f, 40.0f, 4.0f, false},
    {"depth", "", {}, "0 does nothing. 1 takes the level all the way down at the bottom of each cycle.", 0.0f, 1.0f,
     0.5f, false},
    {"shape", "", TREMOLO_SHAPES, "The wave.", 0.0f, 1.0f, 0.0f, false},
    {"stereo_phase", "deg", {},
     "How far each channel's cycle is offset from the one before. 180 with two channels is an auto-pan.", 0.0f,
     180.0f, 0.0f, false},
};
constexpr BlockInfo TREMOLO = {
    "tremolo",
    "Varies the level with a low-frequency oscillator. With the channels half a cycle apart it is an auto-pan.",
    TREMOLO_ARGS,
    {},
    nullptr,
};

} // namespace

constinit const std::array<const BlockInfo*, 9> ALL = {
    &Gain::INFO, &Filter::INFO, &OnePole::INFO, &Shaper::INFO,     &DYNAMICS,
    &DELAY,      &TREMOLO,      &Stereo::INFO,  &HarmonicEq::INFO,
};

const BlockInfo* find(std::string_view name) noexcept {
    for (const BlockInfo* info : ALL)
        if (info->name == name) return info;
    return nullptr;
}

bool can_make(const BlockInfo& info) noexcept { return info.make != nullptr; }

} // namespace loom
