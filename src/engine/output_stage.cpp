#include "engine/output_stage.h"

namespace orbelune {

void updateOutputMeter(std::atomic<float>& outputMeter, float blockPeak) {
    // Only this thread writes the meter; the editor reads it at any time and sees
    // the value of some completed block.
    const float previous = outputMeter.load(std::memory_order_relaxed);
    outputMeter.store(kMeterKeep * previous + kMeterTake * blockPeak, std::memory_order_relaxed);
}

}  // namespace orbelune
