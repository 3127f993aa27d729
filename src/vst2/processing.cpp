#include "vst2/processing.h"

#include "engine/processing.h"
#include "core/instance.h"
#include "platform/float_mode.h"

namespace orbelune {

void processReplacing(vst::AEffect* effect, float** inputs, float** outputs, vst::int32 frames) noexcept {
    PluginInstance* instance = instanceOf(effect);
    if (instance == nullptr || inputs == nullptr || outputs == nullptr) return;
    const ScopedFlushDenormals floatMode;
    processBlock(instance->engine, instance->params, instance->hostBypass.load(std::memory_order_relaxed) != 0,
                 instance->sampleRate, instance->outputMeter, inputs, outputs, frames);
}

}  // namespace orbelune
