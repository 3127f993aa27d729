#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "engine/delay_lines.h"
#include "engine/preparation.h"

using namespace orbelune;

namespace {

struct PreparedEngine {
    EngineState engine;
    double sampleRate = 44100.0;
    explicit PreparedEngine(double rate, float size = 0.6f) { EXPECT_TRUE(prepareEngine(engine, sampleRate, rate, size)); }
};

std::vector<int> lineLengths(const EngineState& engine) { return {std::begin(engine.lineLength), std::end(engine.lineLength)}; }

double magnitudeAt(const Biquad& filter, double frequency, double rate) {
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * frequency / rate);  // z^-1
    return std::abs((filter.b0 + filter.b1 * z + filter.b2 * z * z) / (1.0 + filter.a1 * z + filter.a2 * z * z));
}

TEST(Preparation, CoefficientsAt44100) {
    PreparedEngine prepared(44100.0);
    const EngineState& engine = prepared.engine;
    EXPECT_EQ(prepared.sampleRate, 44100.0);
    EXPECT_EQ(engine.coefPeakDecay, 0.9999848829562894);
    EXPECT_EQ(engine.coefAttack, 0.9775794252591526);
    EXPECT_EQ(engine.coefRelease, 0.999622142456792);
    EXPECT_EQ(engine.coefAverage, 0.0002834065447940848);
    EXPECT_EQ(engine.coefFast, 0.004524879139899407);
    EXPECT_EQ(engine.coefTransientDecay, 0.9999546495544397);
    EXPECT_EQ(engine.coefTransientSmooth, 0.005652896153250708);
    EXPECT_EQ(engine.lfoIncrement, 0.0008263599723728254);
    EXPECT_EQ(engine.decimation, 88);

    EXPECT_EQ(engine.sideHighPass.b0, 0.9859946058138109);
    EXPECT_EQ(engine.sideHighPass.b2, 0.9859946058138109);
    EXPECT_EQ(engine.sideHighPass.b1, -1.9719892116276219);
    EXPECT_EQ(engine.sideHighPass.a1, -1.9717930509415578);
    EXPECT_EQ(engine.sideHighPass.a2, 0.9721853723136862);
    EXPECT_EQ(engine.sideTone.b0, 0.9572587144075099);
    EXPECT_EQ(engine.sideTone.b1, -1.502137315811771);
    EXPECT_EQ(engine.sideTone.a1, -1.502137315811771);
    EXPECT_EQ(engine.sideTone.b2, 0.6541841438425814);
    EXPECT_EQ(engine.sideTone.a2, 0.6114428582500915);
}

TEST(Preparation, CoefficientsAtOtherRates) {
    PreparedEngine at48k(48000.0);
    EXPECT_EQ(at48k.engine.decimation, 96);
    EXPECT_EQ(at48k.engine.lfoIncrement, 0.0007592182246175333);

    // Everything at or below 8 kHz, and NaN, runs at 8 kHz.
    for (double rate : {4000.0, 0.5, std::numeric_limits<double>::quiet_NaN(), 8000.0}) {
        PreparedEngine low(rate);
        EXPECT_EQ(low.sampleRate, 8000.0);
        EXPECT_EQ(low.engine.decimation, 16);
        EXPECT_EQ(low.engine.lfoIncrement, 0.0045553093477052);
        EXPECT_EQ(low.engine.coefAttack, 0.8824969025845955);
        EXPECT_EQ(low.engine.sideHighPass.b0, 0.9251912992395025);
        EXPECT_EQ(low.engine.sideHighPass.a1, -1.8447784050234595);
        EXPECT_EQ(low.engine.sideHighPass.a2, 0.8559867919345505);
        EXPECT_EQ(low.engine.sideTone.b1, 0.5698205710899731);
        EXPECT_EQ(low.engine.sideTone.a1, 0.5698205710899731);
    }
}

