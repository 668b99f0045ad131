#pragma once
// Fatal stop for faults in a plug-in's own built-in data and broken preconditions.

#include <string_view>

namespace loom {

// [any-thread] Writes the message and a line break to standard error and aborts.
// The only output the framework ever makes.
[[noreturn]] void fatal(std::string_view message) noexcept;

} // namespace loom
