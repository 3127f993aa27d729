// Creation and destruction of VST 2 instances, and the AEffect's parameter and
// audio entries. Creation and destruction run on the host's calling thread
// (normally its main one).
#include "vst2/instance.h"

#include <new>

#include "core/identity.h"
#include "vst2/dispatcher.h"

namespace orbelune {

namespace {

void fillHeader(PluginInstance& instance) {
    vst::AEffect& header = instance.header;
    header = vst::AEffect{};
    header.magic = vst::kEffectMagic;
    header.dispatcher = dispatcher;
    header.process = processReplacing;  // the old entry replaces the output too
    header.setParameter = setParameter;
    header.getParameter = getParameter;
    header.numPrograms = 1;
    header.numParams = kParamCount;
    header.numInputs = 2;
    header.numOutputs = 2;
    header.flags = vst::effFlagsCanReplacing | vst::effFlagsHasEditor;
    header.object = &instance;
    header.uniqueID = identity::kUniqueId;
    header.version = identity::kVersionNumber;
    header.processReplacing = processReplacing;
}

// The editor's host in VST 2: it shows the instance's own values and level,
// and each move of a knob is stored as setParameter stores it and reported
// with audioMasterAutomate; VST 2 hosts need no begin or end around a gesture.
float editorParameter(void* context, int index) {
    return pluginParameter(static_cast<PluginInstance*>(context)->plugin, index);
}
float editorOutputLevel(void* context) {
    return static_cast<PluginInstance*>(context)->plugin.outputMeter.load(std::memory_order_relaxed);
}
void noGestureEdge(void*, int) {}
void editorPerformEdit(void* context, int index, float value) {
    PluginInstance& instance = *static_cast<PluginInstance*>(context);
    setPluginParameter(instance.plugin, index, value);
    if (instance.hostCallback != nullptr)
        instance.hostCallback(&instance.header, vst::audioMasterAutomate, index, 0, nullptr, value);
}

// The editor chose a new size (the screen's density changed, or the host's
// factor): the host's window should follow.
void editorResize(void* context, int width, int height) {
    PluginInstance& instance = *static_cast<PluginInstance*>(context);
    if (instance.hostCallback != nullptr)
        instance.hostCallback(&instance.header, vst::audioMasterSizeWindow, width, height, nullptr, 0.0f);
}

}  // namespace

vst::AEffect* createInstance(vst::audioMasterCallback hostCallback) noexcept {
    if (hostCallback == nullptr) return nullptr;

    auto* instance = new (std::nothrow) PluginInstance;
    if (instance == nullptr) return nullptr;
    instance->hostCallback = hostCallback;
    instance->editor.host =
        EditorHost{instance, editorParameter, editorOutputLevel, noGestureEdge, editorPerformEdit, noGestureEdge};
    instance->editor.host.resize = editorResize;
    instance->editor.formatName = L"VST2";

    countEditorInstanceIn();
    if (!preparePlugin(instance->plugin)) {
        // The host's null result must leave the module as it was.
        countEditorInstanceOut();
        delete instance;
        return nullptr;
    }

    fillHeader(*instance);
    return &instance->header;
}

void destroyInstance(PluginInstance* instance) noexcept {
    closeEditor(instance->editor);
    countEditorInstanceOut();
    // The record's destructor releases the lines (the last first) and then the rings.
    delete instance;
}

void setParameter(vst::AEffect* effect, vst::int32 index, float value) {
    PluginInstance* instance = instanceOf(effect);
    if (instance == nullptr || !setPluginParameter(instance->plugin, index, value)) return;
    requestEditorRepaint(instance->editor);
}

float getParameter(vst::AEffect* effect, vst::int32 index) {
    PluginInstance* instance = instanceOf(effect);
    return instance != nullptr ? pluginParameter(instance->plugin, index) : 0.0f;
}

void processReplacing(vst::AEffect* effect, float** inputs, float** outputs, vst::int32 frames) noexcept {
    PluginInstance* instance = instanceOf(effect);
    if (instance == nullptr) return;
    processPlugin(instance->plugin, inputs, outputs, frames);
}

}  // namespace orbelune
