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

// The first half of the frame's network: pre-delay, low cut, line reads, mix and
// damping, as frame `step` of a run in which no line wraps. Leaves the raw line
// outputs in `lineOut`. Returns false when the network had gone bad and was
// cleared in this frame.
bool mixAndDampFrame(EngineState& engine, const NetworkBlockValues& network, const FrameControls& controls,
                     const LineCursors& cursors, int step, double left, double right, double* lineOut,
                     DampedLines& damped) {
    const StereoPair delayed = preDelay(engine, network.preDelaySamples, left, right);
    const StereoPair injection = lowCut(engine, network.lowCutCoef, delayed);

    double lineMix[kLineCount];
    readLines(cursors, step, lineOut);
    const bool sound = mixLines(lineOut, lineMix);
    if (!sound) clearNetwork(engine, lineOut, lineMix);
    dampLines(engine.lineDamp, lineMix, dampCoefFor(network.dampBase, controls.crestDamp), damped);
    damped.injected = injectedPair(injection, injectGainFor(controls));
    return sound;
}

// The second half: feedback gain, coupling, soft limit and write-back.
void limitAndWriteFrame(const NetworkBlockValues& network, const FrameControls& controls, const DampedLines& damped,
                        const LineCursors& cursors, int step) {
    double written[kLineCount];
    limitLines(damped, feedbackGainFor(network, controls), couplingFor(controls), written);
    writeLines(cursors, step, written);
}

// One run of frames in which no line wraps, half by half. A frame that clears the
// network also erases what the run's earlier frames wrote, so their write-back
// is left out.
void networkRun(EngineState& engine, const NetworkBlockValues& network, const FrameControls* controls,
                const double* left, const double* right, int frames, double (*lineOut)[kLineCount]) {
    const LineCursors cursors = lineCursors(engine);
    DampedLines damped[kOscillatorStretch];
    int firstWritten = 0;
    for (int step = 0; step < frames; ++step) {
        if (!mixAndDampFrame(engine, network, controls[step], cursors, step, left[step], right[step], lineOut[step],
                             damped[step])) {
            firstWritten = step;
        }
    }
    for (int step = firstWritten; step < frames; ++step) {
        limitAndWriteFrame(network, controls[step], damped[step], cursors, step);
    }
    advanceLines(engine, frames);
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
        networkRun(engine, network, controls.frame + runStart, left + runStart, right + runStart, runFrames,
                   lineOut + runStart);
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
