// The pre-delay rings and the eight prime-length lines of the network.
#pragma once

#include <cstdint>

#include "engine/engine_state.h"

namespace orbelune {

// Line lengths in samples at 44100 Hz for a scale of 1; all prime, chosen so that
// no two lines share a common period.
constexpr std::int32_t baseLineLengths[kLineCount] = {1087, 1283, 1489, 1721, 1993, 2309, 2671, 3089};

// Nearest prime to `target`; the larger one on a tie, 2 for targets of 2 or less.
std::int32_t nearestPrime(std::int32_t target);
bool isPrime(std::int64_t candidate);

// Length of the pre-delay rings: a quarter of a second.
std::int32_t preDelayRingLength(double sampleRate);
// Length of line `line` for a "Size" value at a rate.
std::int32_t lineLengthFor(int line, float size, double sampleRate);

// Grows the buffers' capacity to what the largest "Size" asks for at this rate, so
// that a later rebuild at the same rate never allocates (the audio thread runs the
// rebuild a "Size" change asks for). Returns false when memory is exhausted.
bool reserveDelayBuffers(EngineState& engine, double sampleRate) noexcept;

// Sizes and clears all ten buffers for the rate and "Size"; cuts the tail.
void rebuildDelayLines(EngineState& engine, double sampleRate, float size);

}  // namespace orbelune
