// Wider vector instructions where the processor has them. The engine's frame
// loop is built twice, for AVX and for the x86-64 baseline (SSE2), and the
// processor decides at load time which one runs. Both give the same bits: every
// lane rounds as the scalar operation does, and neither may contract a multiply
// and an add (no FMA).
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define ORBELUNE_HAS_AVX_LOOP 1
#define ORBELUNE_AVX_TARGET __attribute__((target("avx")))
#else
// Other processors build the AVX loop as plain code and never run it.
#define ORBELUNE_HAS_AVX_LOOP 0
#define ORBELUNE_AVX_TARGET
#endif

namespace orbelune {

// True when the processor has AVX and the operating system saves its registers
// (the compiler's check asks both).
inline bool processorHasAvx() noexcept {
#if ORBELUNE_HAS_AVX_LOOP
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
#else
    return false;
#endif
}

}  // namespace orbelune
