// The delay network: pre-delay rings, the input low cut, and eight prime-length
// lines mixed by a Householder matrix, damped, cross-coupled, softly limited and
// written back with the input (even lines from the left, odd from the right).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/double_pair.h"
#include "engine/engine_state.h"
#include "engine/side_chain.h"

namespace orbelune {

constexpr double kMaxPreDelaySeconds = 0.12;  // "Pre-Delay" 1
constexpr double kDecayBaseRange = 0.585;     // decayBase runs from 0.4 ("Decay" 0) to 0.985 ("Decay" 1)
constexpr double kDecayBaseFloor = 0.4;
constexpr double kDampBaseRange = 0.7;        // dampBase runs from 0.85 ("Damping" 0) to 0.15 ("Damping" 1)
constexpr double kDampBaseFloor = 0.15;
constexpr double kLevelSquaredFeedback = 0.08;  // loud input lengthens the tail: up to 0.08·(1 − decayBase)·81/91
constexpr double kLevelPowFeedback = 0.06;      // and 0.06·(1 − decayBase) more
constexpr double kMaxFeedbackGain = 0.985;
constexpr double kLowCutRadiansPerSecond = 2136.2830044410593;  // 2π·340 Hz
constexpr double kLowCutDepth = 0.55;      // the input loses 55 % of what lies below 340 Hz
constexpr double kInjectBase = 0.35;       // injectGain is at least 0.35
constexpr double kInjectTransient = 0.3;   // onsets push the input harder into the lines
constexpr double kInjectLevel = 0.4;       // and so does loud input
constexpr double kHouseholderWeight = 0.25;  // 2/8: I − (2/8)·ones keeps the energy of eight lines
constexpr double kDampCrestDepth = 0.35;   // spiky input (crestDamp towards 1/3) damps more
constexpr double kDampCrestBase = 0.8;
constexpr double kMinDampCoef = 0.05;
constexpr double kMaxDampCoef = 0.95;
constexpr double kCouplingDepth = 0.025;   // the oscillator couples line j + 3 into line j by up to ±5 %
constexpr int kCouplingOffset = 3;

// Soft limiter: O = ((((V·116)·V − 0.00375)·100)/20)/580, which is V² − 0.00375/116;
// its gain is 1/(0.35·O² + 1) above 0, and 1/6.6 from O = 4 on.
constexpr double kLimiterScale = 116.0;
constexpr double kLimiterKnee = 0.00375;
constexpr double kLimiterUp = 100.0;
constexpr double kLimiterDown = 20.0;
constexpr double kLimiterDownAgain = 580.0;
constexpr double kLimiterCurve = 0.35;
constexpr double kLimiterCeiling = 4.0;
constexpr double kLimiterCeilingGain = 1.0 / (kLimiterCeiling * (kLimiterCurve * kLimiterCeiling) + 1.0);

struct StereoPair {
    double left;
    double right;
};

// Values the network takes once per block.
struct NetworkBlockValues {
    std::int32_t preDelaySamples;
    double decayBase;
    double levelSquaredGain;  // 0.08·(1 − decayBase)
    double levelPowGain;      // (1 − decayBase)·0.06
    double dampBase;
    double lowCutCoef;        // step size of the input low cut
};

inline NetworkBlockValues networkBlockValues(const EngineState& engine, float decay, float damping, float preDelay,
                                             double sampleRate) {
    const auto ringLength = static_cast<std::int32_t>(engine.preDelayLeft.size());
    const auto requested = static_cast<std::int32_t>((static_cast<double>(preDelay) * kMaxPreDelaySeconds) * sampleRate);
    const std::int32_t preDelaySamples = std::max(0, std::min(requested, ringLength - 1));
    const double decayBase = static_cast<double>(decay) * kDecayBaseRange + kDecayBaseFloor;
    return {preDelaySamples,
            decayBase,
            kLevelSquaredFeedback * (1.0 - decayBase),
            (1.0 - decayBase) * kLevelPowFeedback,
            (1.0 - static_cast<double>(damping)) * kDampBaseRange + kDampBaseFloor,
            kLowCutRadiansPerSecond / sampleRate};
}

inline double feedbackGainFor(const NetworkBlockValues& block, const FrameControls& controls) {
    const double gain =
        (block.levelSquaredGain * controls.levelSquared + block.levelPowGain * controls.levelPow) + block.decayBase;
    return gain > kMaxFeedbackGain ? kMaxFeedbackGain : gain;
}

// Stores the frame's input in the rings and returns the input of D frames ago
// (this very frame's with D = 0). Unusable samples are stored as silence, so a
// NaN or an overflowing magnitude never reaches the recursive state.
inline StereoPair preDelay(EngineState& engine, std::int32_t preDelaySamples, double left, double right) {
    const std::int32_t writePos = engine.preDelayWritePos;
    const auto ringLength = static_cast<std::int32_t>(engine.preDelayLeft.size());
    engine.preDelayLeft[writePos] = isUsableMagnitude(std::fabs(left)) ? left : 0.0;
    engine.preDelayRight[writePos] = isUsableMagnitude(std::fabs(right)) ? right : 0.0;
    std::int32_t readPos = writePos - preDelaySamples;
    if (readPos < 0) readPos += ringLength;
    engine.preDelayWritePos = writePos + 1 == ringLength ? 0 : writePos + 1;
    return {engine.preDelayLeft[readPos], engine.preDelayRight[readPos]};
}

// One-pole low-pass per side; the network hears the input minus 55 % of it.
inline StereoPair lowCut(EngineState& engine, double lowCutCoef, StereoPair delayed) {
    double* state = engine.injectLow;
    state[0] = (delayed.left - state[0]) * lowCutCoef + state[0];
    state[1] = (delayed.right - state[1]) * lowCutCoef + state[1];
    return {delayed.left - kLowCutDepth * state[0], delayed.right - kLowCutDepth * state[1]};
}

inline double injectGainFor(const FrameControls& controls) {
    const double transient = controls.transientSmoothed > 0.0 ? controls.transientSmoothed : 0.0;
    return kInjectBase * ((transient * kInjectTransient) + (controls.levelPow * kInjectLevel + 1.0));
}


// Each line's sample at its current position. Within a run of frames in which no
// line wraps, frame `step` of the run reads and writes at[line][step].
struct LineCursors {
    double* at[kLineCount];
};

inline LineCursors lineCursors(EngineState& engine) {
    LineCursors cursors;
    for (int line = 0; line < kLineCount; ++line) cursors.at[line] = engine.lines[line].data() + engine.linePos[line];
    return cursors;
}

// Frames until the first line reaches its end; at least 1.
inline std::int32_t framesBeforeWrap(const EngineState& engine) {
    std::int32_t frames = engine.lineLength[0] - engine.linePos[0];
    for (int line = 1; line < kLineCount; ++line) frames = std::min(frames, engine.lineLength[line] - engine.linePos[line]);
    return frames;
}

// Moves every line on by `frames`, at most framesBeforeWrap.
inline void advanceLines(EngineState& engine, std::int32_t frames) {
    for (int line = 0; line < kLineCount; ++line) {
        std::int32_t& pos = engine.linePos[line];
        pos += frames;
        if (pos == engine.lineLength[line]) pos = 0;
    }
}

// Every line is read before any line is written in the frame.
inline void readLines(const LineCursors& cursors, int step, double* lineOut) {
    for (int line = 0; line < kLineCount; ++line) lineOut[line] = cursors.at[line][step];
}

// Householder mix: every line minus a quarter of their sum. Returns false when
// the sum is not finite, that is when the network's state has gone bad.
inline bool mixLines(const double* lineOut, double* lineMix) {
    double sum = lineOut[0];
    for (int line = 1; line < kLineCount; ++line) sum += lineOut[line];
    if (!std::isfinite(sum)) return false;
    const double mean = kHouseholderWeight * sum;
    for (int line = 0; line < kLineCount; ++line) lineMix[line] = lineOut[line] - mean;
    return true;
}

// Empties the lines, their damping and the input low cut, and has the frame read
// silence: the way back from a non-finite state.
void clearNetwork(EngineState& engine, double* lineOut, double* lineMix);

inline double dampCoefFor(double dampBase, double crestDamp) {
    const double coef = (kDampCrestDepth * crestDamp + kDampCrestBase) * dampBase;
    if (coef > kMaxDampCoef) return kMaxDampCoef;
    if (!(coef >= kMinDampCoef)) return kMinDampCoef;
    return coef;
}

// Two lines' values side by side: lines are handled in pairs.
using LinePair = DoublePair;
constexpr int kLinePairs = kLineCount / 2;

// Gain 1/(0.35·O² + 1) for O > 0, 1/6.6 from O = 4 on (NaN included), 1 below.
inline LinePair softLimit(LinePair value) {
    const LinePair excess =
        ((((value * kLimiterScale) * value - kLimiterKnee) * kLimiterUp) / kLimiterDown) / kLimiterDownAgain;
    const LinePair curveGain = 1.0 / (excess * (kLimiterCurve * excess) + 1.0);
    const LinePair gain =
        excess < kLimiterCeiling ? (excess > 0.0 ? curveGain : bothOf(1.0)) : bothOf(kLimiterCeilingGain);
    return value * gain;
}

// Weight of line j + 3's damped value in line j's feedback.
inline double couplingFor(const FrameControls& controls) {
    return (controls.lfo * kCouplingDepth) * (controls.levelCubed + 1.0);
}

// A frame's network falls into two halves. The first, frame after frame, runs
// the recursive parts: pre-delay, low cut, mixing and damping. The second takes
// what the first leaves here and runs the rest: feedback, soft limit and
// write-back. No frame's second half feeds any later frame within a run that does
// not wrap (each frame writes only the sample it read, and no later frame of the
// run reads it), so a run can do all first halves, then all second halves: those
// have no chain from frame to frame and their divisions overlap.
struct DampedLines {
    double damped[kLineCount];
    // Line j + 3's damping state as it stands when line j is updated in
    // increasing order: last frame's for lines 0 to 4, this frame's for 5 to 7.
    double coupledSource[kLineCount];
    LinePair injected;  // injection·injectGain: left for even lines, right for odd
};

// Damps every line's mixed value into its damping state and keeps the values the
// second half needs.
inline void dampLines(double* lineDamp, const double* lineMix, double dampCoef, DampedLines& frame) {
    double previous[kLineCount];
    std::memcpy(previous, lineDamp, sizeof(previous));
    for (int pair = 0; pair < kLinePairs; ++pair) {
        const int first = 2 * pair;
        const LinePair before = loadPair(previous + first);
        storePair(lineDamp + first, (loadPair(lineMix + first) - before) * dampCoef + before);
    }
    std::memcpy(frame.damped, lineDamp, sizeof(frame.damped));
    for (int line = 0; line < kLineCount; ++line) {
        const int source = (line + kCouplingOffset) % kLineCount;
        frame.coupledSource[line] = source > line ? previous[source] : lineDamp[source];
    }
}

inline LinePair injectedPair(StereoPair injection, double injectGain) {
    return LinePair{injection.left, injection.right} * injectGain;
}

// For all lines: feedback with the coupled line, soft limit and the input added:
// the values the frame writes back.
inline void limitLines(const DampedLines& frame, double feedbackGain, double coupling, double* written) {
    for (int pair = 0; pair < kLinePairs; ++pair) {
        const int first = 2 * pair;
        const LinePair feedback =
            coupling * loadPair(frame.coupledSource + first) + loadPair(frame.damped + first) * feedbackGain;
        storePair(written + first, frame.injected + softLimit(feedback));
    }
}

// The sample is written where the frame read it.
inline void writeLines(const LineCursors& cursors, int step, const double* written) {
    for (int line = 0; line < kLineCount; ++line) cursors.at[line][step] = written[line];
}

}  // namespace orbelune
