// The window system and GDI+ as the plug-in sees them. The Windows build uses
// the real USER32, GDI32, KERNEL32 and GDI+; elsewhere a headless stand-in of our
// own answers the same calls, so the code above this line is written once.
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
#include "platform/headless/win32_standin.h"
#endif

namespace orbelune {
// Whether this build can show the editor in a host's window. The headless
// stand-in can run the editor for tests, but a Linux host hands us an X11 window
// that it cannot embed into, so the Linux plug-in does not advertise one.
#if defined(_WIN32)
constexpr bool kPlatformShowsEditor = true;
#else
constexpr bool kPlatformShowsEditor = false;
#endif
}  // namespace orbelune
