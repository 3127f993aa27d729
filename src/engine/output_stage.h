// The output stage: mid from lines 0 to 3, side from lines 4 to 7, the side
// filtered and shaped into a width term, wet mixed with dry and every sample
// limited to ±0.99. Once per block the wet peak moves the editor's meter.
#pragma once

#include <atomic>
#include <cmath>
#include <cstring>

#include "engine/double_lanes.h"
#include "engine/engine_state.h"
#include "engine/side_chain.h"

namespace orbelune {

constexpr double kMidSideGain = 0.35;
constexpr double kWidthRange = 1.8;             // "3D Width" 1 gives a width gain of 1.8
constexpr double kFilterStateFloor = 1e-15;     // smaller filter states are stored as 0
constexpr double kWidthCeiling = 5.0;           // largest shaping factor a, reached for |S| up to 0.12
constexpr double kWidthSoftness = 0.08;         // a = 1/(|S| + 0.08)
constexpr double kGoldenAngle = 5.0832036923152595;  // π·(1 + √5)/2
constexpr double kPi = 3.141592653589793;
constexpr double kOutputLimit = 0.99;

// Width shaping depths.
constexpr double kBreathingDepth = 0.3;       // the oscillator widens the side by up to 30 %·tanh(1)
constexpr double kBreathingLevelDepth = 0.2;  // and loud input by a fifth more
constexpr double kBendDepth = 0.3;            // the mid signal bends the width by ±30 %, ±60 % when loud
constexpr double kMidAngleScale = 0.2;        // mid 5 is half a turn of the bend
constexpr double kLfoWidthDepth = 0.25;
constexpr double kCrestWidthDepth = 0.15;
constexpr float kMeterKeep = 0.85f;  // the meter keeps 85 % of its value per block
constexpr float kMeterTake = 0.15f;  // and takes 15 % of the block's wet peak

// Values the output stage takes once per block.
struct OutputBlockValues {
    double widthGain;  // 1.8·"3D Width"
    double mix;        // "Mix"
    double dry;        // 1 − "Mix"
    // cos(kGoldenAngle·5): the shaping factor sits at its ceiling for every side
    // sample below 0.12, so that cosine is taken once per block, not per frame.
    double cosineAtCeiling;
};

inline OutputBlockValues outputBlockValues(float width, float mix) {
    const double mixValue = static_cast<double>(mix);
    return {kWidthRange * static_cast<double>(width), mixValue, 1.0 - mixValue,
            std::cos(kGoldenAngle * kWidthCeiling)};
}

// One step of a transposed direct form II filter. A non-finite result clears the
// state and passes the input through, so one bad sample cannot latch the filter.
inline double guardedBiquadStep(Biquad& filter, double input) {
    const double output = filter.b0 * input + filter.z1;
    const double nextZ2 = filter.b2 * input - filter.a2 * output;
    const double nextZ1 = (filter.b1 * input - filter.a1 * output) + filter.z2;
    if (std::isfinite(output) && std::isfinite(nextZ1) && std::isfinite(nextZ2)) {
        filter.z1 = std::fabs(nextZ1) < kFilterStateFloor ? 0.0 : nextZ1;
        filter.z2 = std::fabs(nextZ2) < kFilterStateFloor ? 0.0 : nextZ2;
        return output;
    }
    filter.z1 = 0.0;
    filter.z2 = 0.0;
    return input;
}

// The output of a stretch of frames, pass by pass: mid and filtered side frame
// after frame (the filters are recursive); then the width shaping, the mix and
// the limit, which depend on each frame alone, four frames at a time, with the
// sine and cosine calls in loops of their own. The lanes past the stretch's last
// frame are zeroed up to a whole quad and give silent, unused lanes.
struct OutputStretch {
    double mid[kOscillatorStretch];
    double filteredSide[kOscillatorStretch];
    double shaped[kOscillatorStretch];    // S
    double softness[kOscillatorStretch];  // a
    double midAngle[kOscillatorStretch];
    double sine[kOscillatorStretch];
    double cosine[kOscillatorStretch];
};

// Mid from lines 0 to 3, side from lines 4 to 7, the side through both filters.
ORBELUNE_LANES_INLINE void midAndSide(EngineState& engine, const double (*lineOut)[kLineCount], int frames,
                                      OutputStretch& stretch) {
    for (int frame = 0; frame < frames; ++frame) {
        const double* line = lineOut[frame];
        stretch.mid[frame] = (((line[0] + line[1]) + line[2]) + line[3]) * kMidSideGain;
        const double side = (((line[4] - line[5]) + line[6]) - line[7]) * kMidSideGain;
        stretch.filteredSide[frame] = guardedBiquadStep(engine.sideTone, guardedBiquadStep(engine.sideHighPass, side));
    }
    clearPartQuad(stretch.mid, frames);
    clearPartQuad(stretch.filteredSide, frames);
}

// The side signal S with its breathing gain, the shaping factor a and the angle
// of the bend, for four frames.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void shapeQuad(const ControlStretch& controls, int first, OutputStretch& stretch) {
    const Quad<kLoop> levelCubed = loadLanes<Quad<kLoop>>(controls.levelCubed + first);
    const Quad<kLoop> lfoTanh = loadLanes<Quad<kLoop>>(controls.lfoTanh + first);
    const Quad<kLoop> breathing = 1.0 + (1.0 + kBreathingLevelDepth * levelCubed) * (kBreathingDepth * lfoTanh);
    const Quad<kLoop> shaped = loadLanes<Quad<kLoop>>(stretch.filteredSide + first) * breathing;
    const Quad<kLoop> softness = 1.0 / (magnitudes(shaped) + kWidthSoftness);
    storeLanes(stretch.shaped + first, shaped);
    const Quad<kLoop> ceiling = everyLane<Quad<kLoop>>(kWidthCeiling);
    storeLanes(stretch.softness + first, whereAbove(softness, ceiling, ceiling, softness));
    const Quad<kLoop> mid = loadLanes<Quad<kLoop>>(stretch.mid + first);
    storeLanes(stretch.midAngle + first, (magnitudes(mid) * kMidAngleScale) * kPi);
}

