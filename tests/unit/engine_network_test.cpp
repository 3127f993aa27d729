// The delay network's frame on its own: the worked frame, the feedback gain, the
// mixing matrix and the soft limiter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/delay_lines.h"
#include "engine/network.h"
#include "engine/preparation.h"

namespace {

using orbelune::DoubleQuad;
using orbelune::EngineState;
using orbelune::FrameLoop;
using orbelune::kLineCount;

constexpr FrameLoop kFrameLoops[] = {FrameLoop::baseline, FrameLoop::avx};

// The soft limiter on the quad of either frame loop.
DoubleQuad softLimit(FrameLoop loop, DoubleQuad value) {
    if (loop == FrameLoop::avx) return orbelune::softLimit(value);
    double lanes[4];
    orbelune::storeLanes(lanes, value);
    orbelune::storeLanes(lanes, orbelune::softLimit(orbelune::loadLanes<orbelune::PairedQuad>(lanes)));
    return orbelune::loadLanes<DoubleQuad>(lanes);
}

// The frame's mixing, damping, coupling and soft limit as the given frame loop
// runs them, from the lines' outputs and damping states (which it updates) to
// the values the frame writes back.
template <FrameLoop kLoop>
void mixDampAndLimit(const double* lineOut, double* lineDamp, double dampCoef, double feedbackGain, double coupling,
                     double injectGain, double* written) {
    orbelune::LineQuads<kLoop> mixed;
    ASSERT_TRUE(orbelune::mixLines(orbelune::loadLineQuads<kLoop>(lineOut), mixed));
    EXPECT_NEAR(lineOut[0] - mixed.low[0], 1.0, 1e-15);  // M = 1
    const auto before = orbelune::loadLineQuads<kLoop>(lineDamp);
    const auto damped = orbelune::dampLines(before, mixed, dampCoef);
    orbelune::storeLineQuads(lineDamp, damped);
    orbelune::storeLineQuads(
        written, orbelune::limitLines(damped, orbelune::coupledSources(before, damped), feedbackGain, coupling,
                                      orbelune::injectedQuad<kLoop>({0.2, -0.1}, injectGain)));
}

// The controls as the side chain's fields stand, for driving the network from a
// state set up directly (the network never reads tanh(|lfo|)).
orbelune::FrameControls controlsOf(const EngineState& engine) {
    return {engine.levelSquared, engine.levelPow, engine.levelCubed, engine.crestDamp,        engine.crestNorm,
            engine.lfo,          0.0,             engine.lfoScaled,  engine.transientSmoothed};
}

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
    const double feedbackGain = orbelune::feedbackGainFor(block, controlsOf(engine));
    const double injectGain = orbelune::injectGainFor(controlsOf(engine));
    EXPECT_EQ(feedbackGain, 0.985);
    EXPECT_NEAR(injectGain, 0.441, 1e-15);

    double read[kLineCount];
    orbelune::readLines<FrameLoop::baseline>(orbelune::lineCursors(engine), 0, read);
    const double dampCoef = orbelune::dampCoefFor(block.dampBase, engine.crestDamp);
    EXPECT_EQ(dampCoef, 0.95);  // limited from 0.9775
    const int readPos[kLineCount] = {0, 7, 14, 21, 28, 35, 42, 49};
    const double coupling = orbelune::couplingFor(controlsOf(engine));
    double dampByAvx[kLineCount];
    std::copy(engine.lineDamp, engine.lineDamp + kLineCount, dampByAvx);
    double writtenBack[kLineCount];
    double writtenByAvx[kLineCount];
    mixDampAndLimit<FrameLoop::baseline>(read, engine.lineDamp, dampCoef, feedbackGain, coupling, injectGain,
                                         writtenBack);
    mixDampAndLimit<FrameLoop::avx>(read, dampByAvx, dampCoef, feedbackGain, coupling, injectGain, writtenByAvx);
    for (int line = 0; line < kLineCount; ++line) {
        EXPECT_EQ(writtenBack[line], writtenByAvx[line]);
        EXPECT_EQ(engine.lineDamp[line], dampByAvx[line]);
    }
    orbelune::writeLines(orbelune::lineCursors(engine), 0, orbelune::loadLineQuads<FrameLoop::baseline>(writtenBack));
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
    EXPECT_NEAR(orbelune::feedbackGainFor(defaults, controlsOf(engine)), 0.66325, 1e-7);
    engine.levelSquared = 81.0 / 91.0;
    engine.levelPow = 1.0;
    EXPECT_NEAR(orbelune::feedbackGainFor(defaults, controlsOf(engine)), 0.70743, 1e-5);
    const auto longest = orbelune::networkBlockValues(engine, 1.0f, 0.4f, 0.15f, 44100.0);
    EXPECT_EQ(orbelune::feedbackGainFor(longest, controlsOf(engine)), 0.985);
    engine.levelSquared = 0.0;
    engine.levelPow = 0.0;
    EXPECT_EQ(orbelune::feedbackGainFor(longest, controlsOf(engine)), 0.985);
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
    orbelune::LineQuads<FrameLoop::baseline> quads;
    ASSERT_TRUE(orbelune::mixLines(orbelune::loadLineQuads<FrameLoop::baseline>(lineOut), quads));
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
    EXPECT_FALSE(orbelune::mixLines(orbelune::loadLineQuads<FrameLoop::baseline>(poisoned), quads));
}

TEST(Network, SoftLimiterIsContinuousAndBounded) {
    const double atCeiling = std::sqrt(4.0 + 0.00375 / 116.0);
    for (const FrameLoop loop : kFrameLoops) {
        // Small values pass unchanged; at O = 4 both branches meet; beyond, V/6.6.
        const DoubleQuad small = softLimit(loop, DoubleQuad{0.005, -0.005, 0.0, 0.0});
        EXPECT_EQ(small[0], 0.005);
        EXPECT_EQ(small[1], -0.005);
        const DoubleQuad around =
            softLimit(loop, DoubleQuad{atCeiling * (1.0 - 1e-9), atCeiling * (1.0 + 1e-9), 0.99, 2.0});
        EXPECT_NEAR(around[0], around[1], 1e-8);
        EXPECT_NEAR(around[2], 0.741, 1e-3);
        EXPECT_NEAR(around[3], 0.303, 1e-3);
        const DoubleQuad far = softLimit(loop, DoubleQuad{1.0, 66.0, -66.0, NAN});
        EXPECT_EQ(far[2], -66.0 * (1.0 / 6.6));
        EXPECT_TRUE(std::isnan(far[3]));
        double largest = 0.0;
        for (double value = 0.0; value < 2.0; value += 0.001) {
            largest = std::max(largest, softLimit(loop, DoubleQuad{value, -value, value, -value})[0]);
        }
        EXPECT_LT(largest, 0.742);
    }
}

}  // namespace
