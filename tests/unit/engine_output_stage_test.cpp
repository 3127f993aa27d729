// The output stage: the worked frame, the filter guard, the limit and the meter.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>

#include "engine/output_stage.h"
#include "engine/preparation.h"

namespace {

using orbelune::Biquad;
using orbelune::DoubleQuad;
using orbelune::EngineState;
using orbelune::FrameLoop;

constexpr FrameLoop kFrameLoops[] = {FrameLoop::baseline, FrameLoop::avx};

// The output of a stretch as either frame loop builds it.
void outputStretch(FrameLoop loop, EngineState& engine, const orbelune::OutputBlockValues& block,
                   const orbelune::ControlStretch& controls, const double (*lineOut)[orbelune::kLineCount],
                   const double* dryLeft, const double* dryRight, int frames, float* left, float* right,
                   float& blockPeak) {
    if (loop == FrameLoop::avx) {
        orbelune::outputStretch<FrameLoop::avx>(engine, block, controls, lineOut, dryLeft, dryRight, frames, left,
                                                right, blockPeak);
    } else {
        orbelune::outputStretch<FrameLoop::baseline>(engine, block, controls, lineOut, dryLeft, dryRight, frames, left,
                                                     right, blockPeak);
    }
}

TEST(OutputStage, WorkedFrameGivesTheKnownSamplesStatesAndMeter) {
    EngineState engine;
    orbelune::computeCoefficients(engine, 44100.0);
    const double lineOut[1][orbelune::kLineCount] = {{0.4, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0}};
    const orbelune::OutputBlockValues block = orbelune::outputBlockValues(0.5f, 0.5f);
    orbelune::ControlStretch controls{};
    controls.levelCubed[0] = 0.5;
    controls.crestNorm[0] = 0.2;
    controls.lfoTanh[0] = std::tanh(0.6);  // of the oscillator's 0.6
    controls.lfoScaled[0] = 0.03;
    double dryLeft[orbelune::kOscillatorStretch] = {0.25};
    double dryRight[orbelune::kOscillatorStretch] = {-0.25};
    float left = 0.0f;
    float right = 0.0f;
    float blockPeak = 0.0f;
    outputStretch(FrameLoop::baseline, engine, block, controls, lineOut, dryLeft, dryRight, 1, &left, &right,
                  blockPeak);
    EXPECT_NEAR(left, 0.37545881f, 1e-7f);
    EXPECT_NEAR(right, -0.23545882f, 1e-7f);
    EXPECT_NEAR(engine.sideHighPass.z1, -0.0097341649, 1e-10);
    EXPECT_NEAR(engine.sideHighPass.z2, 0.0095987755, 1e-10);
    EXPECT_NEAR(engine.sideTone.z1, -0.0221564307, 1e-10);
    EXPECT_NEAR(engine.sideTone.z2, 0.0237686806, 1e-10);
    EXPECT_NEAR(blockPeak, 0.50091761f, 1e-7f);

    std::atomic<float> meter{0.0f};
    orbelune::updateOutputMeter(meter, blockPeak);
    EXPECT_NEAR(meter.load(), 0.075137645f, 1e-9f);
}

TEST(OutputStage, FilterPassesInputThroughAndClearsOnNonFiniteResults) {
    Biquad filter{0.5, 0.2, 0.1, -0.3, 0.2, 0.7, -0.4};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(orbelune::guardedBiquadStep(filter, nan)));
    EXPECT_EQ(filter.z1, 0.0);
    EXPECT_EQ(filter.z2, 0.0);
    filter.z1 = 0.3;
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(orbelune::guardedBiquadStep(filter, infinity), infinity);
    EXPECT_EQ(filter.z1, 0.0);
    // Runs normally again on the next frame.
    EXPECT_EQ(orbelune::guardedBiquadStep(filter, 1.0), 0.5);
    EXPECT_EQ(filter.z1, 0.2 - (-0.3 * 0.5));
}

TEST(OutputStage, TinyFilterStatesBecomeExactZeros) {
    Biquad filter{1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    filter.b1 = 1e-16;
    filter.b2 = 2.0;
    orbelune::guardedBiquadStep(filter, 1.0);
    EXPECT_EQ(filter.z1, 0.0);
    EXPECT_EQ(filter.z2, 2.0);
}

TEST(OutputStage, LimitHoldsEverySampleWithinPlusMinus099) {
    const auto limit = static_cast<float>(0.99);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    for (const FrameLoop loop : kFrameLoops) {
        const auto limited = [loop](DoubleQuad values) {
            if (loop == FrameLoop::avx) return orbelune::limitOutput(values);
            double lanes[4];
            orbelune::storeLanes(lanes, values);
            orbelune::storeLanes(lanes, orbelune::limitOutput(orbelune::loadLanes<orbelune::PairedQuad>(lanes)));
            return orbelune::loadLanes<DoubleQuad>(lanes);
        };
        const DoubleQuad high = limited(DoubleQuad{0.99, 1.5, nan, infinity});
        const DoubleQuad low = limited(DoubleQuad{-0.99, -infinity, 0.25, -0.25});
        for (int lane = 0; lane < 4; ++lane) EXPECT_EQ(static_cast<float>(high[lane]), limit) << lane;
        EXPECT_EQ(static_cast<float>(low[0]), -limit);
        EXPECT_EQ(static_cast<float>(low[1]), -limit);
        EXPECT_EQ(low[2], 0.25);
        EXPECT_EQ(low[3], -0.25);
    }
}

TEST(OutputStage, MeterFallsByA0_85FactorOnAnEmptyPeakAndIgnoresNaN) {
    std::atomic<float> meter{0.5f};
    orbelune::updateOutputMeter(meter, 0.0f);
    EXPECT_EQ(meter.load(), 0.85f * 0.5f);

    // Five frames, the odd count leaving a part-filled quad: mid 0.3·0.35 in the
    // third, NaN in the first; "3D Width" 0, so wet = mid.
    EngineState engine;
    orbelune::computeCoefficients(engine, 44100.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double lineOut[5][orbelune::kLineCount] = {};
    lineOut[0][0] = nan;
    lineOut[2][0] = 0.3;
    const orbelune::ControlStretch controls{};
    const double dry[orbelune::kOscillatorStretch] = {};
    for (const FrameLoop loop : kFrameLoops) {
        float left[5];
        float right[5];
        float blockPeak = 0.0f;
        outputStretch(loop, engine, orbelune::outputBlockValues(0.0f, 1.0f), controls, lineOut, dry, dry, 5, left,
                      right, blockPeak);
        EXPECT_EQ(blockPeak, static_cast<float>(0.3 * 0.35));
        EXPECT_EQ(left[0], static_cast<float>(0.99));  // NaN leaves as +0.99
        EXPECT_EQ(right[2], static_cast<float>(0.3 * 0.35));
        EXPECT_EQ(left[4], 0.0f);
    }
}

}  // namespace