// The cosine of the shaping and the sine of the bend. The shaping factor sits at
// its ceiling for every side sample below 0.12, where the cosine is the block's;
// only the other frames call cos, gathered first so that no branch guesses.
// sin(0) is 0: a silent mid signal skips the call without changing a bit.
ORBELUNE_LANES_INLINE void shapingCalls(const OutputBlockValues& block, int frames, OutputStretch& stretch) {
    int needsCosine[kOscillatorStretch];
    int count = 0;
    for (int frame = 0; frame < frames; ++frame) {
        needsCosine[count] = frame;
        count += stretch.softness[frame] != kWidthCeiling;
        stretch.cosine[frame] = block.cosineAtCeiling;
    }
    for (int index = 0; index < count; ++index) {
        const int frame = needsCosine[index];
        stretch.cosine[frame] = std::cos(kGoldenAngle * stretch.softness[frame]);
    }
    for (int frame = 0; frame < frames; ++frame) {
        const double angle = stretch.midAngle[frame];
        stretch.sine[frame] = angle == 0.0 ? 0.0 : std::sin(angle);
    }
    clearPartQuad(stretch.sine, frames);
    clearPartQuad(stretch.cosine, frames);
}

// Values at or above +0.99 (NaN included) give 0.99, at or below −0.99 give −0.99.
template <typename Lanes>
ORBELUNE_LANES_INLINE Lanes limitOutput(Lanes value) {
    const Lanes upper = everyLane<Lanes>(kOutputLimit);
    const Lanes lower = everyLane<Lanes>(-kOutputLimit);
    const Lanes belowUpper = whereBelow(value, upper, value, upper);
    return whereAbove(belowUpper, lower, belowUpper, lower);
}

