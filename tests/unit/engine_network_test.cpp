// The delay network's frame on its own: the worked frame, the feedback gain, the
// mixing matrix and the soft limiter.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/delay_lines.h"
#include "engine/network.h"
#include "engine/preparation.h"

namespace {

using orbelune::EngineState;
using orbelune::kLineCount;

void prepare(EngineState& engine) {
    double sampleRate = 0.0;
    orbelune::prepareEngine(engine, sampleRate, 44100.0, 0.6f);
}

TEST(Network, WorkedFrameDampsCouplesLimitsAndWritesTheKnownValues) {
    EngineState engine;
    prepare(engine);
    engine.levelSquared = 0.5;
    engine.levelPow = 0.5;
    engine.levelCubed = 0.5;
    engine.crestDamp = 1.0;
    engine.lfo = 1.0;
    engine.transientSmoothed = 0.2;
    const double lineOut[kLineCount] = {1.6, -0.4, 1.0, 0.2, -1.2, 0.5, 0.0, 2.3};
    const double dampBefore[kLineCount] = {1.2, -0.3, 0.0, 0.1, -1.0, 0.1, 0.0, 2.0};
    for (int line = 0; line < kLineCount; ++line) {
        engine.linePos[line] = line * 7;  // anywhere in the line
        engine.lines[line][engine.linePos[line]] = lineOut[line];
        engine.lineDamp[line] = dampBefore[line];
    }

    const auto block = orbelune::networkBlockValues(engine, 1.0f, 0.0f, 0.0f, 44100.0);
    EXPECT_EQ(block.decayBase, 0.985);
    EXPECT_EQ(block.dampBase, 0.85);
    const double feedbackGain = orbelune::feedbackGainFor(block, orbelune::frameControls(engine, 0.0));
    const double injectGain = orbelune::injectGainFor(orbelune::frameControls(engine, 0.0));
    EXPECT_EQ(feedbackGain, 0.985);
    EXPECT_NEAR(injectGain, 0.441, 1e-15);

    double read[kLineCount];
    orbelune::LineQuads mixed;
    ASSERT_TRUE(orbelune::mixLines(orbelune::readLines(orbelune::lineCursors(engine), 0, read), mixed));
    EXPECT_NEAR(read[0] - mixed.low[0], 1.0, 1e-15);  // M = 1
    const double dampCoef = orbelune::dampCoefFor(block.dampBase, engine.crestDamp);
    EXPECT_EQ(dampCoef, 0.95);  // limited from 0.9775
    const int readPos[kLineCount] = {0, 7, 14, 21, 28, 35, 42, 49};
    const orbelune::LineQuads before = orbelune::loadLineQuads(engine.lineDamp);
    const orbelune::LineQuads damped = orbelune::dampLines(before, mixed, dampCoef);
    orbelune::storeLineQuads(engine.lineDamp, damped);
    const orbelune::LineQuads writtenBack = orbelune::limitLines(
        damped, orbelune::coupledSources(before, damped), feedbackGain,
        orbelune::couplingFor(orbelune::frameControls(engine, 0.0)), orbelune::injectedQuad({0.2, -0.1}, injectGain));
    orbelune::writeLines(orbelune::lineCursors(engine), 0, writtenBack);
    orbelune::advanceLines(engine, 1);

    const double dampAfter[kLineCount] = {0.63, -1.345, 0.0, -0.755, -2.14, -0.47, -0.95, 1.335};
    const double written[kLineCount] = {0.6809884980,  -0.6617877103, 0.09195,       -0.7158682779,
                                        -0.2198151515, -0.4777726602, -0.6527164104, 0.5984614495};
    for (int line = 0; line < kLineCount; ++line) {
        EXPECT_NEAR(engine.lineDamp[line], dampAfter[line], 1e-12) << line;
        EXPECT_NEAR(engine.lines[line][readPos[line]], written[line], 1e-10) << line;
        EXPECT_EQ(engine.linePos[line], readPos[line] + 1);
    }
}

TEST(Network, FeedbackGainFollowsDecayAndLevel) {
    EngineState engine;
    prepare(engine);
    const auto defaults = orbelune::networkBlockValues(engine, 0.45f, 0.4f, 0.15f, 44100.0);
    EXPECT_NEAR(orbelune::feedbackGainFor(defaults, orbelune::frameControls(engine, 0.0)), 0.66325, 1e-7);
    engine.levelSquared = 81.0 / 91.0;
    engine.levelPow = 1.0;
    EXPECT_NEAR(orbelune::feedbackGainFor(defaults, orbelune::frameControls(engine, 0.0)), 0.70743, 1e-5);
    const auto longest = orbelune::networkBlockValues(engine, 1.0f, 0.4f, 0.15f, 44100.0);
    EXPECT_EQ(orbelune::feedbackGainFor(longest, orbelune::frameControls(engine, 0.0)), 0.985);
    engine.levelSquared = 0.0;
    engine.levelPow = 0.0;
    EXPECT_EQ(orbelune::feedbackGainFor(longest, orbelune::frameControls(engine, 0.0)), 0.985);
}

TEST(Network, PreDelayIsTheDefaultLengthAndNeverLeavesTheRing) {
    EngineState engine;
    prepare(engine);
    EXPECT_EQ(orbelune::networkBlockValues(engine, 0.45f, 0.4f, 0.15f, 44100.0).preDelaySamples, 793);
    EXPECT_EQ(orbelune::networkBlockValues(engine, 0.45f, 0.4f, 1.0f, 44100.0).preDelaySamples, 5292);
    EXPECT_EQ(orbelune::networkBlockValues(engine, 0.45f, 0.4f, 0.0f, 44100.0).preDelaySamples, 0);
    // A ring shorter than the request caps it at its length minus one.
    EXPECT_EQ(orbelune::networkBlockValues(engine, 0.45f, 0.4f, 1.0f, 44100.0 * 20).preDelaySamples, 11024);
}

TEST(Network, HouseholderMixKeepsTheEnergyOfTheLines) {
    const double lineOut[kLineCount] = {0.3, -1.2, 0.7, 0.05, 2.0, -0.4, 0.9, -0.6};
    orbelune::LineQuads quads;
    ASSERT_TRUE(orbelune::mixLines(orbelune::loadLineQuads(lineOut), quads));
    double mixed[kLineCount];
    orbelune::storeLineQuads(mixed, quads);
    double before = 0.0;
    double after = 0.0;
    for (int line = 0; line < kLineCount; ++line) {
        before += lineOut[line] * lineOut[line];
        after += mixed[line] * mixed[line];
    }
    EXPECT_NEAR(after, before, 1e-12);
    const double poisoned[kLineCount] = {0.0, 0.0, NAN, 0.0, 0.0, 0.0, 0.0, 0.0};
    EXPECT_FALSE(orbelune::mixLines(orbelune::loadLineQuads(poisoned), quads));
}

TEST(Network, SoftLimiterIsContinuousAndBounded) {
    using LinePair = orbelune::DoublePair;
    // Small values pass unchanged; at O = 4 both branches meet; beyond, V/6.6.
    EXPECT_EQ(orbelune::softLimit(LinePair{0.005, -0.005})[0], 0.005);
    const double atCeiling = std::sqrt(4.0 + 0.00375 / 116.0);
    const LinePair around = orbelune::softLimit(LinePair{atCeiling * (1.0 - 1e-9), atCeiling * (1.0 + 1e-9)});
    EXPECT_NEAR(around[0], around[1], 1e-8);
    EXPECT_NEAR(orbelune::softLimit(LinePair{0.99, 2.0})[0], 0.741, 1e-3);
    EXPECT_NEAR(orbelune::softLimit(LinePair{0.99, 2.0})[1], 0.303, 1e-3);
    EXPECT_EQ(orbelune::softLimit(LinePair{66.0, -66.0})[1], -66.0 * (1.0 / 6.6));
    EXPECT_TRUE(std::isnan(orbelune::softLimit(LinePair{NAN, 0.0})[0]));
    double largest = 0.0;
    for (double value = 0.0; value < 2.0; value += 0.001) {
        largest = std::max(largest, orbelune::softLimit(LinePair{value, -value})[0]);
    }
    EXPECT_LT(largest, 0.742);
}

}  // namespace
