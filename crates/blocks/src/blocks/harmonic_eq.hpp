#pragma once
// The harmonic equalizer block: up to 32 peaking bells on the harmonics of one fundamental,
// with gains from a rule over the harmonic number and trims for the first eight. Bands whose
// gain is negligible, or that sit at or above 45% of the rate, do not run.

#include "blocks/biquad.hpp"
#include "loom/blocks/block.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace loom {

class HarmonicEq final : public Block {
public:
    static const BlockInfo INFO;

    // Highest harmonic number a band can sit on.
    static constexpr std::uint32_t MAX_BANDS = 32;

    // [build] An equalizer with no channels, every band at the pass-through and inactive, and
    // no glide started.
    static std::unique_ptr<Block> make();

    // Sizes and clears the memories (allocates), resets the bands and glides and sets the
    // glide step for an 8 ms time constant.
    void prepare(float rate, std::uint32_t channel_count) noexcept override;
    // args: `fundamental_hz`, `harmonics`, `first`, `gain_db`, `tilt_db_oct`, `odd_db`,
    // `even_db`, `bandwidth`, `stretch`, `trim_1_db` to `trim_8_db`.
    void control(std::span<const float> args) noexcept override;
    // The offset is not used: the bands hold for the whole period.
    void process(Frame& frame, std::uint32_t offset) noexcept override;

    std::vector<std::array<float, 2 * MAX_BANDS>> state; // per channel: s1, s2 of band k at 2(k − 1)
    std::array<bool, MAX_BANDS> active{};                // band k (at index k − 1) runs this period
    std::array<Smoothed, 8> trims;                       // `trim_1_db` to `trim_8_db`
    Smoothed log_fundamental;                            // log2 of `fundamental_hz`
    Smoothed gain_db;                                    // `gain_db`
    Smoothed tilt;                                       // `tilt_db_oct`
    Smoothed odd;                                        // `odd_db`
    Smoothed even;                                       // `even_db`
    Smoothed log_bandwidth;                              // log2 of `bandwidth`
    Smoothed stretch;                                    // `stretch`
    std::array<Coefficients, MAX_BANDS> bands;           // band k at index k − 1
    float sample_rate = 0.0f;                            // Hz, of the last `prepare`
    float smoothing = 0.0f;                              // glide step per control period
};

} // namespace loom
