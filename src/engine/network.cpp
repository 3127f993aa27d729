#include "engine/network.h"

namespace orbelune {

void clearNetwork(EngineState& engine, double* lineOut) {
    for (int line = 0; line < kLineCount; ++line) {
        std::fill(engine.lines[line].begin(), engine.lines[line].end(), 0.0);
        engine.lineDamp[line] = 0.0;
        lineOut[line] = 0.0;
    }
    engine.injectLow[0] = 0.0;
    engine.injectLow[1] = 0.0;
}

}  // namespace orbelune
