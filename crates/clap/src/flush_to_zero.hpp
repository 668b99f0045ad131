#pragma once
// Flush-to-zero for the duration of a scope: denormal results (and, on x86-64, denormal
// operands) become zero; the previous floating-point mode comes back when the scope ends.

#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#include <pmmintrin.h>
#include <xmmintrin.h>
#endif

namespace loom::clap {

class FlushToZero {
public:
    // [audio-thread]
    FlushToZero() noexcept {
#if defined(__x86_64__) || defined(_M_X64)
        saved = _mm_getcsr();
        changed = (saved & MXCSR_FTZ_DAZ) != MXCSR_FTZ_DAZ;
        if (changed) _mm_setcsr(saved | MXCSR_FTZ_DAZ);
#elif defined(__aarch64__)
        std::uint64_t fpcr = 0;
        asm volatile("mrs %0, fpcr" : "=r"(fpcr));
        saved = fpcr;
        changed = (fpcr & FPCR_FZ) == 0;
        if (changed) asm volatile("msr fpcr, %0" : : "r"(fpcr | FPCR_FZ));
#endif
    }
    // Writing the control register is slow: it is written only when the mode had to change.
    ~FlushToZero() {
        if (!changed) return;
#if defined(__x86_64__) || defined(_M_X64)
        _mm_setcsr(saved);
#elif defined(__aarch64__)
        const std::uint64_t fpcr = saved;
        asm volatile("msr fpcr, %0" : : "r"(fpcr));
#endif
    }
    FlushToZero(const FlushToZero&) = delete;
    FlushToZero& operator=(const FlushToZero&) = delete;

private:
#if defined(__x86_64__) || defined(_M_X64)
    static constexpr unsigned int MXCSR_FTZ_DAZ = 0x8040; // flush to zero (bit 15), denormals are zero (bit 6)
    unsigned int saved = 0;                               // MXCSR
#elif defined(__aarch64__)
    static constexpr std::uint64_t FPCR_FZ = std::uint64_t{1} << 24;
    std::uint64_t saved = 0; // FPCR
#endif
    bool changed = false;
};

} // namespace loom::clap
