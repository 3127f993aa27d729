#include "engine/tail.h"

#include <algorithm>
#include <cmath>

namespace orbelune {

namespace {

// Reverberation times in seconds, measured on the network with an impulse at
// 44.1 kHz (the longest octave band, "Damping" 0, which rings longest), by
// "Size" (rows: 0, 0.25, 0.5, 0.75, 1) and "Decay" (columns below).
constexpr int kSizeSteps = 5;
constexpr int kDecaySteps = 13;
constexpr float kDecayPoints[kDecaySteps] = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f,
                                             0.7f, 0.8f, 0.85f, 0.9f, 0.95f, 1.0f};
constexpr double kMeasuredSeconds[kSizeSteps][kDecaySteps] = {
    {0.30, 0.32, 0.36, 0.40, 0.48, 0.58, 0.73, 0.96, 1.43, 1.86, 2.63, 4.45, 15.39},
    {0.44, 0.48, 0.52, 0.60, 0.69, 0.83, 1.06, 1.42, 2.11, 2.75, 3.90, 6.58, 19.65},
    {0.52, 0.59, 0.66, 0.77, 0.91, 1.11, 1.41, 1.89, 2.82, 3.68, 5.24, 8.84, 26.91},
    {0.64, 0.72, 0.82, 0.95, 1.15, 1.38, 1.76, 2.39, 3.56, 4.65, 6.57, 11.20, 34.67},
    {0.76, 0.87, 0.98, 1.13, 1.36, 1.65, 2.10, 2.84, 4.22, 5.50, 7.83, 13.33, 55.15},
};
constexpr double kNinetyDecibels = 1.5;  // reverberation times: 60 dB each

// The reciprocal of a reverberation time follows the loop's loss, which the
// settings move about linearly; interpolating it keeps the steep end right.
double interpolatedSeconds(float decay, float size) {
    const float position = std::clamp(size, 0.0f, 1.0f) * (kSizeSteps - 1);
    const int row = std::min(static_cast<int>(position), kSizeSteps - 2);
    const double rowWeight = position - static_cast<float>(row);
    decay = std::clamp(decay, 0.0f, 1.0f);
    int column = 0;
    while (column < kDecaySteps - 2 && decay > kDecayPoints[column + 1]) ++column;
    const double columnWeight = (decay - kDecayPoints[column]) / (kDecayPoints[column + 1] - kDecayPoints[column]);
    auto loss = [&](int r) {
        return (1.0 - columnWeight) / kMeasuredSeconds[r][column] + columnWeight / kMeasuredSeconds[r][column + 1];
    };
    return 1.0 / ((1.0 - rowWeight) * loss(row) + rowWeight * loss(row + 1));
}

}  // namespace

double tailSeconds(float decay, float size, float preDelaySeconds) {
    // NaN settings are stored as 1 elsewhere; the longest tail is the safe answer here too.
    if (!(decay >= 0.0f)) decay = 1.0f;
    if (!(size >= 0.0f)) size = 1.0f;
    const double preDelay = preDelaySeconds > 0.0f ? preDelaySeconds : 0.0;
    return kNinetyDecibels * interpolatedSeconds(decay, size) + preDelay;
}

}  // namespace orbelune
