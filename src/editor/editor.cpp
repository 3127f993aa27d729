// The editor window: its class, its creation inside the host's window, and the
// window procedure that turns mouse messages into knob drags. Everything runs
// on the host's user-interface thread, which owns the window.
#include "editor/editor.h"

#include <cstdint>

#include "editor/interaction.h"
#include "editor/painting.h"

namespace orbelune {

namespace {

constexpr const char* kEditorTitle = "Drevon Orbelune";
constexpr int kArrowCursor = 32512;  // IDC_ARROW
constexpr DWORD kEditorStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

Editor* attachedEditor(HWND window) { return reinterpret_cast<Editor*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

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
void detachWindow(Editor& editor, HWND window) {
    HWND expected = window;
    editor.window.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
    endDrag(editor);
}

void paint(HWND window, Editor* editor) {
    PAINTSTRUCT paintInfo;
    HDC context = BeginPaint(window, &paintInfo);
    RECT client{};
    GetClientRect(window, &client);
    if (editor != nullptr) paintEditor(*editor, context, client, paintInfo.rcPaint);
    EndPaint(window, &paintInfo);
}

void pressButton(HWND window, Editor& editor, LPARAM lParam) {
    if (beginDrag(editor, pointerX(lParam), pointerY(lParam))) SetCapture(window);
}

void movePointer(HWND window, Editor& editor, LPARAM lParam) {
    if (continueDrag(editor, pointerY(lParam))) requestRepaint(window);
}

void releaseButton(Editor& editor) {
    if (endDrag(editor)) ReleaseCapture();
}

// Another window took the mouse during a drag (a dialog, a task switch): the
// release will not reach us, so the drag ends here.
void loseCapture(HWND window, Editor& editor, LPARAM lParam) {
    if (reinterpret_cast<HWND>(lParam) != window) endDrag(editor);
}

}  // namespace

LRESULT CALLBACK editorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Editor* editor = attachedEditor(window);
    switch (message) {
        case WM_CREATE:
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
            return 0;
        case WM_DESTROY:
            if (editor != nullptr) detachWindow(*editor, window);
            return 0;
        case WM_PAINT:
            paint(window, editor);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_TIMER:  // formats whose hosts make no idle calls set a timer instead
            if (editor != nullptr) idleEditor(*editor);
            return 0;
        case WM_MOUSEMOVE:
            if (editor != nullptr) movePointer(window, *editor, lParam);
            return 0;
        case WM_LBUTTONDOWN:
            if (editor != nullptr) pressButton(window, *editor, lParam);
            return 0;
        case WM_LBUTTONUP:
            if (editor != nullptr) releaseButton(*editor);
            return 0;
        case WM_CAPTURECHANGED:
            if (editor != nullptr) loseCapture(window, *editor, lParam);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void requestEditorRepaint(Editor& editor) {
    // Where the window system takes repaint requests from any thread, the
    // request goes straight to it; elsewhere a flag carries it to the editor's
    // idle step, which never blocks the caller.
    if constexpr (platform::kRepaintFromAnyThread) {
        const HWND window = editor.window.load(std::memory_order_relaxed);
        if (window != nullptr && IsWindow(window)) InvalidateRect(window, nullptr, FALSE);
    } else {
        editor.repaintRequested.store(true, std::memory_order_release);
    }
}

bool openEditor(Editor& editor, HWND parent) {
    editor.parent = parent;
    // A second open without a close would leave the first window behind, still
    // pointing at this editor after it is freed: it goes first.
    closeEditor(editor);
    if (!module.windowClassRegistered) registerWindowClass();
    HWND window = CreateWindowExA(0, kEditorClassName, kEditorTitle, kEditorStyle, 0, 0, kEditorWidth, kEditorHeight,
                                  parent, nullptr, module.moduleHandle, &editor);
    editor.window.store(window, std::memory_order_relaxed);
    if (window == nullptr) return false;
    // Where nobody else reads the window's events, the first frame is painted
    // now rather than at the first idle call.
    platform::deliverWindowEvents(window);
    return true;
}

void closeEditor(Editor& editor) {
    const HWND window = editor.window.load(std::memory_order_relaxed);
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);  // its WM_DESTROY detaches it on the way
        editor.window.store(nullptr, std::memory_order_relaxed);
    }
}

void idleEditor(Editor& editor) {
    const HWND window = editor.window.load(std::memory_order_relaxed);
    if (window == nullptr || !IsWindow(window)) return;
    editor.idlePhase = advancedIdlePhase(editor.idlePhase);
    // Only the visual panel moves with the phase and the meter, so that is all
    // an idle frame repaints, unless a parameter changed on another thread.
    if (editor.repaintRequested.exchange(false, std::memory_order_acquire)) {
        requestRepaint(window);
    } else {
        const RECT panel = animatedArea();
        InvalidateRect(window, &panel, FALSE);
    }
    platform::deliverWindowEvents(window);
}

}  // namespace orbelune
