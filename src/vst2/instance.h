// The VST 2 instance record: one allocation whose head is the AEffect the host
// sees, its `object` pointing back here, then the host's callback, the
// plug-in's core, the editor rectangle hosts read, and the editor.
#pragma once

#include "core/plugin.h"
#include "editor/editor.h"
#include "vst2/aeffect.h"

namespace orbelune {

struct PluginInstance {
    vst::AEffect header;
    vst::audioMasterCallback hostCallback = nullptr;
    Plugin plugin;
    vst::ERect editorRect = {0, 0, static_cast<std::int16_t>(kEditorHeight), static_cast<std::int16_t>(kEditorWidth)};
    Editor editor;
};

inline PluginInstance* instanceOf(vst::AEffect* effect) {
    return effect != nullptr ? static_cast<PluginInstance*>(effect->object) : nullptr;
}

// Creation and destruction (effClose).
vst::AEffect* createInstance(vst::audioMasterCallback hostCallback) noexcept;
void destroyInstance(PluginInstance* instance) noexcept;

// The AEffect's entries besides the dispatcher.
void setParameter(vst::AEffect* effect, vst::int32 index, float value);
float getParameter(vst::AEffect* effect, vst::int32 index);
// The host's audio callback (both `process` and `processReplacing`): runs on the
// audio thread, replaces the output.
void processReplacing(vst::AEffect* effect, float** inputs, float** outputs, vst::int32 frames) noexcept;

}  // namespace orbelune
