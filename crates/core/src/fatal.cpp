#include "loom/core/fatal.hpp"

#include <cstdio>
#include <cstdlib>

namespace loom {

void fatal(std::string_view message) noexcept {
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

} // namespace loom