template <typename Lanes>
ORBELUNE_LANES_INLINE void storeOutputQuad(float* output, int first, int frames, Lanes value) {
    const FloatQuad narrowed = narrowToFloats(value);
    if (first + laneCount<FloatQuad> <= frames) {
        std::memcpy(output + first, &narrowed, sizeof(narrowed));
        return;
    }
    for (int lane = 0; first + lane < frames; ++lane) output[first + lane] = narrowed[lane];
}

// Width term, wet pair, mix and limit of four frames; stores the samples and
// raises each lane's wet peak (the larger wet magnitude, in 32 bits; a NaN
// never raises it).
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE FloatQuad finishQuad(const OutputBlockValues& block, const ControlStretch& controls,
                                           const OutputStretch& stretch, const double* dryLeft,
                                           const double* dryRight, int first, int frames, float* outLeft,
                                           float* outRight, FloatQuad peaks) {
    const Quad<kLoop> levelCubed = loadLanes<Quad<kLoop>>(controls.levelCubed + first);
    const Quad<kLoop> bend = ((kBendDepth * levelCubed + kBendDepth) * loadLanes<Quad<kLoop>>(stretch.sine + first)) *
                                loadLanes<Quad<kLoop>>(stretch.cosine + first) +
                            1.0;
    const Quad<kLoop> modulation = (kLfoWidthDepth * loadLanes<Quad<kLoop>>(controls.lfoScaled + first) + 1.0) +
                                  kCrestWidthDepth * loadLanes<Quad<kLoop>>(controls.crestNorm + first);
    const Quad<kLoop> width = (block.widthGain * loadLanes<Quad<kLoop>>(stretch.shaped + first)) * (modulation * bend);

    const Quad<kLoop> mid = loadLanes<Quad<kLoop>>(stretch.mid + first);
    const Quad<kLoop> wetLeft = width + mid;
    const Quad<kLoop> wetRight = mid - width;
    storeOutputQuad(outLeft, first, frames,
                    limitOutput(loadLanes<Quad<kLoop>>(dryLeft + first) * block.dry + block.mix * wetLeft));
    storeOutputQuad(outRight, first, frames,
                    limitOutput(block.dry * loadLanes<Quad<kLoop>>(dryRight + first) + block.mix * wetRight));

    const Quad<kLoop> leftMagnitude = magnitudes(wetLeft);
    const Quad<kLoop> rightMagnitude = magnitudes(wetRight);
    const FloatQuad peak =
        narrowToFloats(whereAbove(rightMagnitude, leftMagnitude, rightMagnitude, leftMagnitude));
    return peak > peaks ? peak : peaks;
}

// Up to kOscillatorStretch frames: from the raw line outputs and the dry input
// to the stored output samples. Raises `blockPeak` to the stretch's wet peak.
template <FrameLoop kLoop>
ORBELUNE_LANES_INLINE void outputStretch(EngineState& engine, const OutputBlockValues& block,
                                         const ControlStretch& controls, const double (*lineOut)[kLineCount],
                                         const double* dryLeft, const double* dryRight, int frames,
                                         float* outLeft, float* outRight, float& blockPeak) {
    OutputStretch stretch;
    midAndSide(engine, lineOut, frames, stretch);
    for (int first = 0; first < frames; first += laneCount<Quad<kLoop>>) shapeQuad<kLoop>(controls, first, stretch);
    shapingCalls(block, frames, stretch);
    FloatQuad peaks = {};
    for (int first = 0; first < frames; first += laneCount<Quad<kLoop>>) {
        peaks = finishQuad<kLoop>(block, controls, stretch, dryLeft, dryRight, first, frames, outLeft, outRight, peaks);
    }
    // The largest of the lanes' peaks: no NaN is among them, so the order of the
    // comparisons does not matter.
    for (int lane = 0; lane < laneCount<FloatQuad>; ++lane) {
        if (peaks[lane] > blockPeak) blockPeak = peaks[lane];
    }
}

// After the last frame of a processed block (also of an empty one).
void updateOutputMeter(std::atomic<float>& outputMeter, float blockPeak);

}  // namespace orbelune
