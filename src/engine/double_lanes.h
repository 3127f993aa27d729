// Two or four doubles side by side, for work that runs on independent values at
// once (four lines of the network, two or four frames of the side chain). Every
// operation on lanes acts element by element with the same IEEE rounding as the
// scalar operation, so results are bit-identical to scalar steps. A pair is one
// SSE2 register, which every x86-64 processor has; a quad is one AVX register
// where the processor has AVX, and two SSE2 registers elsewhere.
//
// Quads only ever pass between helpers that are inlined into one function, so
// the calling convention for 32-byte vectors never matters (hence -Wno-psabi).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace orbelune {

typedef double DoublePair __attribute__((vector_size(2 * sizeof(double))));
typedef double DoubleQuad __attribute__((vector_size(4 * sizeof(double))));
typedef float FloatQuad __attribute__((vector_size(4 * sizeof(float))));  // a quad narrowed for output

// Helpers that must melt into the function that calls them, so that a quad is
// compiled for the instruction set that function was built for.
#define ORBELUNE_LANES_INLINE inline __attribute__((always_inline))

// A plain double counts as one lane, so that a step written for lanes also
// serves a single value.
template <typename Lanes>
constexpr int countLanes() {
    if constexpr (std::is_arithmetic_v<Lanes>) {
        return 1;
    } else {
        return static_cast<int>(sizeof(Lanes) / sizeof(Lanes{}[0]));
    }
}

template <typename Lanes>
constexpr int laneCount = countLanes<Lanes>();

template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes loadLanes(const double* values) {
    Lanes loaded;
    std::memcpy(&loaded, values, sizeof(loaded));
    return loaded;
}

template <typename Lanes>
ORBELUNE_LANES_INLINE void storeLanes(double* values, Lanes stored) {
    std::memcpy(values, &stored, sizeof(stored));
}

template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes everyLane(double value) {
    if constexpr (std::is_arithmetic_v<Lanes>) {
        return value;
    } else {
        Lanes lanes;
        for (int lane = 0; lane < laneCount<Lanes>; ++lane) lanes[lane] = value;
        return lanes;
    }
}

// Zeroes the values from `count` up to the next whole quad, so that the last,
// part-filled quad of a stretch reads defined values in its unused lanes.
inline void clearPartQuad(double* values, int count) {
    for (int index = count; index % 4 != 0; ++index) values[index] = 0.0;
}

// fabs of each element: the sign bit cleared, nothing else touched.
template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes magnitudes(Lanes values) {
    typedef std::uint64_t Bits __attribute__((vector_size(sizeof(Lanes))));
    constexpr std::uint64_t kAllButSign = ~(std::uint64_t{1} << 63);
    Bits bits;
    std::memcpy(&bits, &values, sizeof(bits));
    bits &= kAllButSign;
    Lanes result;
    std::memcpy(&result, &bits, sizeof(result));
    return result;
}

}  // namespace orbelune
