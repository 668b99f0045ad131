#include "loom/tool/signal.hpp"

#include <cmath>
#include <numbers>

namespace loom::tool {

namespace {

constexpr double ATTACK_S = 0.020;
constexpr double RELEASE_S = 0.080;
constexpr double DECAY_S = 0.6;   // time constant of the gentle decay
constexpr double SUSTAIN = 0.7;   // the decay levels off at this share of the peak

constexpr Note NOTES[] = {
    {55.0, 0.5, 0.0, 1.9},                   // A1
    {220.0, 0.17, 2.0, 1.9},                 // A3
    {261.6255653005986, 0.17, 2.0, 1.9},     // C4
    {329.6275569128699, 0.17, 2.0, 1.9},     // E4
};

// Raised-cosine edges and an exponential decay toward the sustain level.
double envelope(double t, double length) {
    if (t < 0.0 || t >= length) return 0.0;
    double e = SUSTAIN + (1.0 - SUSTAIN) * std::exp(-t / DECAY_S);
    if (t < ATTACK_S) e *= 0.5 - 0.5 * std::cos(std::numbers::pi * t / ATTACK_S);
    if (length - t < RELEASE_S) e *= 0.5 - 0.5 * std::cos(std::numbers::pi * (length - t) / RELEASE_S);
    return e;
}

} // namespace

std::span<const Note> test_notes() noexcept { return NOTES; }

Audio test_signal(double sample_rate, std::size_t channels) {
    const auto frames = static_cast<std::size_t>(std::llround(TEST_SECONDS * sample_rate));
    std::vector<float> mono(frames, 0.0f);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sample_rate;
        double x = 0.0;
        for (const Note& n : NOTES)
            x += n.amplitude * envelope(t - n.start_s, n.length_s) * std::sin(2.0 * std::numbers::pi * n.hz * (t - n.start_s));
        mono[i] = static_cast<float>(x);
    }
    return Audio{sample_rate, std::vector<std::vector<float>>(channels, mono)};
}

Audio ramp(double sample_rate, std::size_t channels, float from, float to, std::size_t settle, std::size_t frames) {
    std::vector<float> mono(settle + frames, from);
    for (std::size_t i = 0; i < frames; ++i) {
        const double u = frames > 1 ? static_cast<double>(i) / static_cast<double>(frames - 1) : 1.0;
        mono[settle + i] = static_cast<float>(from + (static_cast<double>(to) - from) * u);
    }
    return Audio{sample_rate, std::vector<std::vector<float>>(channels, mono)};
}

} // namespace loom::tool
