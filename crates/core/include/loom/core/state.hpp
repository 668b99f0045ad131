#pragma once
// The saved parameter state: every cell of every parameter as little-endian bytes.
//
//   "LOOM" | version 1 | parameter count n | n records of (cell count k, k float values)
//
// Loading also accepts the magic "WEFT". Records are matched to parameters by position only.

#include "loom/core/param.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace loom::state {

// [any-thread] The state bytes of every parameter, ReadOnly ones included. Never fails.
std::vector<std::uint8_t> save(const ParamSet& params);

// [any-thread] Decodes the whole state before applying anything; returns false, changing
// nothing, for bytes shorter than a header, another magic or version, or a record cut short.
// Applied values obey the value rule; ReadOnly parameters, records beyond the set and
// channels beyond a parameter's cells are skipped. Calls the set's listener on success.
bool load(ParamSet& params, std::span<const std::uint8_t> bytes);

} // namespace loom::state
