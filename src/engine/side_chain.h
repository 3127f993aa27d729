// The side chain: once per frame it follows the input's normalized level, its
// crest, its transients and a 5.8 Hz oscillator. It never touches the audio; its
// fields steer the network's gains and damping and the output's width.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/double_lanes.h"
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

// The side chain's recursive fields. A stretch holds them in a local copy, so
// that each frame's chain runs in registers rather than through the instance.
struct Follower {
    double peakEnvelope;
    double level;
    double levelAverage;
    double levelFast;
    double transient;
    double transientSmoothed;
    std::int32_t decimationCounter;
};

inline Follower followerOf(const EngineState& engine) {
    return {engine.peakEnvelope, engine.level,     engine.levelAverage,     engine.levelFast,
            engine.transient,    engine.transientSmoothed, engine.decimationCounter};
}

inline void keepFollower(EngineState& engine, const Follower& follower) {
    engine.peakEnvelope = follower.peakEnvelope;
    engine.level = follower.level;
    engine.levelAverage = follower.levelAverage;
    engine.levelFast = follower.levelFast;
    engine.transient = follower.transient;
    engine.transientSmoothed = follower.transientSmoothed;
    engine.decimationCounter = follower.decimationCounter;
}

// Attack/release follower of the normalized peak.
inline double followLevel(const EngineState& engine, double level, double normalized) {
    const double weight = normalized > level ? engine.coefAttack : engine.coefRelease;
    return (1.0 - weight) * normalized + weight * level;
}

// Fourth difference of the last five fast levels, normalized by its own decaying
// peak: a value near ±1 marks an onset or a release. Takes the current fast
// level into the history and returns the new transient.
double updateTransientDetector(EngineState& engine, double levelFast);

// The 5.8 Hz oscillator does not depend on the audio, so it runs ahead of the
// frames in stretches: its sines (and the tanh of their magnitude, which the
// output stage needs) are then taken in a tight loop of their own.
constexpr int kOscillatorStretch = 64;
static_assert(kOscillatorStretch % 4 == 0, "the side chain derives its controls four frames at a time");

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

// The side chain's results for a stretch of frames, a field at a time, so that
// the frames of a field sit side by side. The analysis fills whole quads: the
// lanes past the stretch's last frame hold what silence would give.
struct ControlStretch {
    double levelSquared[kOscillatorStretch];
    double levelPow[kOscillatorStretch];
    double levelCubed[kOscillatorStretch];
    double crestDamp[kOscillatorStretch];
    double crestNorm[kOscillatorStretch];
    double lfo[kOscillatorStretch];
    double lfoTanh[kOscillatorStretch];  // tanh(|lfo|)
    double lfoScaled[kOscillatorStretch];
    double transientSmoothed[kOscillatorStretch];

    FrameControls at(int frame) const {
        return {levelSquared[frame], levelPow[frame], levelCubed[frame], crestDamp[frame],        crestNorm[frame],
                lfo[frame],          lfoTanh[frame],  lfoScaled[frame],  transientSmoothed[frame]};
    }
};

// Advances the oscillator by `frames` (at most kOscillatorStretch) and leaves its
// value for each of those frames in `stretch`.
inline void runOscillatorAhead(EngineState& engine, int frames, ControlStretch& stretch) {
    double phase = engine.lfoPhase;
    for (int frame = 0; frame < frames; ++frame) {
        phase += engine.lfoIncrement;
        if (phase > kLfoPhaseWrap) phase -= kLfoPhaseWrap;
        stretch.lfo[frame] = std::sin(phase + kLfoPhaseOffset);
    }
    for (int frame = 0; frame < frames; ++frame) stretch.lfoTanh[frame] = std::tanh(std::fabs(stretch.lfo[frame]));
    clearPartQuad(stretch.lfo, frames);
    clearPartQuad(stretch.lfoTanh, frames);
    engine.lfoPhase = phase;
}

// The analysis's recursive part for one frame: peak envelope, normalized peak,
// level follower, long-term average, fast level with its transient detector and
// the smoothed transient.
inline void followInput(EngineState& engine, Follower& follower, double left, double right) {
    const double peak = inputPeak(left, right);

    double envelope = follower.peakEnvelope * engine.coefPeakDecay;
    if (peak > envelope) envelope = peak;
    if (envelope < kEnvelopeFloor) envelope = kEnvelopeFloor;
    follower.peakEnvelope = envelope;

    double normalized = peak / envelope;
    if (normalized > 1.0) normalized = 1.0;

    follower.level = followLevel(engine, follower.level, normalized);
    follower.levelAverage = follower.levelAverage + (follower.level - follower.levelAverage) * engine.coefAverage;

    follower.levelFast = follower.levelFast + (normalized - follower.levelFast) * engine.coefFast;
    follower.decimationCounter += 1;
    if (follower.decimationCounter >= engine.decimation) {
        follower.decimationCounter = 0;
        follower.transient = updateTransientDetector(engine, follower.levelFast);
    }
    follower.transientSmoothed =
        follower.transientSmoothed + (follower.transient - follower.transientSmoothed) * engine.coefTransientSmooth;
}

