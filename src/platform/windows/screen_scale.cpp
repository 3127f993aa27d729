// The density of the screen under a window, on Windows.
#include "platform/win32.h"

namespace orbelune::platform {

namespace {

constexpr float kBaseDpi = 96.0f;
using DpiForWindow = UINT(WINAPI*)(HWND);

// Asked for by name, so the plug-in still loads on Windows before 10, where
// the device context's resolution (the system's) stands in.
DpiForWindow dpiForWindow() {
    static const DpiForWindow found = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    return found;
}

}  // namespace

float screenScale(HWND window) {
    UINT dpi = 0;
    if (DpiForWindow ask = dpiForWindow(); ask != nullptr && window != nullptr) dpi = ask(window);
    if (dpi == 0) {
        HDC context = GetDC(window);
        dpi = static_cast<UINT>(GetDeviceCaps(context, LOGPIXELSX));
        ReleaseDC(window, context);
    }
    return dpi > 0 ? static_cast<float>(dpi) / kBaseDpi : 1.0f;
}

}  // namespace orbelune::platform
