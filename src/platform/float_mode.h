// Floating-point mode for the audio thread. Values that decay towards zero in a
// recursive filter end up as subnormal numbers, which the processor handles up to
// a hundred times slower; a tail fading into silence would then cost more than
// the music did. Flushing them to zero changes nothing audible (they are below
// 1e-308) and keeps silence cheap. The host's own mode is put back on return.
#pragma once

#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define ORBELUNE_HAS_MXCSR 1
#endif

namespace orbelune {

#if ORBELUNE_HAS_MXCSR
constexpr unsigned kFlushToZero = 0x8000u;      // MXCSR FTZ: subnormal results become 0
constexpr unsigned kDenormalsAreZero = 0x0040u;  // MXCSR DAZ: subnormal operands read as 0

// Sets flush-to-zero and denormals-are-zero for its lifetime and then restores
// the mode it found. Costs two register moves; no system call.
class ScopedFlushDenormals {
  public:
    ScopedFlushDenormals() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
    ~ScopedFlushDenormals() { _mm_setcsr(saved_); }
    ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
    ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;

  private:
    unsigned saved_;
};
#else
// Other processors: the mode is left alone.
class ScopedFlushDenormals {
  public:
    ScopedFlushDenormals() noexcept {}
};
#endif

}  // namespace orbelune
