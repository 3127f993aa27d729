// Whole blocks through the host's processing entry: the golden impulse, bypass,
// the rebuild handshake, block sizes, bad input and the floating-point guard.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>
#include <xmmintrin.h>

#include "engine/preparation.h"
#include "engine/processing.h"
#include "vst2/instance.h"
#include "platform/float_mode.h"
#include "unit/test_host.h"

namespace {

using testhost::Instance;

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
    explicit Stereo(std::size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
};

Stereo noise(std::size_t frames, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-0.5f, 0.5f);
    Stereo signal(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        signal.left[frame] = distribution(generator);
        signal.right[frame] = distribution(generator);
    }
    return signal;
}

// Runs the whole signal through in blocks of `blockFrames`, out of place.
Stereo run(const Instance& plugin, Stereo input, int blockFrames = 512) {
    Stereo output(input.left.size());
    for (std::size_t offset = 0; offset < input.left.size(); offset += static_cast<std::size_t>(blockFrames)) {
        const auto frames = static_cast<int>(std::min<std::size_t>(blockFrames, input.left.size() - offset));
        float* inputs[2] = {input.left.data() + offset, input.right.data() + offset};
        float* outputs[2] = {output.left.data() + offset, output.right.data() + offset};
        plugin->processReplacing(plugin.get(), inputs, outputs, frames);
    }
    return output;
}

orbelune::EngineState& engineOf(const Instance& plugin) { return orbelune::instanceOf(plugin.get())->plugin.engine; }

Stereo impulse(std::size_t frames, std::size_t at, float left, float right) {
    Stereo signal(frames);
    signal.left[at] = left;
    signal.right[at] = right;
    return signal;
}

std::size_t firstNonZero(const std::vector<float>& samples, std::size_t from) {
    for (std::size_t frame = from; frame < samples.size(); ++frame) {
        if (samples[frame] != 0.0f) return frame;
    }
    return samples.size();
}

float loudest(const Stereo& signal) {
    float peak = 0.0f;
    for (const auto* channel : {&signal.left, &signal.right}) {
        for (float sample : *channel) peak = std::max(peak, std::fabs(sample));
    }
    return peak;
}

TEST(Processing, LeftImpulseThroughTheWholeChainMatchesTheGoldenSamples) {
    Instance plugin;
    const Stereo output = run(plugin, impulse(4096, 0, 0.5f, 0.0f));
    EXPECT_EQ(output.left[0], 0.32499998807907104f);
    EXPECT_EQ(output.right[0], 0.0f);
    for (int frame = 1; frame <= 2225; ++frame) {
        ASSERT_EQ(output.left[frame], 0.0f) << frame;
        ASSERT_EQ(output.right[frame], 0.0f) << frame;
    }
    EXPECT_EQ(output.left[2226], 0.020884215831756592f);
    EXPECT_EQ(output.right[2226], 0.020884215831756592f);
    EXPECT_EQ(output.left[2227], -0.0005439563537947834f);
    EXPECT_EQ(output.right[2227], -0.0005439563537947834f);
}

TEST(Processing, ImpulsesArriveAfterPreDelayPlusTheirFirstLine) {
    Instance fromLeft;
    EXPECT_EQ(firstNonZero(run(fromLeft, impulse(4096, 0, 0.5f, 0.0f)).right, 0), 2226u);  // 793 + 1433
    Instance fromRight;
    const Stereo output = run(fromRight, impulse(4096, 0, 0.0f, 0.5f));
    EXPECT_EQ(output.right[0], 0.5f * (1.0f - 0.35f));
    EXPECT_EQ(firstNonZero(output.left, 0), 2486u);  // 793 + 1693
    EXPECT_EQ(firstNonZero(output.right, 1), 2486u);
}

TEST(Processing, SilenceFromANewInstanceIsExactlyZero) {
    Instance plugin;
    const Stereo output = run(plugin, Stereo(20000));
    EXPECT_EQ(firstNonZero(output.left, 0), output.left.size());
    EXPECT_EQ(firstNonZero(output.right, 0), output.right.size());
}

