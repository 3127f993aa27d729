// After the worst a host can feed it, the reverb must come back to life.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "unit/test_host.h"

namespace {

constexpr int kBlock = 512;
constexpr int kSecond = 44100;

struct Levels {
    bool finite = true;
    float peak = 0.0f;
    int atLimit = 0;
};

// Runs `frames` of noise (or silence) through the plug-in and summarises the output.
Levels run(vst::AEffect* effect, int frames, float amplitude, unsigned seed) {
    Levels levels;
    std::vector<float> left(kBlock), right(kBlock);
    float* channels[] = {left.data(), right.data()};
    for (int done = 0; done < frames; done += kBlock) {
        for (int frame = 0; frame < kBlock; ++frame) {
            left[frame] = amplitude * stubhost::noise(seed);
            right[frame] = -left[frame];
        }
        effect->processReplacing(effect, channels, channels, kBlock);
        for (int frame = 0; frame < kBlock; ++frame) {
            for (float sample : {left[frame], right[frame]}) {
                levels.finite = levels.finite && std::isfinite(sample);
                levels.peak = std::max(levels.peak, std::fabs(sample));
                levels.atLimit += std::fabs(sample) >= 0.99f;
            }
        }
    }
    return levels;
}

void feedOneBlock(vst::AEffect* effect, float value) {
    std::vector<float> left(kBlock, value), right(kBlock, 0.0f);
    float* channels[] = {left.data(), right.data()};
    effect->processReplacing(effect, channels, channels, kBlock);
}

TEST(Recovery, ReverberatesAgainAfterBadInput) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e30f, 3e38f};
    for (float value : bad) {
        SCOPED_TRACE(value);
        testhost::Instance plugin;
        vst::AEffect* effect = plugin.get();
        effect->setParameter(effect, 5, 1.0f);  // all wet: what comes out is the network's
        run(effect, kSecond / 4, 0.5f, 1u);
        feedOneBlock(effect, value);
        // Let the bad block pass the pre-delay and the lines.
        run(effect, kSecond, 0.0f, 2u);

        const Levels music = run(effect, kSecond, 0.5f, 3u);
        EXPECT_TRUE(music.finite);
        EXPECT_LT(music.atLimit, kSecond / 100) << "stuck at the limit";
        EXPECT_GT(music.peak, 0.01f) << "silent";

        // The tail after the music: it reverberates rather than stopping dead.
        const Levels tail = run(effect, kSecond / 4, 0.0f, 4u);
        EXPECT_TRUE(tail.finite);
        EXPECT_GT(tail.peak, 1e-4f);
        EXPECT_LT(tail.atLimit, kBlock);
    }
}

}  // namespace
