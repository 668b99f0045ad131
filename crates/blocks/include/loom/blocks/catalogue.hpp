#pragma once
// The catalogue of the nine blocks: their descriptors in catalogue order, the look-up by
// name, and which of them the engine can make today. Not the blocks themselves.

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

// [any-thread] Whether the block can be made: false for a block whose descriptor is
// catalogued but whose code is not yet part of the engine (its `make` is null). The list of
// those is in catalogue.cpp. The compiler refuses a description that names one of them.
bool can_make(const BlockInfo& info) noexcept;

} // namespace loom