TEST(Processing, BlockSizeAndInPlaceBuffersDoNotChangeTheResult) {
    const Stereo input = noise(5000, 1);
    Instance reference;
    const Stereo expected = run(reference, input, 512);
    Instance oddBlocks;
    const Stereo odd = run(oddBlocks, input, 7);
    EXPECT_EQ(odd.left, expected.left);
    EXPECT_EQ(odd.right, expected.right);

    Instance inPlace;
    Stereo buffer = input;
    float* channels[2] = {buffer.left.data(), buffer.right.data()};
    inPlace->processReplacing(inPlace.get(), channels, channels, static_cast<int>(input.left.size()));
    EXPECT_EQ(buffer.left, expected.left);
    EXPECT_EQ(buffer.right, expected.right);
}

TEST(Processing, BypassCopiesBitExactlyAndFreezesTheTail) {
    const Stereo start = impulse(3000, 0, 0.5f, -0.25f);
    const Stereo later(4000);
    Stereo passing = noise(1024, 2);
    passing.left[5] = std::numeric_limits<float>::quiet_NaN();

    Instance reference;
    run(reference, start);
    const Stereo expectedTail = run(reference, later);

    for (int source = 0; source < 2; ++source) {
        Instance plugin;
        run(plugin, start);
        const float meter = orbelune::instanceOf(plugin.get())->plugin.outputMeter.load();
        if (source == 0) plugin.dispatch(vst::effSetBypass, 0, 1);
        if (source == 1) plugin->setParameter(plugin.get(), orbelune::kParamBypass, 1.0f);

        const Stereo copied = run(plugin, passing);
        EXPECT_EQ(0, std::memcmp(copied.left.data(), passing.left.data(), passing.left.size() * sizeof(float)));
        EXPECT_EQ(copied.right, passing.right);
        Stereo untouched = passing;
        float* channels[2] = {untouched.left.data(), untouched.right.data()};
        plugin->processReplacing(plugin.get(), channels, channels, static_cast<int>(passing.left.size()));
        EXPECT_EQ(0, std::memcmp(untouched.left.data(), passing.left.data(), passing.left.size() * sizeof(float)));
        EXPECT_EQ(orbelune::instanceOf(plugin.get())->plugin.outputMeter.load(), meter);

        plugin.dispatch(vst::effSetBypass, 0, 0);
        plugin->setParameter(plugin.get(), orbelune::kParamBypass, 0.5f);  // exactly 0.5 processes
        const Stereo tail = run(plugin, later);
        EXPECT_EQ(tail.left, expectedTail.left) << source;
        EXPECT_EQ(tail.right, expectedTail.right) << source;
    }
}

TEST(Processing, SizeChangeCutsTheTailAtTheNextProcessedBlockOnly) {
    Instance plugin;
    run(plugin, noise(4096, 3));
    plugin->setParameter(plugin.get(), orbelune::kParamSize, 1.0f);
    // A passed-through block leaves the request pending and the lines as they were.
    plugin.dispatch(vst::effSetBypass, 0, 1);
    run(plugin, Stereo(512));
    EXPECT_EQ(engineOf(plugin).rebuildRequested.load(), 1);
    EXPECT_EQ(engineOf(plugin).lineLength[0], 1433);
    plugin.dispatch(vst::effSetBypass, 0, 0);

    // The next processed block starts on empty lines of the new lengths; only the
    // output filters' ringing is left. Without the change the tail rings on.
    const Stereo cut = run(plugin, Stereo(512), 512);
    EXPECT_EQ(engineOf(plugin).rebuildRequested.load(), 0);
    EXPECT_EQ(engineOf(plugin).lineLength[0], 1951);
    Instance other;
    run(other, noise(4096, 3));
    other->setParameter(other.get(), orbelune::kParamDecay, 0.9f);  // other parameters never clear anything
    const Stereo ringing = run(other, Stereo(512));
    EXPECT_LT(loudest(cut), 0.01f);
    EXPECT_GT(loudest(ringing), 0.05f);
}

