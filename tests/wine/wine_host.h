// What our Windows host programs do around an embedded editor: a host window
// of their own, the message loop, posted mouse messages, and a drag of
// "Decay" 50 pixels up, which every format must report as one gesture.
#pragma once

#include <windows.h>

namespace winehost {

inline void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// A mouse message as the system posts it: client coordinates in lParam.
inline void mouse(HWND window, UINT message, int x, int y) {
    PostMessageA(window, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    pumpMessages();
}

inline HWND createHostWindow(const char* className, int width = 900, int height = 600) {
    WNDCLASSEXA hostClass{};
    hostClass.cbSize = sizeof(hostClass);
    hostClass.lpfnWndProc = DefWindowProcA;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = className;
    RegisterClassExA(&hostClass);
    return CreateWindowExA(0, className, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height, nullptr,
                           nullptr, hostClass.hInstance, nullptr);
}

inline HWND findEditor(HWND host) { return FindWindowExA(host, nullptr, "DrevonOrbeluneEditorWndClass", nullptr); }

// A few ticks of the editor's own timer, then the drag: from 0.45 to 0.7.
inline void animateThenDragDecay(HWND editor) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 200) {
        pumpMessages();
        Sleep(10);
    }
    mouse(editor, WM_LBUTTONDOWN, 130, 165);
    mouse(editor, WM_MOUSEMOVE, 130, 115);
    mouse(editor, WM_LBUTTONUP, 130, 115);
}

}  // namespace winehost
