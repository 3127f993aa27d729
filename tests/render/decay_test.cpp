// The reverberation-time measurement on decays whose time is known.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "decay.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr double kDecibelsPerNeper = 8.685889638065035;  // 20 / ln 10

// White noise whose level falls by 60 dB in `rt60Seconds`, the same on both
// channels, after `gapSeconds` of silence that follow a direct sound of the
// given height at frame 0 (no direct sound when it is 0).
render::StereoBuffer decayingNoise(double rt60Seconds, double lengthSeconds, double directHeight, double gapSeconds) {
    render::StereoBuffer response;
    response.resize(static_cast<std::size_t>(lengthSeconds * kSampleRate));
    const double nepersPerSecond = 60.0 / kDecibelsPerNeper / rt60Seconds;
    const std::size_t gapFrames = static_cast<std::size_t>(gapSeconds * kSampleRate);
    std::uint32_t noise = 987654321u;
    for (std::size_t frame = gapFrames; frame < response.frames(); ++frame) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double white = static_cast<double>(noise) / 2147483648.0 - 1.0;
        const double time = static_cast<double>(frame - gapFrames) / kSampleRate;
        response.left[frame] = static_cast<float>(0.1 * white * std::exp(-nepersPerSecond * time));
        response.right[frame] = response.left[frame];
    }
    if (directHeight > 0.0) response.left[0] = response.right[0] = static_cast<float>(directHeight);
    return response;
}

TEST(DecayMeasurement, FindsTheReverberationTimeOfAnExponentialDecayInEveryBand) {
    for (const double rt60 : {0.4, 1.5, 4.0}) {
        SCOPED_TRACE(rt60);
        const render::DecayMeasurement measurement =
            render::measureDecay(decayingNoise(rt60, 1.5 * rt60, 0.0, 0.0), kSampleRate);
        EXPECT_NEAR(measurement.broadband.rt60Seconds, rt60, 0.02 * rt60);
        EXPECT_EQ(measurement.broadband.fitRangeDecibels, 30);
        ASSERT_EQ(measurement.octaveBands.size(), 7u);  // 125 Hz to 8 kHz
        for (const render::DecayCurve& band : measurement.octaveBands) {
            SCOPED_TRACE(band.centreHz);
            // A narrow band of noise holds few independent values over a short
            // decay, so its curve wanders more than the broadband one.
            EXPECT_NEAR(band.rt60Seconds, rt60, 0.1 * rt60);
        }
    }
}

TEST(DecayMeasurement, IsNotMisledByALoudDirectSoundAndAPreDelayGap) {
    // A dry impulse far louder than the whole tail, then 60 ms of nothing.
    const render::DecayMeasurement measurement =
        render::measureDecay(decayingNoise(2.0, 3.0, 0.9, 0.06), kSampleRate);
    EXPECT_NEAR(measurement.broadband.rt60Seconds, 2.0, 0.06);
}

TEST(DecayMeasurement, ReportsNoTimeForAResponseThatDoesNotDecay) {
    // A single impulse: nothing follows the direct sound.
    render::StereoBuffer impulse;
    impulse.resize(static_cast<std::size_t>(kSampleRate));
    impulse.left[0] = impulse.right[0] = 1.0f;
    EXPECT_TRUE(std::isnan(render::measureDecay(impulse, kSampleRate).broadband.rt60Seconds));
}

TEST(DecayMeasurement, EnergyDecayCurveIsBackwardIntegratedEnergyInDecibels) {
    // Energies 4, 2, 1, 1: the remaining sums 8, 4, 2, 1.
    const std::vector<double> levels = render::energyDecayCurve({4.0, 2.0, 1.0, 1.0}, 0);
    ASSERT_EQ(levels.size(), 4u);
    const double halving = 10.0 * std::log10(0.5);
    for (std::size_t frame = 0; frame < levels.size(); ++frame) {
        EXPECT_NEAR(levels[frame], halving * static_cast<double>(frame), 1e-12);
    }
}

}  // namespace