TEST(Processing, EmptyAndNegativeBlocksOnlyLetTheMeterFall) {
    Instance plugin;
    run(plugin, noise(4096, 4));
    auto& meter = orbelune::instanceOf(plugin.get())->plugin.outputMeter;
    const float before = meter.load();
    ASSERT_GT(before, 0.0f);
    const auto stateBefore = engineOf(plugin).linePos[3];
    float sample = 0.25f;
    float* channels[2] = {&sample, &sample};
    plugin->processReplacing(plugin.get(), channels, channels, 0);
    EXPECT_EQ(meter.load(), 0.85f * before);
    plugin->processReplacing(plugin.get(), channels, channels, -5);
    EXPECT_EQ(meter.load(), 0.85f * (0.85f * before));
    EXPECT_EQ(engineOf(plugin).linePos[3], stateBefore);
    EXPECT_EQ(sample, 0.25f);
}

TEST(Processing, MeterFollowsEachBlocksWetPeak) {
    Instance plugin;
    run(plugin, impulse(2226, 0, 0.5f, 0.0f));
    auto& meter = orbelune::instanceOf(plugin.get())->plugin.outputMeter;
    EXPECT_EQ(meter.load(), 0.0f);  // nothing wet yet
    run(plugin, Stereo(1));          // frame 2226: the first wet sample
    const float wet = 0.020884215831756592f / 0.35f;
    EXPECT_NEAR(meter.load(), 0.15f * wet, 1e-6f);
}

// Bad samples are kept out of the network: their own frame gives the limit on
// their channel, and after it the reverb goes on as if they had been silence
// (only their frame's analysis differs, by a hair).
TEST(Processing, NonFiniteOrHugeInputNeverBreaksTheReverb) {
    const Stereo music = noise(12000, 5);
    Stereo clean = music;
    clean.left[100] = 0.0f;
    clean.right[200] = 0.0f;
    Instance reference;
    const Stereo expected = run(reference, clean);

    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), 3e38f, 1000000.0f}) {
        Stereo faulty = music;
        faulty.left[100] = bad;
        faulty.right[200] = bad;
        Instance plugin;
        Stereo output = run(plugin, faulty);
        const float expectedDry = bad > 0.0f || std::isnan(bad) ? 0.99f : -0.99f;
        EXPECT_EQ(output.left[100], expectedDry) << bad;
        EXPECT_EQ(output.right[200], expectedDry) << bad;
        output.left[100] = expected.left[100];
        output.right[200] = expected.right[200];
        Stereo difference(output.left.size());
        for (std::size_t frame = 0; frame < output.left.size(); ++frame) {
            difference.left[frame] = output.left[frame] - expected.left[frame];
            difference.right[frame] = output.right[frame] - expected.right[frame];
        }
        EXPECT_LT(loudest(difference), 1e-3f) << bad;
        EXPECT_GT(loudest(output), 0.1f) << bad;
    }
}

TEST(Processing, NonFiniteNetworkStateIsClearedAndTheReverbRecovers) {
    Instance plugin;
    run(plugin, noise(3000, 6));
    auto& engine = engineOf(plugin);
    engine.lines[2][engine.linePos[2]] = std::numeric_limits<double>::quiet_NaN();
    engine.lineDamp[5] = std::numeric_limits<double>::infinity();
    engine.injectLow[1] = std::numeric_limits<double>::quiet_NaN();
    const Stereo after = run(plugin, noise(10000, 7));
    int limited = 0;
    for (std::size_t frame = 0; frame < after.left.size(); ++frame) {
        ASSERT_TRUE(std::isfinite(after.left[frame]) && std::isfinite(after.right[frame]));
        limited += after.left[frame] == 0.99f;
    }
    EXPECT_LT(limited, 3);
    EXPECT_TRUE(std::isfinite(engine.injectLow[1]));
    for (int line = 0; line < orbelune::kLineCount; ++line) EXPECT_TRUE(std::isfinite(engine.lineDamp[line]));

    // A fresh impulse reverberates normally afterwards.
    run(plugin, Stereo(44100 * 2));
    const Stereo tail = run(plugin, impulse(4096, 0, 0.5f, 0.0f));
    EXPECT_GT(std::fabs(tail.left[3000]), 0.0f);
    EXPECT_LT(std::fabs(tail.left[3000]), 0.1f);
}

