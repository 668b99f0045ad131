#pragma once
// Frequency responses for filter tests: the transfer function of second-order sections
// evaluated in 64 bits, and the gain of a block measured by running a sine through it.

#include "blocks/biquad.hpp"
#include "loom/blocks/block.hpp"
#include "loom/blocks/frame.hpp"

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace loom::test {

inline constexpr double PI = 3.14159265358979323846;

// H(e^jw) of one section at `freq` Hz: (b0 + b1 z⁻¹ + b2 z⁻²) / (1 + a1 z⁻¹ + a2 z⁻²).
inline std::complex<double> section_response(const Coefficients& c, double freq, double rate) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * PI * freq / rate);
    const std::complex<double> z2 = z1 * z1;
    return (static_cast<double>(c.b0) + static_cast<double>(c.b1) * z1 + static_cast<double>(c.b2) * z2) /
           (1.0 + static_cast<double>(c.a1) * z1 + static_cast<double>(c.a2) * z2);
}

// The response of sections run one after the other.
inline std::complex<double> cascade_response(std::span<const Coefficients> sections, double freq, double rate) {
    std::complex<double> h = 1.0;
    for (const Coefficients& c : sections) h *= section_response(c, freq, rate);
    return h;
}

inline double to_db(double magnitude) { return 20.0 * std::log10(magnitude); }

// The bilinear transform that maps the analog frequency 1 onto `corner` Hz: the digital
// frequency `freq` Hz corresponds to the analog Ω = tan(π freq / rate) / tan(π corner / rate).
inline double warped(double freq, double corner, double rate) {
    return std::tan(PI * freq / rate) / std::tan(PI * corner / rate);
}

// The gain of `block` for a sine of `freq` Hz and amplitude 0.5 on every one of `channels`
// channels: `settle` samples let the transient die, then the output of the next `measure`
// samples (a whole number of cycles) is correlated with a sine and a cosine. `control` runs
// before every period, as the graph would call it.
inline double measured_gain(Block& block, std::uint32_t channels, double freq, double rate,
                            const std::function<void()>& control, std::size_t settle = 9600,
                            std::size_t measure = 4800) {
    Frame frame(channels);
    double in_phase = 0.0;
    double quadrature = 0.0;
    for (std::size_t start = 0; start < settle + measure; start += FRAME_SIZE) {
        control();
        frame.len = FRAME_SIZE;
        for (std::uint32_t j = 0; j < FRAME_SIZE; ++j)
            for (std::size_t c = 0; c < channels; ++c)
                frame.channels[c][j] =
                    static_cast<float>(0.5 * std::sin(2.0 * PI * freq * static_cast<double>(start + j) / rate));
        block.process(frame, 0);
        for (std::uint32_t j = 0; j < FRAME_SIZE; ++j) {
            const std::size_t n = start + j;
            if (n < settle) continue;
            const double phase = 2.0 * PI * freq * static_cast<double>(n) / rate;
            in_phase += static_cast<double>(frame.channels[channels - 1][j]) * std::sin(phase);
            quadrature += static_cast<double>(frame.channels[channels - 1][j]) * std::cos(phase);
        }
    }
    const double amplitude = 2.0 * std::hypot(in_phase, quadrature) / static_cast<double>(measure);
    return amplitude / 0.5;
}

} // namespace loom::test
