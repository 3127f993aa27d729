// One block of audio through the reverb: pass-through test, pending rebuild,
// then frame by frame the side chain, the network and the output stage.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/double_lanes.h"
#include "engine/engine_state.h"

namespace orbelune {

// Runs on the audio thread. Reads every input sample of a frame before writing
// that frame's outputs, so inputs and outputs may be the same buffers. Never
// allocates: a pending rebuild stays inside the capacity reserved at preparation.
void processBlock(EngineState& engine, const ParameterValues& params, bool hostBypass, double sampleRate,
                  std::atomic<float>& outputMeter, const float* const* inputs, float* const* outputs,
                  std::int32_t frames) noexcept;

// processBlock runs the fastest frame loop the processor has; tests and
// benchmarks may choose (a loop the processor lacks gives the baseline).
FrameLoop fastestFrameLoop() noexcept;
void processBlock(EngineState& engine, const ParameterValues& params, bool hostBypass, double sampleRate,
                  std::atomic<float>& outputMeter, const float* const* inputs, float* const* outputs,
                  std::int32_t frames, FrameLoop loop) noexcept;

}  // namespace orbelune
