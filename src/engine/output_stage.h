// The output stage: mid from lines 0 to 3, side from lines 4 to 7, the side
// filtered and shaped into a width term, wet mixed with dry and every sample
// limited to ±0.99. Once per block the wet peak moves the editor's meter.
#pragma once

#include <atomic>
#include <cmath>

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

// The filtered side signal turned into the width term W: a gain that breathes
// with the oscillator and the level, a shaping that bends with the mid signal,
// and the "3D Width" control.
inline double widthTerm(const FrameControls& controls, const OutputBlockValues& block, double mid, double side) {
    const double breathing =
        1.0 + (1.0 + kBreathingLevelDepth * controls.levelCubed) * (kBreathingDepth * controls.lfoTanh);
    const double shaped = side * breathing;
    double softness = 1.0 / (std::fabs(shaped) + kWidthSoftness);
    if (softness > kWidthCeiling) softness = kWidthCeiling;
    const double cosine = softness == kWidthCeiling ? block.cosineAtCeiling : std::cos(kGoldenAngle * softness);
    // sin(0) is 0: a silent mid signal skips the call without changing a bit.
    const double midAngle = (std::fabs(mid) * kMidAngleScale) * kPi;
    const double sine = midAngle == 0.0 ? 0.0 : std::sin(midAngle);
    const double bend = ((kBendDepth * controls.levelCubed + kBendDepth) * sine) * cosine + 1.0;
    const double modulation = (kLfoWidthDepth * controls.lfoScaled + 1.0) + kCrestWidthDepth * controls.crestNorm;
    return (block.widthGain * shaped) * (modulation * bend);
}

// Values at or above +0.99 (NaN included) give 0.99, at or below −0.99 give −0.99.
inline float limitOutput(double value) {
    if (!(value < kOutputLimit)) return static_cast<float>(kOutputLimit);
    if (!(value > -kOutputLimit)) return static_cast<float>(-kOutputLimit);
    return static_cast<float>(value);
}

// The larger wet magnitude of the frame, in 32 bits, raises the block's peak; a
// NaN never does.
inline void raiseBlockPeak(float& blockPeak, double wetLeft, double wetRight) {
    const double leftMagnitude = std::fabs(wetLeft);
    const double rightMagnitude = std::fabs(wetRight);
    const auto peak = static_cast<float>(rightMagnitude > leftMagnitude ? rightMagnitude : leftMagnitude);
    if (peak > blockPeak) blockPeak = peak;
}

// One frame: from the eight raw line outputs and the dry pair to the two stored
// output samples.
inline void outputFrame(EngineState& engine, const OutputBlockValues& block, const FrameControls& controls,
                        const double* lineOut, double dryLeft, double dryRight, float& outLeft, float& outRight,
                        float& blockPeak) {
    const double mid = (((lineOut[0] + lineOut[1]) + lineOut[2]) + lineOut[3]) * kMidSideGain;
    const double side = (((lineOut[4] - lineOut[5]) + lineOut[6]) - lineOut[7]) * kMidSideGain;

    const double filtered = guardedBiquadStep(engine.sideTone, guardedBiquadStep(engine.sideHighPass, side));
    const double width = widthTerm(controls, block, mid, filtered);

    const double wetLeft = width + mid;
    const double wetRight = mid - width;
    outLeft = limitOutput(dryLeft * block.dry + block.mix * wetLeft);
    outRight = limitOutput(block.dry * dryRight + block.mix * wetRight);
    raiseBlockPeak(blockPeak, wetLeft, wetRight);
}

// After the last frame of a processed block (also of an empty one).
void updateOutputMeter(std::atomic<float>& outputMeter, float blockPeak);

}  // namespace orbelune
