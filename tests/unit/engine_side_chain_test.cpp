// The side chain on its own: silence, an impulse, full-scale DC and input that
// must count as silence.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/preparation.h"
#include "engine/side_chain.h"

namespace {

using orbelune::EngineState;

void prepare(EngineState& engine) { orbelune::computeCoefficients(engine, 44100.0); }

// One frame of the analysis, as a stretch of one frame.
void analyse(EngineState& engine, double left, double right) {
    orbelune::ControlStretch controls;
    orbelune::analyseStretch<orbelune::FrameLoop::baseline>(engine, &left, &right, 1, controls);
}

void expectAllFinite(const EngineState& engine) {
    for (double value : {engine.level, engine.levelCubed, engine.levelSquared, engine.levelPow,
                         engine.transientSmoothed, engine.crest, engine.crestNorm, engine.crestDamp, engine.lfo,
                         engine.lfoScaled, engine.peakEnvelope, engine.levelAverage, engine.levelFast,
                         engine.transientPeak, engine.transient, engine.lfoPhase}) {
        EXPECT_TRUE(std::isfinite(value));
    }
}

TEST(SideChain, SilenceKeepsLevelsAtRestWhileTheOscillatorRuns) {
    EngineState engine;
    prepare(engine);
    analyse(engine, 0.0, 0.0);
    EXPECT_EQ(engine.lfo, std::sin(engine.lfoIncrement + 0.8224670334241132));
    for (int frame = 1; frame < 10000; ++frame) analyse(engine, 0.0, 0.0);
    EXPECT_EQ(engine.peakEnvelope, 0.001);
    EXPECT_EQ(engine.level, 0.0);
    EXPECT_EQ(engine.levelAverage, 0.0);
    EXPECT_EQ(engine.crest, 0.0);
    EXPECT_EQ(engine.levelPow, 0.0);
    EXPECT_EQ(engine.levelFast, 0.0);
    EXPECT_EQ(engine.transient, 0.0);
    EXPECT_EQ(engine.transientSmoothed, 0.0);
    EXPECT_EQ(engine.crestDamp, 1.0);
    EXPECT_EQ(engine.transientPeak, 0.02);
    EXPECT_EQ(engine.lfo, std::sin(engine.lfoPhase + 0.8224670334241132));
    EXPECT_EQ(engine.lfoScaled, 0.08 * engine.lfo);
}

TEST(SideChain, ImpulseJumpsByTheAttackStepThenReleasesAndSwingsTheDetector) {
    EngineState engine;
    prepare(engine);
    for (int frame = 0; frame < 1000; ++frame) analyse(engine, 0.0, 0.0);
    analyse(engine, 0.7, 0.0);
    EXPECT_EQ(engine.peakEnvelope, 0.7);
    EXPECT_EQ(engine.level, 1.0 - engine.coefAttack);
    EXPECT_NEAR(engine.level, 0.0224, 1e-4);
    const double afterImpulse = engine.level;
    analyse(engine, 0.0, 0.0);
    EXPECT_EQ(engine.level, engine.coefRelease * afterImpulse);

    double largest = 0.0;
    double smallest = 0.0;
    for (int frame = 0; frame < 2000; ++frame) {
        analyse(engine, 0.0, 0.0);
        largest = std::max(largest, engine.transient);
        smallest = std::min(smallest, engine.transient);
    }
    EXPECT_GT(largest, 0.57);
    EXPECT_LT(largest, 0.85);
    EXPECT_GT(smallest, -0.75);
    EXPECT_LT(smallest, -0.51);

    // A quiet impulse meets the envelope's floor: its normalized peak is 1000·A.
    EngineState quiet;
    prepare(quiet);
    analyse(quiet, 0.0004, 0.0);
    EXPECT_DOUBLE_EQ(quiet.level, (1.0 - quiet.coefAttack) * (0.0004 / 0.001));
}

TEST(SideChain, FullScaleDcSettlesOnTheKnownRatios) {
    EngineState engine;
    prepare(engine);
    analyse(engine, 1.0, 1.0);
    EXPECT_NEAR(engine.level, 0.022421, 1e-6);
    double peakCrest = 0.0;
    int peakFrame = 0;
    bool transientReachedOne = false;
    for (int frame = 1; frame < 44100 * 3; ++frame) {
        analyse(engine, 1.0, 1.0);
        if (engine.crest > peakCrest) {
            peakCrest = engine.crest;
            peakFrame = frame;
        }
        transientReachedOne = transientReachedOne || engine.transient == 1.0;
    }
    EXPECT_NEAR(peakCrest, 22.5, 0.5);
    EXPECT_NEAR(peakFrame, 160, 20);
    EXPECT_TRUE(transientReachedOne);
    EXPECT_NEAR(engine.crest, 1.0 / 0.14, 1e-9);
    EXPECT_NEAR(engine.crestNorm, 0.2857142857, 1e-9);
    EXPECT_NEAR(engine.crestDamp, 0.8596491228, 1e-9);
    EXPECT_NEAR(engine.levelSquared, 81.0 / 91.0, 1e-12);
    EXPECT_EQ(engine.levelCubed, 1.0);
    EXPECT_NEAR(engine.levelPow, 1.0, 1e-12);
    EXPECT_NEAR(engine.levelFast, 1.0, 1e-12);
    EXPECT_NEAR(engine.transient, 0.0, 1e-9);
}

TEST(SideChain, NonFiniteAndAbsurdInputCountsAsSilence) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    for (double bad : {nan, infinity, -infinity, 1000000.0, -1e300}) {
        EngineState engine;
    prepare(engine);
        analyse(engine, bad, 0.0);
        EXPECT_EQ(engine.level, 0.0) << bad;
        EXPECT_EQ(engine.peakEnvelope, 0.001) << bad;
        expectAllFinite(engine);
    }
    // A NaN on the right alone leaves the left magnitude as the peak.
    EngineState engine;
    prepare(engine);
    analyse(engine, -0.5, nan);
    EXPECT_EQ(engine.peakEnvelope, 0.5);
    expectAllFinite(engine);
    EXPECT_EQ(orbelune::inputPeak(999999.0, 0.0), 999999.0);
}

TEST(SideChain, LoweredDecimationUpdatesTheDetectorOnTheNextFrame) {
    EngineState engine;
    prepare(engine);
    for (int frame = 0; frame < 40; ++frame) analyse(engine, 0.5, 0.5);
    ASSERT_EQ(engine.decimationCounter, 40);
    orbelune::computeCoefficients(engine, 8000.0);  // decimation 16, below the running count
    analyse(engine, 0.5, 0.5);
    EXPECT_EQ(engine.decimationCounter, 0);
    EXPECT_EQ(engine.levelHistory[0], engine.levelFast);
}

}  // namespace