// The engine driven directly, without the host glue's floating-point guard.
struct BareEngine {
    orbelune::EngineState engine;
    orbelune::ParameterValues params = {0.45f, 0.6f, 0.4f, 0.85f, 0.15f, 0.35f, 0.0f};
    double sampleRate = 0.0;
    std::atomic<float> meter{0.0f};
    BareEngine() { orbelune::prepareEngine(engine, sampleRate, 44100.0, 0.6f); }
    Stereo run(Stereo input) {
        Stereo output(input.left.size());
        const float* inputs[2] = {input.left.data(), input.right.data()};
        float* outputs[2] = {output.left.data(), output.right.data()};
        orbelune::processBlock(engine, params, false, sampleRate, meter, inputs, outputs,
                               static_cast<int>(input.left.size()));
        return output;
    }
};

// A stretch runs the network's halves for all its frames in turn; a clear in the
// middle of one must leave what one-frame blocks leave: the same samples and
// lines that hold only what was written after the clear.
TEST(Processing, NetworkClearedMidBlockMatchesFrameByFrameProcessing) {
    constexpr int kPoisonedFrame = 21;
    constexpr std::size_t kFrames = 512;
    BareEngine whole;
    BareEngine frameByFrame;
    for (BareEngine* bare : {&whole, &frameByFrame}) {
        bare->run(noise(5000, 9));
        orbelune::EngineState& engine = bare->engine;
        engine.lines[6][engine.linePos[6] + kPoisonedFrame] = std::numeric_limits<double>::quiet_NaN();
    }
    const Stereo input = noise(kFrames, 10);
    const Stereo expected = whole.run(input);
    for (std::size_t frame = 0; frame < kFrames; ++frame) {
        Stereo single(1);
        single.left[0] = input.left[frame];
        single.right[0] = input.right[frame];
        const Stereo output = frameByFrame.run(single);
        ASSERT_EQ(output.left[0], expected.left[frame]) << frame;
        ASSERT_EQ(output.right[0], expected.right[frame]) << frame;
    }
    for (int line = 0; line < orbelune::kLineCount; ++line) {
        EXPECT_EQ(whole.engine.lines[line], frameByFrame.engine.lines[line]) << line;
    }
}

TEST(Processing, FlushingSubnormalsChangesNoSampleAndRestoresTheHostMode) {
    Stereo input = noise(44100 * 3, 8);
    input.left.resize(44100 * 12, 0.0f);  // then a long decay into silence
    input.right.resize(44100 * 12, 0.0f);
    BareEngine plain;
    const Stereo expected = plain.run(input);
    BareEngine flushed;
    Stereo output;
    {
        const orbelune::ScopedFlushDenormals guard;
        output = flushed.run(input);
    }
    EXPECT_EQ(output.left, expected.left);
    EXPECT_EQ(output.right, expected.right);
    // Without the guard the network's input low cut is left subnormal for ever,
    // and every later frame computes with it.
    EXPECT_EQ(std::fpclassify(plain.engine.injectLow[0]), FP_SUBNORMAL);
    EXPECT_NE(std::fpclassify(flushed.engine.injectLow[0]), FP_SUBNORMAL);

    const unsigned hostMode = _mm_getcsr();
    Instance plugin;
    run(plugin, noise(512, 9));
    EXPECT_EQ(_mm_getcsr(), hostMode);
}

}  // namespace
