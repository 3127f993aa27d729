#include "engine/preparation.h"

#include <cmath>

#include "engine/delay_lines.h"

namespace orbelune {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kLfoRadiansPerSecond = 36.4424747816416;  // 2π·5.8 Hz
constexpr double kDesignFloorHz = 10.0;

constexpr double kSideHighPassHz = 140.0;
constexpr double kButterworthQTimesTwo = 1.414213562373095;  // 2·Q with Q = 1/√2

constexpr double kSideToneHz = 2600.0;
constexpr double kSideToneTwoQ = 1.7;                      // 2·Q with Q = 0.85
constexpr double kSideToneAmplitude = 0.8831760866327847;  // √0.78: gain 0.78 at the centre

// new = d·old: d = exp(−1/(T·R)).
double decayFactor(double seconds, double rate) { return std::exp(-1.0 / (seconds * rate)); }
// new = old + (target − old)·k: k = 1 − exp(−1/(T·R)).
double stepSize(double seconds, double rate) { return 1.0 - std::exp(-1.0 / (seconds * rate)); }

// Keeps a design frequency below 0.49 of the rate, and never below 10 Hz.
double limitDesignFrequency(double frequency, double rate) {
    const double limit = 0.49 * rate;
    if (limit < frequency) return limit > kDesignFloorHz ? limit : kDesignFloorHz;
    return frequency;
}

void designHighPass(Biquad& filter, double frequency, double rate) {
    const double w = (frequency * kTwoPi) / rate;
    const double s = std::sin(w);
    const double c = std::cos(w);
    const double alpha = s / kButterworthQTimesTwo;
    const double a0 = alpha + 1.0;
    filter.b0 = (0.5 * (c + 1.0)) / a0;
    filter.b1 = -(c + 1.0) / a0;
    filter.b2 = (0.5 * (c + 1.0)) / a0;
    filter.a1 = (-2.0 * c) / a0;
    filter.a2 = (1.0 - alpha) / a0;
}

void designPeak(Biquad& filter, double frequency, double rate) {
    const double w = (frequency * kTwoPi) / rate;
    const double s = std::sin(w);
    const double c = std::cos(w);
    const double alpha = s / kSideToneTwoQ;
    const double p = alpha * kSideToneAmplitude;
    const double q = alpha / kSideToneAmplitude;
    const double a0 = q + 1.0;
    filter.b0 = (p + 1.0) / a0;
    filter.b1 = (-2.0 * c) / a0;
    filter.b2 = (1.0 - p) / a0;
    filter.a1 = (-2.0 * c) / a0;
    filter.a2 = (1.0 - q) / a0;
}

}  // namespace

double clampSampleRate(double rate) {
    const double atLeastMinimum = rate > kMinSampleRate ? rate : kMinSampleRate;
    return atLeastMinimum < kMaxSampleRate ? atLeastMinimum : kMaxSampleRate;
}

void computeCoefficients(EngineState& engine, double rate) {
    engine.coefPeakDecay = decayFactor(1.5, rate);
    engine.coefAttack = decayFactor(0.001, rate);
    engine.coefRelease = decayFactor(0.06, rate);
    engine.coefAverage = stepSize(0.08, rate);
    engine.coefFast = stepSize(0.005, rate);
    engine.coefTransientDecay = decayFactor(0.5, rate);
    engine.coefTransientSmooth = stepSize(0.004, rate);
    engine.lfoIncrement = kLfoRadiansPerSecond / rate;

    // One detector update every 2 ms.
    const auto interval = static_cast<std::int32_t>(0.002 * rate);
    engine.decimation = interval > 0 ? interval : 1;

    designHighPass(engine.sideHighPass, limitDesignFrequency(kSideHighPassHz, rate), rate);
    designPeak(engine.sideTone, limitDesignFrequency(kSideToneHz, rate), rate);
}

bool prepareEngine(EngineState& engine, double& sampleRate, double rate, float size) noexcept {
    double rateUsed = clampSampleRate(rate);
    const bool obtained = reserveDelayBuffers(engine, rateUsed);
    if (!obtained) {
        // Keep running at the rate whose buffers we already hold.
        rateUsed = sampleRate;
        if (!reserveDelayBuffers(engine, rateUsed)) return false;
    }
    sampleRate = rateUsed;
    computeCoefficients(engine, rateUsed);
    rebuildDelayLines(engine, rateUsed, size);
    return obtained;
}

}  // namespace orbelune
