#pragma once
// Errors as values: every reader and compiler returns its result or one message.

#include <expected>
#include <string>

namespace loom {

template <class T>
using Result = std::expected<T, std::string>;

// The failure of a `Result`, written `return fail("...")`.
inline std::unexpected<std::string> fail(std::string message) {
    return std::unexpected<std::string>(std::move(message));
}

} // namespace loom
