#pragma once
// The filter block: one second-order section of eight responses, or a cascade of two to four
// Butterworth sections for steep low-pass and high-pass slopes, with frequency, Q and gain
// gliding once per control period. Also the section design the harmonic equalizer reuses.

#include "loom/blocks/block.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace loom {

// One second-order section normalised so that a0 = 1, run in transposed direct form II.
// The default is the pass-through.
struct Coefficients {
    float b0 = 1.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
};

// A value that moves once per control period by `smoothing` of the remaining distance to its
// target, jumping to the target on the first step after a reset.
struct Smoothed {
    float value = 0.0f;
    bool started = false; // a step has run since the last reset

    // [audio-thread] value += smoothing × (target − value), or value = target on the first
    // step. Returns the new value.
    float step(float target, float smoothing) noexcept;
};

// [audio-thread] The section of `response` (0 low-pass, 1 high-pass, 2 band-pass with a 0 dB
// peak, 3 notch, 4 peaking bell, 5 low shelf, 6 high shelf, 7 all-pass; above 7 is all-pass)
// at `freq` Hz, held to 5 Hz .. 0.49 × `sample_rate`, with quality `q` (at least 0.05) and
// `gain_db` (used by 4, 5 and 6). The Audio EQ Cookbook formulas, worked in 64 bits and
// rounded to 32-bit coefficients.
Coefficients design_section(std::uint32_t response, double freq, double q, double gain_db,
                            double sample_rate) noexcept;

// [audio-thread] Runs `samples` in place through `section` in transposed direct form II with
// memories `s1` and `s2`: y = b0·x + s1; s1 = s2 + b1·x − a1·y; s2 = b2·x − a2·y.
void run_section(const Coefficients& section, float& s1, float& s2, std::span<float> samples) noexcept;

class Filter final : public Block {
public:
    static const BlockInfo INFO;

    // [build] A filter with no channels, every section at the pass-through, one section
    // running and no glide started.
    static std::unique_ptr<Block> make();

    // Sizes and clears the memories (allocates), resets the sections and glides and sets the
    // glide step for a 5 ms time constant.
    void prepare(float rate, std::uint32_t channel_count) noexcept override;
    // args: `type`, `freq`, `q`, `gain_db`, `slope`.
    void control(std::span<const float> args) noexcept override;
    // The offset is not used: the coefficients hold for the whole period.
    void process(Frame& frame, std::uint32_t offset) noexcept override;

    std::vector<std::array<float, 8>> state;  // per channel: s1, s2 of sections 0 to 3
    Smoothed log_freq;                        // glided frequency, log2 of Hz
    Smoothed log_q;                           // glided Q, log2
    Smoothed gain_db;                         // glided gain, dB
    std::array<Coefficients, 4> coefficients; // one per section of the cascade
    std::uint32_t sections = 1;               // how many sections run, 0 to 4
    float sample_rate = 0.0f;                 // Hz, of the last `prepare`
    float smoothing = 0.0f;                   // glide step per control period
};

} // namespace loom
