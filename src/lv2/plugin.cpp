// The plug-in as LV2: the DSP binary. It reads its control ports once per run,
// in the units they show, and drives the same instance record and engine as
// every other format.
#include <lv2/core/lv2.h>

#include <new>

#include "core/instance.h"
#include "core/parameters.h"
#include "lv2/ports.h"
#include "platform/export.h"
#include "vst2/processing.h"

namespace orbelune::lv2adapter {

namespace {

using namespace lv2ports;

struct Plugin {
    PluginInstance* instance = nullptr;
    double rate = 44100.0;
    float* ports[kPortCount] = {};
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    PluginInstance* instance = createAdapterInstance();
    if (instance == nullptr) return nullptr;
    auto* plugin = new (std::nothrow) Plugin;
    if (plugin == nullptr) {
        destroyInstance(instance);
        return nullptr;
    }
    plugin->instance = instance;
    // The rate goes through the same clamp as the other formats'.
    plugin->rate = rate;
    setSampleRate(*plugin->instance, static_cast<float>(rate));
    return plugin;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    if (port < kPortCount) static_cast<Plugin*>(handle)->ports[port] = static_cast<float*>(data);
}

// A fresh start clears the tail, as a rate change does in the other formats.
void activate(LV2_Handle handle) {
    auto* plugin = static_cast<Plugin*>(handle);
    setSampleRate(*plugin->instance, static_cast<float>(plugin->rate));
}

void run(LV2_Handle handle, uint32_t frames) {
    auto* plugin = static_cast<Plugin*>(handle);
    // Controls are read once per call, as the engine takes its values once per
    // block. Only a value that changed is stored, so an unchanged "Size" asks
    // for no rebuild; a changed one rebuilds the lines in this call.
    for (int index = 0; index < kParamCount; ++index) {
        const float* port = plugin->ports[kFirstControl + index];
        if (port == nullptr) continue;
        const float value = engineValue(index, *port);
        if (value != plugin->instance->params[index].load(std::memory_order_relaxed))
            storeParameter(*plugin->instance, index, value);
    }
    float* inputs[2] = {plugin->ports[kInputLeft], plugin->ports[kInputRight]};
    float* outputs[2] = {plugin->ports[kOutputLeft], plugin->ports[kOutputRight]};
    if (frames > 0 && inputs[0] != nullptr && inputs[1] != nullptr && outputs[0] != nullptr && outputs[1] != nullptr)
        processReplacing(&plugin->instance->header, inputs, outputs, static_cast<vst::int32>(frames));
    if (plugin->ports[kLevel] != nullptr)
        *plugin->ports[kLevel] = plugin->instance->outputMeter.load(std::memory_order_relaxed);
}

void cleanup(LV2_Handle handle) {
    auto* plugin = static_cast<Plugin*>(handle);
    destroyInstance(plugin->instance);
    delete plugin;
}

const LV2_Descriptor descriptor = {kPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, nullptr};

}  // namespace

}  // namespace orbelune::lv2adapter

extern "C" ORBELUNE_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &orbelune::lv2adapter::descriptor : nullptr;
}