TEST(Preparation, FilterResponses) {
    PreparedEngine prepared(44100.0);
    EXPECT_NEAR(magnitudeAt(prepared.engine.sideHighPass, 140.0, 44100.0), 1.0 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(magnitudeAt(prepared.engine.sideHighPass, 20.0, 44100.0), 0.0204, 1e-4);
    EXPECT_NEAR(magnitudeAt(prepared.engine.sideTone, 2600.0, 44100.0), 0.78, 1e-12);
    EXPECT_NEAR(magnitudeAt(prepared.engine.sideTone, 100.0, 44100.0), 0.9995, 1e-4);
}

TEST(Preparation, KeepsRunningStateAndClearsTheTail) {
    PreparedEngine prepared(44100.0);
    EngineState& engine = prepared.engine;
    engine.level = 0.3;
    engine.lfoPhase = 1.25;
    engine.decimationCounter = 40;
    engine.sideHighPass.z1 = 0.125;
    engine.sideTone.z2 = -0.25;
    engine.injectLow[0] = 0.5;
    engine.lines[2][7] = 0.75;
    engine.lineDamp[5] = 0.1;
    engine.preDelayRight[3] = 0.2;
    engine.preDelayWritePos = 9;
    engine.linePos[4] = 11;

    ASSERT_TRUE(prepareEngine(engine, prepared.sampleRate, 44100.0, 0.6f));
    EXPECT_EQ(engine.level, 0.3);
    EXPECT_EQ(engine.lfoPhase, 1.25);
    EXPECT_EQ(engine.decimationCounter, 40);
    EXPECT_EQ(engine.sideHighPass.z1, 0.125);
    EXPECT_EQ(engine.sideTone.z2, -0.25);
    EXPECT_EQ(engine.injectLow[0], 0.5);
    EXPECT_EQ(engine.sideHighPass.b0, 0.9859946058138109);  // unchanged rate, unchanged values
    EXPECT_EQ(engine.lines[2][7], 0.0);
    EXPECT_EQ(engine.lineDamp[5], 0.0);
    EXPECT_EQ(engine.preDelayRight[3], 0.0);
    EXPECT_EQ(engine.preDelayWritePos, 0);
    EXPECT_EQ(engine.linePos[4], 0);
}

TEST(PrimeSearch, NearestPrimeWithTiesUpward) {
    const std::pair<int, int> cases[] = {{-5, 2}, {0, 2}, {1, 2}, {2, 2}, {3, 3}, {4, 5}, {8, 7}, {9, 11},
                                         {1436, 1439}, {2309, 2309}, {3097, 3089}, {1434, 1433}};
    for (auto [target, prime] : cases) EXPECT_EQ(nearestPrime(target), prime) << target;
}

TEST(PrimeSearch, ResultIsPrimeAndNoPrimeIsCloser) {
    for (int target = 3; target < 20000; target += 7) {
        const int prime = nearestPrime(target);
        ASSERT_TRUE(isPrime(prime));
        const int distance = std::abs(prime - target);
        for (int other = target - distance; other <= target + distance; ++other) {
            if (other == prime || !isPrime(other)) continue;
            // Only an equally distant smaller prime may exist.
            ASSERT_EQ(std::abs(other - target), distance) << target;
            ASSERT_LT(other, prime) << target;
        }
    }
}

TEST(DelayLines, LengthsAt44100ForEachSize) {
    EXPECT_EQ(lineLengths(PreparedEngine(44100.0, 0.6f).engine),
              (std::vector<int>{1433, 1693, 1973, 2273, 2633, 3049, 3527, 4079}));
    EXPECT_EQ(lineLengths(PreparedEngine(44100.0, 0.0f).engine),
              (std::vector<int>{653, 769, 887, 1033, 1193, 1381, 1601, 1847}));
    EXPECT_EQ(lineLengths(PreparedEngine(44100.0, 1.0f).engine),
              (std::vector<int>{1951, 2309, 2683, 3089, 3583, 4157, 4813, 5563}));

    const PreparedEngine defaults(44100.0);
    const std::size_t buffers[] = {1561, 1821, 2101, 2401, 2761, 3177, 3655, 4207};
    for (int line = 0; line < kLineCount; ++line) EXPECT_EQ(defaults.engine.lines[line].size(), buffers[line]);
    EXPECT_EQ(defaults.engine.preDelayLeft.size(), 11025u);
    EXPECT_EQ(defaults.engine.preDelayRight.size(), 11025u);
}

TEST(DelayLines, LengthsAtOtherRates) {
    const PreparedEngine at48k(48000.0);
    EXPECT_EQ(lineLengths(at48k.engine), (std::vector<int>{1559, 1847, 2141, 2473, 2861, 3319, 3833, 4441}));
    EXPECT_EQ(at48k.engine.preDelayLeft.size(), 12000u);
    const PreparedEngine at8k(8000.0);
    EXPECT_EQ(lineLengths(at8k.engine), (std::vector<int>{263, 307, 359, 409, 479, 557, 641, 739}));
    EXPECT_EQ(at8k.engine.preDelayLeft.size(), 2000u);
}

TEST(DelayLines, RebuildAtTheSameRateNeverReallocates) {
    for (double rate : {8000.0, 44100.0, 96000.0, 384000.0}) {
        PreparedEngine prepared(rate, 0.0f);
        EngineState& engine = prepared.engine;
        std::vector<const double*> before;
        for (const auto& line : engine.lines) before.push_back(line.data());
        const double* ring = engine.preDelayLeft.data();
        for (float size : {1.0f, 0.3f, 0.999f, 0.0f, 1.0f}) {
            rebuildDelayLines(engine, rate, size);
            for (int line = 0; line < kLineCount; ++line) ASSERT_EQ(engine.lines[line].data(), before[line]) << rate;
            ASSERT_EQ(engine.preDelayLeft.data(), ring);
        }
    }
}

}  // namespace
