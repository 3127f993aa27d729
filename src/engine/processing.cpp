#include "engine/processing.h"

#include <algorithm>
#include <cstring>

#include "engine/delay_lines.h"
#include "engine/network.h"
#include "engine/output_stage.h"
#include "engine/side_chain.h"
#include "platform/vector_width.h"

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

// A frame's network falls into two halves. The first, frame after frame, runs
// the recursive parts: pre-delay, low cut, line reads, mixing and damping. The
// second runs the rest: feedback, soft limit and write-back. Within a run of
// frames in which no line wraps, no frame's second half feeds any later frame
// (each frame writes only the sample it read, and no later frame of the run
// reads it), so the run does all first halves, then all second halves: those have
// no chain from frame to frame and their divisions overlap.
//
// A frame that clears the network also erases what the run's earlier frames
// wrote, so their second halves are left out.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void networkRun(EngineState& engine, const NetworkBlockValues& network,
                                      const ControlStretch& controls, int first, const double* left,
                                      const double* right, int frames, double (*lineOut)[kLineCount]) {
    const LineCursors cursors = lineCursors(engine);
    StereoPair injectLow = {engine.injectLow[0], engine.injectLow[1]};
    LineQuads<kLoop> damp = loadLineQuads<kLoop>(engine.lineDamp);
    LineQuads<kLoop> dampBeforeWrites = damp;  // the states the first written frame couples from
    LineQuads<kLoop> damped[kOscillatorStretch];
    Quad<kLoop> injected[kOscillatorStretch];
    int firstWritten = 0;
    for (int step = 0; step < frames; ++step) {
        const FrameControls frame = controls.at(first + step);
        const StereoPair delayed = preDelay(engine, network.preDelaySamples, left[step], right[step]);
        const StereoPair injection = lowCut(injectLow, network.lowCutCoef, delayed);
        LineQuads<kLoop> lineMix;
        if (!mixLines(readLines<kLoop>(cursors, step, lineOut[step]), lineMix)) {
            clearNetwork(engine, lineOut[step]);
            injectLow = StereoPair{};
            lineMix = damp = dampBeforeWrites = LineQuads<kLoop>{};
            firstWritten = step;
        }
        damp = dampLines(damp, lineMix, dampCoefFor(network.dampBase, frame.crestDamp));
        damped[step] = damp;
        injected[step] = injectedQuad<kLoop>(injection, injectGainFor(frame));
    }
    storeLineQuads(engine.lineDamp, damp);
    engine.injectLow[0] = injectLow.left;
    engine.injectLow[1] = injectLow.right;

    for (int step = firstWritten; step < frames; ++step) {
        const LineQuads<kLoop>& previous = step == firstWritten ? dampBeforeWrites : damped[step - 1];
        const FrameControls frame = controls.at(first + step);
        const LineQuads<kLoop> written =
            limitLines(damped[step], coupledSources(previous, damped[step]), feedbackGainFor(network, frame),
                       couplingFor(frame), injected[step]);
        writeLines(cursors, step, written);
    }
    advanceLines(engine, frames);
}

// Up to kOscillatorStretch frames, stage by stage: every frame's analysis, then
// every frame's network, then every frame's output. No stage reads what a later
// one writes within a frame, so this gives the bits of running the stages frame
// by frame, while each stage's loop runs without the others' calls in between.
// All inputs of the stretch are read before its first output is written.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void processStretch(EngineState& engine, const NetworkBlockValues& network,
                                          const OutputBlockValues& output, const float* const* inputs,
                                          float* const* outputs, int frames, float& blockPeak) {
    double left[kOscillatorStretch];
    double right[kOscillatorStretch];
    for (int frame = 0; frame < frames; ++frame) {
        left[frame] = inputs[kLeft][frame];
        right[frame] = inputs[kRight][frame];
    }
    clearPartQuad(left, frames);
    clearPartQuad(right, frames);

    ControlStretch controls;
    analyseStretch<kLoop>(engine, left, right, frames, controls);

    // The network in runs that end where a line wraps, so that its frames address
    // the lines by a step from fixed cursors.
    double lineOut[kOscillatorStretch][kLineCount];
    for (int runStart = 0; runStart < frames;) {
        const int runFrames = static_cast<int>(std::min<std::int32_t>(frames - runStart, framesBeforeWrap(engine)));
        networkRun<kLoop>(engine, network, controls, runStart, left + runStart, right + runStart, runFrames,
                          lineOut + runStart);
        runStart += runFrames;
    }

    outputStretch<kLoop>(engine, output, controls, lineOut, left, right, frames, outputs[kLeft], outputs[kRight],
                         blockPeak);
}

template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void processFrames(EngineState& engine, const NetworkBlockValues& network,
                                         const OutputBlockValues& output, const float* const* inputs,
                                         float* const* outputs, std::int32_t frames, float& blockPeak) {
    for (std::int32_t stretchStart = 0; stretchStart < frames; stretchStart += kOscillatorStretch) {
        const int stretchFrames = static_cast<int>(std::min<std::int32_t>(kOscillatorStretch, frames - stretchStart));
        const float* const stretchInputs[2] = {inputs[kLeft] + stretchStart, inputs[kRight] + stretchStart};
        float* const stretchOutputs[2] = {outputs[kLeft] + stretchStart, outputs[kRight] + stretchStart};
        processStretch<kLoop>(engine, network, output, stretchInputs, stretchOutputs, stretchFrames, blockPeak);
    }
}

// The frame loop, built once per instruction set.
void processFramesBaseline(EngineState& engine, const NetworkBlockValues& network, const OutputBlockValues& output,
                           const float* const* inputs, float* const* outputs, std::int32_t frames, float& blockPeak) {
    processFrames<FrameLoop::baseline>(engine, network, output, inputs, outputs, frames, blockPeak);
}

ORBELUNE_AVX_TARGET void processFramesAvx(EngineState& engine, const NetworkBlockValues& network,
                                          const OutputBlockValues& output, const float* const* inputs,
                                          float* const* outputs, std::int32_t frames, float& blockPeak) {
    processFrames<FrameLoop::avx>(engine, network, output, inputs, outputs, frames, blockPeak);
}

// Decided once, when the module loads, so the audio thread never asks.
const FrameLoop kFastestFrameLoop = processorHasAvx() ? FrameLoop::avx : FrameLoop::baseline;

}  // namespace

FrameLoop fastestFrameLoop() noexcept { return kFastestFrameLoop; }

void processBlock(EngineState& engine, const ParameterValues& params, bool hostBypass, double sampleRate,
                  std::atomic<float>& outputMeter, const float* const* inputs, float* const* outputs,
                  std::int32_t frames) noexcept {
    processBlock(engine, params, hostBypass, sampleRate, outputMeter, inputs, outputs, frames, kFastestFrameLoop);
}

void processBlock(EngineState& engine, const ParameterValues& params, bool hostBypass, double sampleRate,
                  std::atomic<float>& outputMeter, const float* const* inputs, float* const* outputs,
                  std::int32_t frames, FrameLoop loop) noexcept {
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
    // Asked for AVX on a processor without it, the baseline runs instead.
    if (loop == FrameLoop::avx && kFastestFrameLoop == FrameLoop::avx) {
        processFramesAvx(engine, network, output, inputs, outputs, frames, blockPeak);
    } else {
        processFramesBaseline(engine, network, output, inputs, outputs, frames, blockPeak);
    }
    updateOutputMeter(outputMeter, blockPeak);
}

}  // namespace orbelune
