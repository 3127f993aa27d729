#include "engine/delay_lines.h"

#include <new>
#include <stdexcept>

namespace orbelune {

namespace {

constexpr double kReferenceRate = 44100.0;
constexpr std::int32_t kPrimeSearchSteps = 100000;
constexpr float kLargestSize = 1.0f;

// "Size" 0 scales the base lengths by 0.6, "Size" 1 by 1.8.
double sizeScale(float size) { return static_cast<double>(size) * 1.2 + 0.6; }

}  // namespace

bool isPrime(std::int64_t candidate) {
    if (candidate <= 1) return false;
    if (candidate <= 3) return true;
    if (candidate % 2 == 0) return false;
    for (std::int64_t divisor = 3; divisor * divisor <= candidate; divisor += 2) {
        if (candidate % divisor == 0) return false;
    }
    return true;
}

std::int32_t nearestPrime(std::int32_t target) {
    if (target <= 2) return 2;
    for (std::int64_t step = 0; step < kPrimeSearchSteps; ++step) {
        // Upward first, so that a tie goes to the larger prime.
        if (isPrime(target + step)) return static_cast<std::int32_t>(target + step);
        if (isPrime(target - step)) return static_cast<std::int32_t>(target - step);
    }
    return target | 1;
}

std::int32_t preDelayRingLength(double sampleRate) { return static_cast<std::int32_t>(0.25 * sampleRate); }

std::int32_t lineLengthFor(int line, float size, double sampleRate) {
    const double ratio = sampleRate / kReferenceRate;
    const double target = (static_cast<double>(baseLineLengths[line]) * sizeScale(size)) * ratio;
    return nearestPrime(static_cast<std::int32_t>(target));
}

bool reserveDelayBuffers(EngineState& engine, double sampleRate) noexcept {
    try {
        const auto ringLength = static_cast<std::size_t>(preDelayRingLength(sampleRate));
        engine.preDelayLeft.reserve(ringLength);
        engine.preDelayRight.reserve(ringLength);
        for (int line = 0; line < kLineCount; ++line) {
            const auto length = lineLengthFor(line, kLargestSize, sampleRate) + kLineGuardSamples;
            engine.lines[line].reserve(static_cast<std::size_t>(length));
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void rebuildDelayLines(EngineState& engine, double sampleRate, float size) {
    const auto ringLength = static_cast<std::size_t>(preDelayRingLength(sampleRate));
    // assign() clears old contents too and stays within the reserved capacity.
    engine.preDelayLeft.assign(ringLength, 0.0);
    engine.preDelayRight.assign(ringLength, 0.0);
    engine.preDelayWritePos = 0;
    for (int line = 0; line < kLineCount; ++line) {
        const std::int32_t length = lineLengthFor(line, size, sampleRate);
        engine.lineLength[line] = length;
        engine.lines[line].assign(static_cast<std::size_t>(length + kLineGuardSamples), 0.0);
        engine.linePos[line] = 0;
        engine.lineDamp[line] = 0.0;
    }
}

}  // namespace orbelune
