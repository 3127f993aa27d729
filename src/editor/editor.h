// The editor operations the dispatcher forwards (effEditGetRect, effEditOpen,
// effEditClose, effEditIdle). They run on the host's user-interface thread.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "vst/aeffect.h"

namespace orbelune {

struct PluginInstance;

constexpr const char* kEditorClassName = "DrevonOrbeluneEditorWndClass";

inline bool editorAvailable() { return kPlatformShowsEditor; }

// Hands out the instance's editorRect through `rectPointer`; 0 when that is null.
vst::intptr getEditorRect(PluginInstance& instance, vst::ERect** rectPointer);
vst::intptr openEditor(PluginInstance& instance, HWND parent);
vst::intptr closeEditor(PluginInstance& instance);
vst::intptr idleEditor(PluginInstance& instance);

}  // namespace orbelune
