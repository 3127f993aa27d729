// The delay network: pre-delay rings, the input low cut, and eight prime-length
// lines mixed by a Householder matrix, damped, cross-coupled, softly limited and
// written back with the input (even lines from the left, odd from the right).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/double_lanes.h"
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

// One-pole low-pass per side, on `state` (the instance's injectLow, held locally
// over a run); the network hears the input minus 55 % of it.
inline StereoPair lowCut(StereoPair& state, double lowCutCoef, StereoPair delayed) {
    state.left = (delayed.left - state.left) * lowCutCoef + state.left;
    state.right = (delayed.right - state.right) * lowCutCoef + state.right;
    return {delayed.left - kLowCutDepth * state.left, delayed.right - kLowCutDepth * state.right};
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

// The eight lines' values of one frame, four lines to a quad.
template <FrameLoop kLoop>
struct LineQuads {
    Quad<kLoop> low;   // lines 0 to 3
    Quad<kLoop> high;  // lines 4 to 7
};

template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE LineQuads<kLoop> loadLineQuads(const double* values) {
    return {loadLanes<Quad<kLoop>>(values), loadLanes<Quad<kLoop>>(values + kLineCount / 2)};
}

template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void storeLineQuads(double* values, const LineQuads<kLoop>& quads) {
    storeLanes(values, quads.low);
    storeLanes(values + kLineCount / 2, quads.high);
}

// Every line is read before any line is written in the frame. The samples go
// straight into registers (and from there to `lineOut`, which the output stage
// reads), so that no wide load has to wait for eight narrow stores.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE LineQuads<kLoop> readLines(const LineCursors& cursors, int step, double* lineOut) {
    double read[kLineCount];
    for (int line = 0; line < kLineCount; ++line) read[line] = cursors.at[line][step];
    const LineQuads<kLoop> quads = {quadOf<Quad<kLoop>>(read[0], read[1], read[2], read[3]),
                                    quadOf<Quad<kLoop>>(read[4], read[5], read[6], read[7])};
    storeLineQuads(lineOut, quads);
    return quads;
}

// Householder mix: every line minus a quarter of their sum, the sum taken from
// line 0 upward. Returns false when the sum is not finite, that is when the
// network's state has gone bad.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE bool mixLines(const LineQuads<kLoop>& lineOut, LineQuads<kLoop>& lineMix) {
    double sum = lineOut.low[0];
    for (int line = 1; line < kLineCount / 2; ++line) sum += lineOut.low[line];
    for (int line = 0; line < kLineCount / 2; ++line) sum += lineOut.high[line];
    if (!std::isfinite(sum)) return false;
    const double mean = kHouseholderWeight * sum;
    lineMix = {lineOut.low - mean, lineOut.high - mean};
    return true;
}

// Empties the lines, their damping and the input low cut, and has the frame read
// silence: the way back from a non-finite state.
void clearNetwork(EngineState& engine, double* lineOut);

inline double dampCoefFor(double dampBase, double crestDamp) {
    const double coef = (kDampCrestDepth * crestDamp + kDampCrestBase) * dampBase;
    if (coef > kMaxDampCoef) return kMaxDampCoef;
    if (!(coef >= kMinDampCoef)) return kMinDampCoef;
    return coef;
}

// Each line's mixed value through its one-pole low-pass; returns the new states.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE LineQuads<kLoop> dampLines(const LineQuads<kLoop>& damp, const LineQuads<kLoop>& lineMix,
                                                 double dampCoef) {
    return {(lineMix.low - damp.low) * dampCoef + damp.low, (lineMix.high - damp.high) * dampCoef + damp.high};
}

// Line j + 3's damping state as it stands when line j is updated in increasing
// order: the previous frame's for lines 0 to 4 (lines 3 to 7), this frame's for
// lines 5 to 7 (lines 0 to 2).
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE LineQuads<kLoop> coupledSources(const LineQuads<kLoop>& previous,
                                                      const LineQuads<kLoop>& current) {
    static_assert(kCouplingOffset == 3, "the selection below takes lanes 3 to 6 of two quads side by side");
    return {lanesThreeToSix(previous.low, previous.high), lanesThreeToSix(previous.high, current.low)};
}

// Gain 1/(0.35·O² + 1) for O > 0, 1/6.6 from O = 4 on (NaN included), 1 below.
template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes softLimit(Lanes value) {
    const Lanes excess =
        ((((value * kLimiterScale) * value - kLimiterKnee) * kLimiterUp) / kLimiterDown) / kLimiterDownAgain;
    const Lanes curveGain = 1.0 / (excess * (kLimiterCurve * excess) + 1.0);
    const Lanes belowCeiling = whereAbove(excess, everyLane<Lanes>(0.0), curveGain, everyLane<Lanes>(1.0));
    return value * whereBelow(excess, everyLane<Lanes>(kLimiterCeiling), belowCeiling,
                              everyLane<Lanes>(kLimiterCeilingGain));
}

// Weight of line j + 3's damped value in line j's feedback.
inline double couplingFor(const FrameControls& controls) {
    return (controls.lfo * kCouplingDepth) * (controls.levelCubed + 1.0);
}

// The frame's input times injectGain, as the lines take it: left for even lines,
// right for odd.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE Quad<kLoop> injectedQuad(StereoPair injection, double injectGain) {
    return quadOf<Quad<kLoop>>(injection.left, injection.right, injection.left, injection.right) * injectGain;
}

// For all lines: feedback with the coupled line, soft limit and the input added:
// the values the frame writes back.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE LineQuads<kLoop> limitLines(const LineQuads<kLoop>& damped, const LineQuads<kLoop>& coupled,
                                                  double feedbackGain, double coupling, Quad<kLoop> injected) {
    return {injected + softLimit(coupling * coupled.low + damped.low * feedbackGain),
            injected + softLimit(coupling * coupled.high + damped.high * feedbackGain)};
}

// The sample is written where the frame read it.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void writeLines(const LineCursors& cursors, int step, const LineQuads<kLoop>& written) {
    for (int line = 0; line < kLineCount / 2; ++line) {
        cursors.at[line][step] = written.low[line];
        cursors.at[line + kLineCount / 2][step] = written.high[line];
    }
}

}  // namespace orbelune
