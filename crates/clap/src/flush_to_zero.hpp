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
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
#elif defined(__aarch64__)
        std::uint64_t fpcr = 0;
        asm volatile("mrs %0, fpcr" : "=r"(fpcr));
        saved = fpcr;
        asm volatile("msr fpcr, %0" : : "r"(fpcr | FPCR_FZ));
#endif
    }
    ~FlushToZero() {
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
    unsigned int saved = 0; // MXCSR
#elif defined(__aarch64__)
    static constexpr std::uint64_t FPCR_FZ = std::uint64_t{1} << 24;
    std::uint64_t saved = 0; // FPCR
#endif
};

} // namespace loom::clap
