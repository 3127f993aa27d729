// Two doubles side by side, for work that runs on two independent values at once
// (two lines of the network, two frames of the side chain). Every operation on a
// pair acts element by element with the same IEEE rounding as two scalar
// operations, so results are bit-identical to two scalar steps; the compiler maps
// a pair onto one SSE2 register, which every x86-64 processor has.
#pragma once

#include <cstdint>
#include <cstring>

namespace orbelune {

typedef double DoublePair __attribute__((vector_size(2 * sizeof(double))));
typedef std::uint64_t DoublePairBits __attribute__((vector_size(2 * sizeof(double))));

inline DoublePair loadPair(const double* values) {
    DoublePair loaded;
    std::memcpy(&loaded, values, sizeof(loaded));
    return loaded;
}

inline void storePair(double* values, DoublePair stored) { std::memcpy(values, &stored, sizeof(stored)); }

inline DoublePair bothOf(double value) { return DoublePair{value, value}; }

// fabs of each element: the sign bit cleared, nothing else touched.
inline DoublePair magnitudes(DoublePair values) {
    constexpr std::uint64_t kAllButSign = ~(std::uint64_t{1} << 63);
    DoublePairBits bits;
    std::memcpy(&bits, &values, sizeof(bits));
    bits &= kAllButSign;
    DoublePair result;
    std::memcpy(&result, &bits, sizeof(result));
    return result;
}

}  // namespace orbelune
