#include "engine/processing.h"

#include <algorithm>
#include <cstring>

#include "engine/delay_lines.h"
#include "engine/network.h"
#include "engine/output_stage.h"
#include "engine/side_chain.h"

namespace orbelune {

namespace {

constexpr int kLeft = 0;
constexpr int kRight = 1;

float parameter(const ParameterValues& params, ParamIndex index) {
    return params[index].load(std::memory_order_relaxed);
}

bool passesThrough(const ParameterValues& params, bool hostBypass) {
    return hostBypass || parameter(params, kParamBypass) > 0.5f;
}

void copyThrough(const float* const* inputs, float* const* outputs, std::int32_t frames) {
    if (frames <= 0) return;
    for (int channel = kLeft; channel <= kRight; ++channel) {
        if (inputs[channel] == outputs[channel]) continue;
        std::memmove(outputs[channel], inputs[channel], static_cast<std::size_t>(frames) * sizeof(float));
    }
}

}  // namespace

void processBlock(EngineState& engine, const ParameterValues& params, bool hostBypass, double sampleRate,
                  std::atomic<float>& outputMeter, const float* const* inputs, float* const* outputs,
                  std::int32_t frames) noexcept {
    if (passesThrough(params, hostBypass)) {
        copyThrough(inputs, outputs, frames);
        return;
    }
    // The exchange comes before reading "Size", so the rebuild sees the value
    // stored before the request was raised.
    if (engine.rebuildRequested.exchange(0) != 0) {
        rebuildDelayLines(engine, sampleRate, parameter(params, kParamSize));
    }

    const NetworkBlockValues network =
        networkBlockValues(engine, parameter(params, kParamDecay), parameter(params, kParamDamping),
                           parameter(params, kParamPreDelay), sampleRate);
    const OutputBlockValues output = outputBlockValues(parameter(params, kParamWidth), parameter(params, kParamMix));

    const float* inLeft = inputs[kLeft];
    const float* inRight = inputs[kRight];
    float* outLeft = outputs[kLeft];
    float* outRight = outputs[kRight];
    float blockPeak = 0.0f;
    OscillatorStretch oscillator;
    for (std::int32_t stretchStart = 0; stretchStart < frames; stretchStart += kOscillatorStretch) {
        const int stretchFrames = static_cast<int>(std::min<std::int32_t>(kOscillatorStretch, frames - stretchStart));
        runOscillatorAhead(engine, stretchFrames, oscillator);
        for (int offset = 0; offset < stretchFrames; ++offset) {
            const std::int32_t frame = stretchStart + offset;
            const double left = inLeft[frame];
            const double right = inRight[frame];

            analyseFrame(engine, left, right, oscillator.lfo[offset]);
            const double feedbackGain = feedbackGainFor(network, engine);
            const StereoPair delayed = preDelay(engine, network.preDelaySamples, left, right);
            const StereoPair injection = lowCut(engine, network.lowCutCoef, delayed);
            const double injectGain = injectGainFor(engine);

            double lineOut[kLineCount];
            double lineMix[kLineCount];
            readLines(engine, lineOut);
            if (!mixLines(lineOut, lineMix)) clearNetwork(engine, lineOut, lineMix);
            const double dampCoef = dampCoefFor(network.dampBase, engine.crestDamp);
            dampAndWriteBack(engine, lineMix, feedbackGain, dampCoef, injection, injectGain);

            outputFrame(engine, output, oscillator.lfoTanh[offset], lineOut, left, right, outLeft[frame],
                        outRight[frame], blockPeak);
        }
    }
    updateOutputMeter(outputMeter, blockPeak);
}

}  // namespace orbelune
