// The window system and GDI+ as the plug-in sees them. The Windows build uses
// the real USER32, GDI32, KERNEL32 and GDI+; the Linux plug-in answers the same
// calls on Xlib and cairo, so the code above this line is written once.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// GDI+ headers need min/max and the COM declarations that the lean header leaves out.
#include <objidl.h>
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
#else
#include "platform/linux/win32_api.h"
#endif

namespace orbelune::platform {

// The density of the screen a window is on, as a scale of the 96-dpi base
// (1 for 96, 2 for 192): what hosts that give no factor leave the editor to
// find. Windows: the window's own DPI, per monitor where the host is aware of
// monitors; X: the desktop's Xft.dpi.
float screenScale(HWND window);

#if defined(_WIN32)
// USER32 takes repaint requests from any thread, and the host's message loop
// delivers the editor's messages.
constexpr bool kRepaintFromAnyThread = true;
inline void deliverWindowEvents(HWND) {}
#else
// Xlib is not initialised for threads here (the host may share the library),
// so only the editor's thread touches the window system: other threads leave a
// request in the instance that the editor's idle step consumes.
constexpr bool kRepaintFromAnyThread = false;
// The plug-in's own X connection is read by nobody else: the idle step hands
// its pending input, exposure and repaint messages to the window procedure.
void deliverWindowEvents(HWND window);
// The descriptor on which the window's events arrive, for a host's run loop to
// watch; -1 when there is none.
int windowEventDescriptor(HWND window);
// The window's id in the window system, for hosts that embed it by id; 0 when
// there is none.
unsigned long nativeWindowId(HWND window);
// Free what the window and drawing halves keep for the process (windows,
// connections, font data), at the module's unload; nothing may call them after.
void releaseWindowSystem();
void releaseDrawingState();
#endif

}  // namespace orbelune::platform
