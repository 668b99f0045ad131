#pragma once
// The catalogue of the nine blocks: their descriptors in catalogue order, the look-up by
// name. Not the blocks themselves: each block's module holds its `INFO` and `make`.

#include "loom/blocks/block.hpp"

#include <array>
#include <string_view>

namespace loom {

// Every block's descriptor, in catalogue order: gain, filter, onepole, shaper, dynamics,
// delay, tremolo, stereo, harmonic_eq. The compiler lists the names in this order.
extern const std::array<const BlockInfo*, 9> ALL;

// [any-thread] The descriptor whose `name` equals `name` byte for byte (case counts, no
// trimming), or null.
const BlockInfo* find(std::string_view name) noexcept;

} // namespace loom
