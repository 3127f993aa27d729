// Doubles side by side, for work that runs on independent values at once (four
// lines of the network, four frames of the side chain or the output stage).
// Every operation on lanes acts element by element with the same IEEE rounding
// as the scalar operation, so results are bit-identical to scalar steps.
//
// The engine's frame loop is built twice, and a quad is what suits each build:
// one AVX register in the AVX loop, two SSE2 registers (a PairedQuad) in the
// baseline loop, which every x86-64 processor can run. A four-double vector in
// code built without AVX would not do: the compiler keeps it in memory, builds
// every broadcast through the stack and tests each lane of a compare with a
// branch.
//
// AVX quads only ever pass between helpers that are inlined into one function,
// so the calling convention for 32-byte vectors never matters (hence
// -Wno-psabi).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace orbelune {

typedef double DoublePair __attribute__((vector_size(2 * sizeof(double))));
typedef double DoubleQuad __attribute__((vector_size(4 * sizeof(double))));
typedef float FloatPair __attribute__((vector_size(2 * sizeof(float))));
typedef float FloatQuad __attribute__((vector_size(4 * sizeof(float))));  // a quad narrowed for output

// Helpers that must melt into the function that calls them, so that a quad is
// compiled for the instruction set that function was built for.
#define ORBELUNE_LANES_INLINE inline __attribute__((always_inline))

// The instruction sets the engine's frame loop is built for. Both give the same
// bits; a step that works on quads takes the loop as a template argument.
enum class FrameLoop { baseline, avx };

// Four doubles as two pairs: lanes 0 and 1 in `low`, 2 and 3 in `high`.
struct PairedQuad {
    DoublePair low;
    DoublePair high;
    double operator[](int lane) const { return lane < 2 ? low[lane] : high[lane - 2]; }
};
static_assert(sizeof(PairedQuad) == sizeof(DoubleQuad));

ORBELUNE_LANES_INLINE PairedQuad operator+(PairedQuad a, PairedQuad b) { return {a.low + b.low, a.high + b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator-(PairedQuad a, PairedQuad b) { return {a.low - b.low, a.high - b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator*(PairedQuad a, PairedQuad b) { return {a.low * b.low, a.high * b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator/(PairedQuad a, PairedQuad b) { return {a.low / b.low, a.high / b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator+(PairedQuad a, double b) { return {a.low + b, a.high + b}; }
ORBELUNE_LANES_INLINE PairedQuad operator-(PairedQuad a, double b) { return {a.low - b, a.high - b}; }
ORBELUNE_LANES_INLINE PairedQuad operator*(PairedQuad a, double b) { return {a.low * b, a.high * b}; }
ORBELUNE_LANES_INLINE PairedQuad operator/(PairedQuad a, double b) { return {a.low / b, a.high / b}; }
ORBELUNE_LANES_INLINE PairedQuad operator+(double a, PairedQuad b) { return {a + b.low, a + b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator-(double a, PairedQuad b) { return {a - b.low, a - b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator*(double a, PairedQuad b) { return {a * b.low, a * b.high}; }
ORBELUNE_LANES_INLINE PairedQuad operator/(double a, PairedQuad b) { return {a / b.low, a / b.high}; }

// The quad each frame loop works with.
template <FrameLoop kLoop>
using Quad = std::conditional_t<kLoop == FrameLoop::avx, DoubleQuad, PairedQuad>;

template <typename Lanes>
constexpr int laneCount = static_cast<int>(sizeof(Lanes) / sizeof(Lanes{}[0]));

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
ORBELUNE_LANES_INLINE Lanes quadOf(double lane0, double lane1, double lane2, double lane3) {
    if constexpr (std::is_same_v<Lanes, PairedQuad>) {
        return {DoublePair{lane0, lane1}, DoublePair{lane2, lane3}};
    } else {
        return Lanes{lane0, lane1, lane2, lane3};
    }
}

template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes everyLane(double value) {
    return quadOf<Lanes>(value, value, value, value);
}

// fabs of each element of a vector: the sign bit cleared, nothing else touched.
template <typename Vector>
ORBELUNE_LANES_INLINE Vector magnitudes(Vector values) {
    typedef std::uint64_t Bits __attribute__((vector_size(sizeof(Vector))));
    constexpr std::uint64_t kAllButSign = ~(std::uint64_t{1} << 63);
    Bits bits;
    std::memcpy(&bits, &values, sizeof(bits));
    bits &= kAllButSign;
    Vector result;
    std::memcpy(&result, &bits, sizeof(result));
    return result;
}

ORBELUNE_LANES_INLINE PairedQuad magnitudes(PairedQuad values) {
    return {magnitudes(values.low), magnitudes(values.high)};
}

// `then` in the lanes where `value` is above `threshold`, `otherwise` elsewhere
// (a NaN is never above).
ORBELUNE_LANES_INLINE DoubleQuad whereAbove(DoubleQuad value, DoubleQuad threshold, DoubleQuad then,
                                            DoubleQuad otherwise) {
    return value > threshold ? then : otherwise;
}

ORBELUNE_LANES_INLINE PairedQuad whereAbove(PairedQuad value, PairedQuad threshold, PairedQuad then,
                                            PairedQuad otherwise) {
    return {value.low > threshold.low ? then.low : otherwise.low,
            value.high > threshold.high ? then.high : otherwise.high};
}

// The same for the lanes where `value` is below `threshold`.
template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes whereBelow(Lanes value, Lanes threshold, Lanes then, Lanes otherwise) {
    return whereAbove(threshold, value, then, otherwise);
}

// Lanes 3 to 6 of `first` followed by `second`.
ORBELUNE_LANES_INLINE DoubleQuad lanesThreeToSix(DoubleQuad first, DoubleQuad second) {
    return __builtin_shufflevector(first, second, 3, 4, 5, 6);
}

ORBELUNE_LANES_INLINE PairedQuad lanesThreeToSix(PairedQuad first, PairedQuad second) {
    return {__builtin_shufflevector(first.high, second.low, 1, 2),
            __builtin_shufflevector(second.low, second.high, 1, 2)};
}

// Each lane rounded to the nearest float.
ORBELUNE_LANES_INLINE FloatQuad narrowToFloats(DoubleQuad values) { return __builtin_convertvector(values, FloatQuad); }

ORBELUNE_LANES_INLINE FloatQuad narrowToFloats(PairedQuad values) {
    return __builtin_shufflevector(__builtin_convertvector(values.low, FloatPair),
                                   __builtin_convertvector(values.high, FloatPair), 0, 1, 2, 3);
}

// Zeroes the values from `count` up to the next whole quad, so that the last,
// part-filled quad of a stretch reads defined values in its unused lanes.
inline void clearPartQuad(double* values, int count) {
    for (int index = count; index % 4 != 0; ++index) values[index] = 0.0;
}

}  // namespace orbelune
