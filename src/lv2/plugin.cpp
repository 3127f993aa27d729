// The plug-in as LV2: the DSP binary. It reads its control ports once per run,
// in the units they show, and drives the same core as every other format. It
// carries no editor: the UI is a binary of its own.
#include <lv2/core/lv2.h>

#include <new>

#include "core/plugin.h"
#include "lv2/ports.h"
#include "platform/export.h"

namespace orbelune::lv2adapter {

namespace {

using namespace lv2ports;

struct Lv2Plugin {
    Plugin* core = nullptr;
    double rate = 44100.0;
    float* ports[kPortCount] = {};
};

// The rate goes through the same clamp as the other formats'.
void prepare(Lv2Plugin& plugin) { setPluginSampleRate(*plugin.core, plugin.rate); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    auto* plugin = new (std::nothrow) Lv2Plugin;
    if (plugin == nullptr) return nullptr;
    plugin->core = createPlugin();
    if (plugin->core == nullptr) {
        delete plugin;
        return nullptr;
    }
    plugin->rate = rate;
    prepare(*plugin);
    return plugin;
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    if (port < kPortCount) static_cast<Lv2Plugin*>(handle)->ports[port] = static_cast<float*>(data);
}

// A fresh start clears the tail, as a rate change does in the other formats.
void activate(LV2_Handle handle) { prepare(*static_cast<Lv2Plugin*>(handle)); }

void run(LV2_Handle handle, uint32_t frames) {
    auto* plugin = static_cast<Lv2Plugin*>(handle);
    Plugin& core = *plugin->core;
    // Controls are read once per call, as the engine takes its values once per
    // block. Only a value that changed is stored, so an unchanged "Size" asks
    // for no rebuild; a changed one rebuilds the lines in this call.
    for (int index = 0; index < kParamCount; ++index) {
        const float* port = plugin->ports[kFirstControl + index];
        if (port == nullptr) continue;
        const float value = engineValue(index, *port);
        if (value != pluginParameter(core, index)) setPluginParameter(core, index, value);
    }
    const float* inputs[2] = {plugin->ports[kInputLeft], plugin->ports[kInputRight]};
    float* outputs[2] = {plugin->ports[kOutputLeft], plugin->ports[kOutputRight]};
    if (frames > 0) processPlugin(core, inputs, outputs, static_cast<std::int32_t>(frames));
    if (plugin->ports[kLevel] != nullptr) *plugin->ports[kLevel] = core.outputMeter.load(std::memory_order_relaxed);
}

void cleanup(LV2_Handle handle) {
    auto* plugin = static_cast<Lv2Plugin*>(handle);
    destroyPlugin(plugin->core);
    delete plugin;
}

const LV2_Descriptor descriptor = {kPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, nullptr};

}  // namespace

}  // namespace orbelune::lv2adapter

extern "C" ORBELUNE_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &orbelune::lv2adapter::descriptor : nullptr;
}
