#include "loom/blocks/catalogue.hpp"

#include "blocks/biquad.hpp"
#include "blocks/delay.hpp"
#include "blocks/dynamics.hpp"
#include "blocks/gain.hpp"
#include "blocks/harmonic_eq.hpp"
#include "blocks/onepole.hpp"
#include "blocks/shaper.hpp"
#include "blocks/stereo.hpp"
#include "blocks/tremolo.hpp"

#include <string_view>

namespace loom {

constinit const std::array<const BlockInfo*, 9> ALL = {
    &Gain::INFO,  &Filter::INFO,  &OnePole::INFO, &Shaper::INFO,     &Dynamics::INFO,
    &Delay::INFO, &Tremolo::INFO, &Stereo::INFO,  &HarmonicEq::INFO,
};

const BlockInfo* find(std::string_view name) noexcept {
    for (const BlockInfo* info : ALL)
        if (info->name == name) return info;
    return nullptr;
}

} // namespace loom