// The side chain hears only the input, never the network, so it runs ahead of
// the network over a whole stretch of frames. Its recursive part goes frame
// after frame; what each frame derives from it (crest, level powers, the scaled
// oscillator) depends on that frame alone, so it is taken four frames at a time,
// and the pow calls run in a loop of their own.

// The recursive part's results per frame, zero past the stretch's last frame up
// to a whole quad.
struct LevelStretch {
    double level[kOscillatorStretch];
    double levelAverage[kOscillatorStretch];
    double crest[kOscillatorStretch];
};

// The crest, the level powers but pow, and the scaled oscillator of the four
// frames from `first` on.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void deriveControlQuad(LevelStretch& levels, int first, ControlStretch& stretch) {
    using Quad = orbelune::Quad<kLoop>;
    const Quad one = everyLane<Quad>(1.0);
    const Quad level = loadLanes<Quad>(levels.level + first);
    const Quad crest =
        level / (magnitudes(kCrestAverageWeight * loadLanes<Quad>(levels.levelAverage + first)) + kCrestFloor);
    const Quad norm = crest / kCrestScale;
    const Quad crestNorm = whereAbove(norm, one, one, norm);
    const Quad crestDamp = 1.0 / ((crestNorm + crestNorm) * crestNorm + 1.0);
    const Quad levelSquared = ((level * level) * kLevelWeightSmall) / kLevelWeightLarge;
    const Quad cubed = ((level * (level * level)) * kLevelWeightLarge) / kLevelWeightSmall;
    const Quad levelCubed = whereAbove(cubed, one, one, cubed);
    const Quad lfoScaled = (kLfoScaledDepth * loadLanes<Quad>(stretch.lfo + first)) / (magnitudes(crest) + 1.0);
    storeLanes(levels.crest + first, crest);
    storeLanes(stretch.levelSquared + first, levelSquared);
    storeLanes(stretch.levelCubed + first, levelCubed);
    storeLanes(stretch.crestDamp + first, crestDamp);
    storeLanes(stretch.crestNorm + first, crestNorm);
    storeLanes(stretch.lfoScaled + first, lfoScaled);
}

// pow(0, 1.5) is 0: silence skips the call without changing a bit.
inline double levelPowFor(double level) { return level == 0.0 ? 0.0 : std::pow(level, 1.5); }

// The side chain's fields keep the values of the stretch's last frame.
inline void keepLastFrame(EngineState& engine, const LevelStretch& levels, const FrameControls& last, int lastFrame) {
    engine.crest = levels.crest[lastFrame];
    engine.crestNorm = last.crestNorm;
    engine.crestDamp = last.crestDamp;
    engine.levelSquared = last.levelSquared;
    engine.levelCubed = last.levelCubed;
    engine.levelPow = last.levelPow;
    engine.lfo = last.lfo;
    engine.lfoScaled = last.lfoScaled;
}

// Analyses `frames` (1 to kOscillatorStretch) input frames and leaves the
// controls of each in `stretch`.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void analyseStretch(EngineState& engine, const double* left, const double* right, int frames,
                                          ControlStretch& stretch) {
    runOscillatorAhead(engine, frames, stretch);
    LevelStretch levels;
    Follower follower = followerOf(engine);
    for (int frame = 0; frame < frames; ++frame) {
        followInput(engine, follower, left[frame], right[frame]);
        levels.level[frame] = follower.level;
        levels.levelAverage[frame] = follower.levelAverage;
        stretch.transientSmoothed[frame] = follower.transientSmoothed;
    }
    keepFollower(engine, follower);
    clearPartQuad(levels.level, frames);
    clearPartQuad(levels.levelAverage, frames);
    for (int first = 0; first < frames; first += laneCount<Quad<kLoop>>) {
        deriveControlQuad<kLoop>(levels, first, stretch);
    }
    for (int frame = 0; frame < frames; ++frame) stretch.levelPow[frame] = levelPowFor(levels.level[frame]);
    keepLastFrame(engine, levels, stretch.at(frames - 1), frames - 1);
}

}  // namespace orbelune
