#include "loom/blocks/block.hpp"

#include "loom/core/fatal.hpp"

namespace loom {

void require_args(std::span<const float> args, std::size_t count, std::string_view message) noexcept {
    if (args.size() < count) fatal(message);
}

} // namespace loom
