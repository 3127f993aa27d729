// Bringing an engine to a sample rate: coefficients, filter designs and buffers.
#pragma once

#include "engine/engine_state.h"

namespace orbelune {

constexpr double kMinSampleRate = 8000.0;
// Rates above this are prepared as this rate. Real hosts stop at 768 kHz; the cap
// keeps every buffer length far inside 32 bits and an instance's memory bounded
// when a host sends nonsense (infinity, 3e38).
constexpr double kMaxSampleRate = 1536000.0;

// The rate the engine actually runs at for a requested rate (NaN gives the minimum).
double clampSampleRate(double rate);

// Prepares the engine for `rate` and stores the rate used in `sampleRate`. When the
// buffers for the new rate cannot be obtained, the engine stays prepared for the
// rate it had (its tail cleared, as every preparation clears it) and the result is
// false. Called with an engine that has no buffers yet, a false result means the
// engine is unusable. Never throws.
bool prepareEngine(EngineState& engine, double& sampleRate, double rate, float size) noexcept;

// The seven rate-dependent time constants, the detector interval and the two
// side-signal filter designs; no buffers are touched.
void computeCoefficients(EngineState& engine, double sampleRate);

}  // namespace orbelune
