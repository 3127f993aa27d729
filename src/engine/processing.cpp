#include "engine/processing.h"

#include <cstring>

#include "engine/delay_lines.h"

namespace orbelune {

void processBlock(EngineState& engine, const ParameterValues& params, bool hostBypass, double sampleRate,
                  std::atomic<float>& outputMeter, const float* const* inputs, float* const* outputs,
                  std::int32_t frames) noexcept {
    (void)outputMeter;
    if (hostBypass || params[kParamBypass].load(std::memory_order_relaxed) > 0.5f) {
        for (int channel = 0; channel < 2; ++channel) {
            if (frames > 0 && inputs[channel] != outputs[channel]) {
                std::memmove(outputs[channel], inputs[channel], static_cast<std::size_t>(frames) * sizeof(float));
            }
        }
        return;
    }
    if (engine.rebuildRequested.exchange(0) != 0) {
        rebuildDelayLines(engine, sampleRate, params[kParamSize].load(std::memory_order_relaxed));
    }
    for (int channel = 0; channel < 2; ++channel) {
        for (std::int32_t frame = 0; frame < frames; ++frame) outputs[channel][frame] = inputs[channel][frame];
    }
}

}  // namespace orbelune
