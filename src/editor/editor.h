// The editor operations the dispatcher forwards (effEditGetRect, effEditOpen,
// effEditClose, effEditIdle). They run on the host's user-interface thread.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "vst2/aeffect.h"

namespace orbelune {

struct PluginInstance;

constexpr const char* kEditorClassName = "DrevonOrbeluneEditorWndClass";

inline bool editorAvailable() { return true; }

// Hands out the address of the instance's editorRect through `rectPointer`
// when that is not null; 1 in every case.
vst::intptr getEditorRect(PluginInstance& instance, vst::ERect** rectPointer);
// Creates the editor as a child of `parent` (registering the window class on the
// first open in the process); 1 when a window was made. A window still open is
// closed first.
vst::intptr openEditor(PluginInstance& instance, HWND parent);
// Destroys the editor window if one is open; 1 in every case.
vst::intptr closeEditor(PluginInstance& instance);
// Advances the animation and asks for the repaint it needs while a window is
// open (the visual panel, or everything after a parameter change), then hands
// the window the events that are waiting for it; 0 in every case.
vst::intptr idleEditor(PluginInstance& instance);

// Asks for a repaint of the whole editor, from any thread, the audio thread
// included, and without blocking.
void requestEditorRepaint(PluginInstance& instance);

// The editor window's procedure; it finds its instance in the window's user data.
LRESULT CALLBACK editorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace orbelune
