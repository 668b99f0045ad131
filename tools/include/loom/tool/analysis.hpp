#pragma once
// Measurements for the demo: peak, RMS and crest factor of a whole signal, and its averaged
// magnitude spectrum through our own FFT.

#include "loom/tool/audio.hpp"

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace loom::tool {

// Levels of every sample of every channel, as linear values.
struct Level {
    double peak = 0.0; // largest magnitude
    double rms = 0.0;  // square root of the mean square
};

Level measure(const Audio& audio);
Level measure(std::span<const float> samples);

// 20 × log10(linear); minus infinity for 0.
double to_db(double linear);

// Peak over RMS in dB; 0 for silence.
double crest_db(const Level& level);

// The discrete Fourier transform in place, radix 2; `data.size()` must be a power of two.
void fft(std::vector<std::complex<double>>& data);

// A magnitude spectrum: `db[k]` at `k × bin_hz`, 0 dB being the peak of a full-scale sine.
struct Spectrum {
    double bin_hz = 0.0;
    std::vector<double> db;
};

// The power average of Blackman-Harris-windowed transforms of `size` samples (a power of two, 2 or
// more) with half overlap across `samples`; a signal shorter than `size` is padded with zeros.
Spectrum spectrum(std::span<const float> samples, double sample_rate, std::size_t size);

} // namespace loom::tool
