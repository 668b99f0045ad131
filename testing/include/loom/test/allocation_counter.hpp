#pragma once
// Counts heap allocations made by the calling thread, through a replacement of every form of
// the global operator new linked into the test executable.

#include <cstddef>

namespace loom::test {

// Allocations by this thread while it is alive: construct, run the code, read `count()`.
class AllocationCounter {
public:
    AllocationCounter() noexcept;
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Number of operator new calls made by this thread since construction.
    std::size_t count() const noexcept;

private:
    std::size_t start = 0;
};

} // namespace loom::test
