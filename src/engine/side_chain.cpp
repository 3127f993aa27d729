#include "engine/side_chain.h"

namespace orbelune {

namespace {

constexpr int kHistoryLength = 5;
// Binomial weights 1, −4, 6, −4, 1 of the fourth difference, newest first.
constexpr double kOuterWeight = 4.0;
constexpr double kCentreWeight = 6.0;

}  // namespace

double updateTransientDetector(EngineState& engine, double levelFast) {
    double* history = engine.levelHistory;
    for (int slot = kHistoryLength - 1; slot > 0; --slot) history[slot] = history[slot - 1];
    history[0] = levelFast;

    const double difference =
        (((history[0] - kOuterWeight * history[1]) + kCentreWeight * history[2]) - kOuterWeight * history[3]) +
        history[4];

    const double magnitude = std::fabs(difference);
    double peak = engine.transientPeak * engine.coefTransientDecay;
    if (magnitude > peak) peak = magnitude;
    if (peak < kTransientPeakFloor) peak = kTransientPeakFloor;
    engine.transientPeak = peak;

    const double ratio = difference / peak;
    if (ratio >= 1.0) return 1.0;
    if (ratio <= -1.0) return -1.0;
    return ratio;
}

}  // namespace orbelune
