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

// The frame's network: feedback gain, pre-delay, low cut, line reads, mix,
// damping and write-back, as frame `step` of a run in which no line wraps.
// Leaves the raw line outputs in `lineOut`.
void networkFrame(EngineState& engine, const NetworkBlockValues& network, const FrameControls& controls,
                  const LineCursors& cursors, int step, double left, double right, double* lineOut) {
    const double feedbackGain = feedbackGainFor(network, controls);
    const StereoPair delayed = preDelay(engine, network.preDelaySamples, left, right);
    const StereoPair injection = lowCut(engine, network.lowCutCoef, delayed);
    const double injectGain = injectGainFor(controls);

    double lineMix[kLineCount];
    readLines(cursors, step, lineOut);
    if (!mixLines(lineOut, lineMix)) clearNetwork(engine, lineOut, lineMix);
    const double dampCoef = dampCoefFor(network.dampBase, controls.crestDamp);
    double written[kLineCount];
    dampAndLimit(engine.lineDamp, lineMix, feedbackGain, dampCoef, couplingFor(controls), injection, injectGain,
                 written);
    writeLines(cursors, step, written);
}

// Up to kOscillatorStretch frames, stage by stage: every frame's analysis, then
// every frame's network, then every frame's output. No stage reads what a later
// one writes within a frame, so this gives the bits of running the stages frame
// by frame, while each stage's loop runs without the others' calls in between.
// All inputs of the stretch are read before its first output is written.
void processStretch(EngineState& engine, const NetworkBlockValues& network, const OutputBlockValues& output,
                    const float* const* inputs, float* const* outputs, int frames, float& blockPeak) {
    double left[kOscillatorStretch] = {};
    double right[kOscillatorStretch] = {};
    for (int frame = 0; frame < frames; ++frame) {
        left[frame] = inputs[kLeft][frame];
        right[frame] = inputs[kRight][frame];
    }

    ControlStretch controls;
    analyseStretch(engine, left, right, frames, controls);

    // The network in runs that end where a line wraps, so that its frames address
    // the lines by a step from fixed cursors.
    double lineOut[kOscillatorStretch][kLineCount];
    for (int runStart = 0; runStart < frames;) {
        const int runFrames = static_cast<int>(std::min<std::int32_t>(frames - runStart, framesBeforeWrap(engine)));
        const LineCursors cursors = lineCursors(engine);
        for (int step = 0; step < runFrames; ++step) {
            const int frame = runStart + step;
            networkFrame(engine, network, controls.frame[frame], cursors, step, left[frame], right[frame],
                         lineOut[frame]);
        }
        advanceLines(engine, runFrames);
        runStart += runFrames;
    }

    for (int frame = 0; frame < frames; ++frame) {
        outputFrame(engine, output, controls.frame[frame], lineOut[frame], left[frame], right[frame],
                    outputs[kLeft][frame], outputs[kRight][frame], blockPeak);
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

    float blockPeak = 0.0f;
    for (std::int32_t stretchStart = 0; stretchStart < frames; stretchStart += kOscillatorStretch) {
        const int stretchFrames = static_cast<int>(std::min<std::int32_t>(kOscillatorStretch, frames - stretchStart));
        const float* const stretchInputs[2] = {inputs[kLeft] + stretchStart, inputs[kRight] + stretchStart};
        float* const stretchOutputs[2] = {outputs[kLeft] + stretchStart, outputs[kRight] + stretchStart};
        processStretch(engine, network, output, stretchInputs, stretchOutputs, stretchFrames, blockPeak);
    }
    updateOutputMeter(outputMeter, blockPeak);
}

}  // namespace orbelune
