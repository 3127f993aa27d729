// The side chain: once per frame it follows the input's normalized level, its
// crest, its transients and a 5.8 Hz oscillator. It never touches the audio; its
// fields steer the network's gains and damping and the output's width.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/engine_state.h"

namespace orbelune {

// Input magnitudes at or above this, and non-finite ones, count as silence: they
// can only be faults upstream, and must not reach any recursive state.
constexpr double kInputMagnitudeLimit = 1000000.0;

constexpr double kEnvelopeFloor = 0.001;        // smallest peak envelope: quieter input normalizes below 1
constexpr double kCrestAverageWeight = 0.1;     // the long-term average's weight in the crest's denominator
constexpr double kCrestFloor = 0.04;            // keeps the crest finite in silence
constexpr double kCrestScale = 25.0;            // crest at which crestNorm reaches 1
// levelSquared = level²·81/91 and levelCubed = level³·91/81: at full level the
// square gives 0.89 and the cube is limited to 1.
constexpr double kLevelWeightSmall = 81.0;
constexpr double kLevelWeightLarge = 91.0;
constexpr double kTransientPeakFloor = 0.02;    // smallest detector peak: hides noise-level differences
constexpr double kLfoPhaseWrap = 6.283185307179586;  // 2π
constexpr double kLfoPhaseOffset = 0.8224670334241132;  // π²/12: the oscillator's starting phase
constexpr double kLfoScaledDepth = 0.08;

// True for a finite magnitude below the limit; false for NaN and infinities too.
inline bool isUsableMagnitude(double magnitude) { return magnitude < kInputMagnitudeLimit; }

// The larger input magnitude of the frame, or 0 when it is unusable. A NaN on the
// left makes the comparison pick the left, so the frame counts as silence.
inline double inputPeak(double left, double right) {
    const double leftMagnitude = std::fabs(left);
    const double rightMagnitude = std::fabs(right);
    const double peak = rightMagnitude > leftMagnitude ? rightMagnitude : leftMagnitude;
    return isUsableMagnitude(peak) ? peak : 0.0;
}

// Attack/release follower of the normalized peak.
inline double followLevel(const EngineState& engine, double normalized) {
    const double weight = normalized > engine.level ? engine.coefAttack : engine.coefRelease;
    return (1.0 - weight) * normalized + weight * engine.level;
}

inline void updateCrest(EngineState& engine, double level) {
    engine.crest = level / (std::fabs(kCrestAverageWeight * engine.levelAverage) + kCrestFloor);
    const double norm = engine.crest / kCrestScale;
    engine.crestNorm = norm > 1.0 ? 1.0 : norm;
    engine.crestDamp = 1.0 / ((engine.crestNorm + engine.crestNorm) * engine.crestNorm + 1.0);
}

inline void updateLevelPowers(EngineState& engine, double level) {
    engine.levelSquared = ((level * level) * kLevelWeightSmall) / kLevelWeightLarge;
    const double cubed = ((level * (level * level)) * kLevelWeightLarge) / kLevelWeightSmall;
    engine.levelCubed = cubed > 1.0 ? 1.0 : cubed;
    engine.level = level;
    // pow(0, 1.5) is 0: silence skips the call without changing a bit.
    engine.levelPow = level == 0.0 ? 0.0 : std::pow(level, 1.5);
}

// Fourth difference of the last five fast levels, normalized by its own decaying
// peak: a value near ±1 marks an onset or a release.
void updateTransientDetector(EngineState& engine);

// The 5.8 Hz oscillator does not depend on the audio, so it runs ahead of the
// frames in stretches: its sines (and the tanh of their magnitude, which the
// output stage needs) are then taken in a tight loop of their own.
constexpr int kOscillatorStretch = 64;

struct OscillatorStretch {
    double lfo[kOscillatorStretch];
    double lfoTanh[kOscillatorStretch];  // tanh(|lfo|)
};

// Advances the oscillator by `frames` (at most kOscillatorStretch) and leaves its
// value for each of those frames in `stretch`.
inline void runOscillatorAhead(EngineState& engine, int frames, OscillatorStretch& stretch) {
    double phase = engine.lfoPhase;
    for (int frame = 0; frame < frames; ++frame) {
        phase += engine.lfoIncrement;
        if (phase > kLfoPhaseWrap) phase -= kLfoPhaseWrap;
        stretch.lfo[frame] = std::sin(phase + kLfoPhaseOffset);
    }
    for (int frame = 0; frame < frames; ++frame) stretch.lfoTanh[frame] = std::tanh(std::fabs(stretch.lfo[frame]));
    engine.lfoPhase = phase;
}

// One frame of analysis on the frame's two input samples, with the oscillator's
// value for the frame from runOscillatorAhead.
inline void analyseFrame(EngineState& engine, double left, double right, double lfo) {
    const double peak = inputPeak(left, right);

    double envelope = engine.peakEnvelope * engine.coefPeakDecay;
    if (peak > envelope) envelope = peak;
    if (envelope < kEnvelopeFloor) envelope = kEnvelopeFloor;
    engine.peakEnvelope = envelope;

    double normalized = peak / envelope;
    if (normalized > 1.0) normalized = 1.0;

    const double level = followLevel(engine, normalized);
    engine.levelAverage = engine.levelAverage + (level - engine.levelAverage) * engine.coefAverage;
    updateCrest(engine, level);
    updateLevelPowers(engine, level);

    engine.levelFast = engine.levelFast + (normalized - engine.levelFast) * engine.coefFast;
    engine.decimationCounter += 1;
    if (engine.decimationCounter >= engine.decimation) {
        engine.decimationCounter = 0;
        updateTransientDetector(engine);
    }
    engine.transientSmoothed =
        engine.transientSmoothed + (engine.transient - engine.transientSmoothed) * engine.coefTransientSmooth;

    engine.lfo = lfo;
    engine.lfoScaled = (kLfoScaledDepth * engine.lfo) / (std::fabs(engine.crest) + 1.0);
}

// The side chain's results for one frame: all the network and the output stage
// read from it.
struct FrameControls {
    double levelSquared;
    double levelPow;
    double levelCubed;
    double crestDamp;
    double crestNorm;
    double lfo;
    double lfoTanh;  // tanh(|lfo|)
    double lfoScaled;
    double transientSmoothed;
};

inline FrameControls frameControls(const EngineState& engine, double lfoTanh) {
    return {engine.levelSquared, engine.levelPow,  engine.levelCubed, engine.crestDamp,        engine.crestNorm,
            engine.lfo,          lfoTanh,          engine.lfoScaled,  engine.transientSmoothed};
}

// The side chain hears only the input, never the network, so it runs ahead of
// the network over a whole stretch of frames: its serial chains and its pow
// calls then run in a loop of their own instead of between the network's steps.
struct ControlStretch {
    FrameControls frame[kOscillatorStretch];
};

// Analyses `frames` (at most kOscillatorStretch) input frames and leaves the
// controls of each in `stretch`.
inline void analyseStretch(EngineState& engine, const double* left, const double* right, int frames,
                           ControlStretch& stretch) {
    OscillatorStretch oscillator;
    runOscillatorAhead(engine, frames, oscillator);
    for (int frame = 0; frame < frames; ++frame) {
        analyseFrame(engine, left[frame], right[frame], oscillator.lfo[frame]);
        stretch.frame[frame] = frameControls(engine, oscillator.lfoTanh[frame]);
    }
}

}  // namespace orbelune
