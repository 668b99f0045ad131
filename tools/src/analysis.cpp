#include "loom/tool/analysis.hpp"

#include "loom/core/fatal.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace loom::tool {

Level measure(std::span<const float> samples) {
    Level l;
    double sum = 0.0;
    for (const float s : samples) {
        const double x = s;
        l.peak = std::max(l.peak, std::fabs(x));
        sum += x * x;
    }
    l.rms = samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
    return l;
}

Level measure(const Audio& audio) {
    Level l;
    double sum = 0.0;
    std::size_t count = 0;
    for (const auto& c : audio.channels) {
        const Level one = measure(c);
        l.peak = std::max(l.peak, one.peak);
        sum += one.rms * one.rms * static_cast<double>(c.size());
        count += c.size();
    }
    l.rms = count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
    return l;
}

double to_db(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

double crest_db(const Level& level) { return level.rms > 0.0 ? to_db(level.peak / level.rms) : 0.0; }

void fft(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    if (n < 2) return;
    if ((n & (n - 1)) != 0) fatal("fft: the size must be a power of two");
    // Bit-reversed order, then butterflies of growing span.
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (std::size_t span = 2; span <= n; span <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(span);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < n; start += span) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < span / 2; ++k) {
                const std::complex<double> a = data[start + k];
                const std::complex<double> b = data[start + k + span / 2] * w;
                data[start + k] = a + b;
                data[start + k + span / 2] = a - b;
                w *= step;
            }
        }
    }
}

Spectrum spectrum(std::span<const float> samples, double sample_rate, std::size_t size) {
    if (size < 2 || (size & (size - 1)) != 0) fatal("spectrum: the size must be a power of two");
    std::vector<double> window(size);
    double window_sum = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        // Four-term Blackman-Harris: side lobes below -92 dB, so a pure sine stays a narrow peak.
        const double phase = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(size);
        window[i] = 0.35875 - 0.48829 * std::cos(phase) + 0.14128 * std::cos(2.0 * phase) - 0.01168 * std::cos(3.0 * phase);
        window_sum += window[i];
    }
    std::vector<double> power(size / 2 + 1, 0.0);
    std::size_t frames = 0;
    std::vector<std::complex<double>> data(size);
    for (std::size_t start = 0; frames == 0 || start + size <= samples.size(); start += size / 2) {
        for (std::size_t i = 0; i < size; ++i) {
            const double x = start + i < samples.size() ? samples[start + i] : 0.0;
            data[i] = {x * window[i], 0.0};
        }
        fft(data);
        for (std::size_t k = 0; k < power.size(); ++k) power[k] += std::norm(data[k]);
        ++frames;
    }
    Spectrum s{sample_rate / static_cast<double>(size), std::vector<double>(power.size())};
    // A sine of amplitude A peaks at A × sum(window) / 2 in its bin.
    const double scale = 2.0 / window_sum;
    for (std::size_t k = 0; k < power.size(); ++k)
        s.db[k] = to_db(std::max(std::sqrt(power[k] / static_cast<double>(frames)) * scale, 1e-12));
    return s;
}

} // namespace loom::tool
