// The editor window: its class, its creation inside the host's window, and the
// window procedure that turns mouse messages into knob drags. Everything runs
// on the host's user-interface thread, which owns the window.
#include "editor/editor.h"

#include <cstdint>

#include "editor/interaction.h"
#include "editor/painting.h"
#include "core/instance.h"

namespace orbelune {

namespace {

constexpr const char* kEditorTitle = "Drevon Orbelune";
constexpr int kArrowCursor = 32512;  // IDC_ARROW
constexpr DWORD kEditorStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

PluginInstance* attachedInstance(HWND window) {
    return reinterpret_cast<PluginInstance*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Client coordinates travel in lParam as two signed 16-bit halves.
int pointerX(LPARAM lParam) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(lParam & 0xFFFF)); }
int pointerY(LPARAM lParam) { return static_cast<std::int16_t>(static_cast<std::uint16_t>((lParam >> 16) & 0xFFFF)); }

// A repaint of the whole client area, without erasing: the paint covers it all.
void requestRepaint(HWND window) { InvalidateRect(window, nullptr, FALSE); }

void registerWindowClass() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = editorWindowProc;
    windowClass.hInstance = module.moduleHandle;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(kArrowCursor));
    windowClass.lpszClassName = kEditorClassName;
    RegisterClassExA(&windowClass);
    // Not retried on failure: the window creation that follows fails instead.
    module.windowClassRegistered = true;
}

// A window that is going away takes any drag with it, so pointer moves after a
// reopen cannot continue a drag that no press started.
void detachWindow(PluginInstance& instance, HWND window) {
    HWND expected = window;
    instance.editorWindow.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
    endDrag(instance);
}

void paint(HWND window, PluginInstance* instance) {
    PAINTSTRUCT paintInfo;
    HDC context = BeginPaint(window, &paintInfo);
    if (instance != nullptr) paintEditor(*instance, context, paintInfo.rcPaint);
    EndPaint(window, &paintInfo);
}

void pressButton(HWND window, PluginInstance& instance, LPARAM lParam) {
    if (beginDrag(instance, pointerX(lParam), pointerY(lParam))) SetCapture(window);
}

void movePointer(HWND window, PluginInstance& instance, LPARAM lParam) {
    if (continueDrag(instance, pointerY(lParam))) requestRepaint(window);
}

void releaseButton(PluginInstance& instance) {
    if (endDrag(instance)) ReleaseCapture();
}

// Another window took the mouse during a drag (a dialog, a task switch): the
// release will not reach us, so the drag ends here.
void loseCapture(HWND window, PluginInstance& instance, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) != window) endDrag(instance);
}

}  // namespace

LRESULT CALLBACK editorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PluginInstance* instance = attachedInstance(window);
    switch (message) {
        case WM_CREATE:
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
            return 0;
        case WM_DESTROY:
            if (instance != nullptr) detachWindow(*instance, window);
            return 0;
        case WM_PAINT:
            paint(window, instance);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_TIMER:  // formats whose hosts make no idle calls set a timer instead
            if (instance != nullptr) idleEditor(*instance);
            return 0;
        case WM_MOUSEMOVE:
            if (instance != nullptr) movePointer(window, *instance, lParam);
            return 0;
        case WM_LBUTTONDOWN:
            if (instance != nullptr) pressButton(window, *instance, lParam);
            return 0;
        case WM_LBUTTONUP:
            if (instance != nullptr) releaseButton(*instance);
            return 0;
        case WM_CAPTURECHANGED:
            if (instance != nullptr) loseCapture(window, *instance, lParam);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void requestEditorRepaint(PluginInstance& instance) {
    // Where the window system takes repaint requests from any thread, the
    // request goes straight to it; elsewhere a flag carries it to the editor's
    // idle step, which never blocks the caller.
    if constexpr (platform::kRepaintFromAnyThread) {
        const HWND window = instance.editorWindow.load(std::memory_order_relaxed);
        if (window != nullptr && IsWindow(window)) InvalidateRect(window, nullptr, FALSE);
    } else {
        instance.repaintRequested.store(true, std::memory_order_release);
    }
}

vst::intptr getEditorRect(PluginInstance& instance, vst::ERect** rectPointer) {
    // A host that passes no place for the pointer gets no success either.
    if (rectPointer == nullptr) return 0;
    *rectPointer = &instance.editorRect;
    return 1;
}

vst::intptr openEditor(PluginInstance& instance, HWND parent) {
    instance.editorParent = parent;
    // A second open without a close would leave the first window behind, still
    // pointing at this instance after it is freed: it goes first.
    closeEditor(instance);
    if (!module.windowClassRegistered) registerWindowClass();
    HWND window = CreateWindowExA(0, kEditorClassName, kEditorTitle, kEditorStyle, 0, 0, instance.editorRect.right,
                                  instance.editorRect.bottom, parent, nullptr, module.moduleHandle, &instance);
    instance.editorWindow.store(window, std::memory_order_relaxed);
    if (window == nullptr) return 0;
    // Where nobody else reads the window's events, the first frame is painted
    // now rather than at the first idle call.
    platform::deliverWindowEvents(window);
    return 1;
}

vst::intptr closeEditor(PluginInstance& instance) {
    const HWND window = instance.editorWindow.load(std::memory_order_relaxed);
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);  // its WM_DESTROY detaches it on the way
        instance.editorWindow.store(nullptr, std::memory_order_relaxed);
    }
    return 1;
}

vst::intptr idleEditor(PluginInstance& instance) {
    const HWND window = instance.editorWindow.load(std::memory_order_relaxed);
    if (window == nullptr || !IsWindow(window)) return 0;
    instance.idlePhase = advancedIdlePhase(instance.idlePhase);
    // Only the visual panel moves with the phase and the meter, so that is all
    // an idle frame repaints, unless a parameter changed on another thread.
    if (instance.repaintRequested.exchange(false, std::memory_order_acquire)) {
        requestRepaint(window);
    } else {
        const RECT panel = animatedArea();
        InvalidateRect(window, &panel, FALSE);
    }
    platform::deliverWindowEvents(window);
    return 0;
}

}  // namespace orbelune
