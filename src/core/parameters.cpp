#include "core/parameters.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "editor/editor.h"
#include "core/instance.h"

namespace orbelune {

void storeParameter(PluginInstance& instance, int index, float value) {
    instance.params[index].store(clampParameter(value), std::memory_order_relaxed);
    // The store comes first, so the audio thread that consumes the request sees it.
    if (index == kParamSize) instance.engine.rebuildRequested.exchange(1);
}

void writeParameterName(int index, char* destination) {
    std::strncpy(destination, parameterTable[index].name, kParamNameBytes);
}

void writeParameterLabel(int index, char* destination) {
    std::strncpy(destination, parameterTable[index].label, kParamLabelBytes);
}

void writeParameterDisplay(const PluginInstance& instance, int index, char* destination) {
    formatParameterValue(index, instance.params[index].load(std::memory_order_relaxed), destination);
}

void setParameter(vst::AEffect* effect, vst::int32 index, float value) {
    PluginInstance* instance = instanceOf(effect);
    if (instance == nullptr || !isParameterIndex(index)) return;
    storeParameter(*instance, index, value);
    requestEditorRepaint(*instance);
}

namespace {

// The editor's host in VST 2: it shows the instance's own values, and each
// move of a knob is stored as setParameter stores it and reported with
// audioMasterAutomate; VST 2 hosts need no begin or end around a gesture.
float vst2Parameter(void* context, int index) {
    return static_cast<PluginInstance*>(context)->params[index].load(std::memory_order_relaxed);
}
void vst2NoGestureEdge(void*, int) {}
void vst2PerformEdit(void* context, int index, float value) {
    PluginInstance& instance = *static_cast<PluginInstance*>(context);
    storeParameter(instance, index, value);
    if (instance.hostCallback != nullptr)
        instance.hostCallback(&instance.header, vst::audioMasterAutomate, index, 0, nullptr, value);
}

}  // namespace

EditorHost vst2EditorHost(PluginInstance& instance) {
    return EditorHost{&instance, vst2Parameter, vst2NoGestureEdge, vst2PerformEdit, vst2NoGestureEdge};
}

float getParameter(vst::AEffect* effect, vst::int32 index) {
    PluginInstance* instance = instanceOf(effect);
    if (instance == nullptr || !isParameterIndex(index)) return 0.0f;
    return instance->params[index].load(std::memory_order_relaxed);
}

}  // namespace orbelune
