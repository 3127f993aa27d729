// The editor window: its class, its creation inside the host's window, and the
// window procedure that turns mouse messages into knob drags. Everything runs
// on the host's user-interface thread, which owns the window.
#include "editor/editor.h"

#include <algorithm>
#include <cmath>
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

void resizeWindow(HWND window, int width, int height) {
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    requestRepaint(window);
}

float clampedScale(float scale) {
    if (!(scale >= kEditorSmallestScale)) return kEditorSmallestScale;
    return std::min(scale, kEditorLargestScale);
}

// Takes a scale the editor chose itself (a host factor, the screen's, a zoom):
// an open window gets the size, and the host is asked to follow.
void applyScale(Editor& editor, float base) {
    const float scale = clampedScale(base * editor.zoom);
    if (scale == editor.scale) return;
    editor.scale = scale;
    const HWND window = editor.window.load(std::memory_order_relaxed);
    if (window == nullptr || !IsWindow(window)) return;
    resizeWindow(window, editorWidth(editor), editorHeight(editor));
    if (editor.host.resize != nullptr) editor.host.resize(editor.host.context, editorWidth(editor), editorHeight(editor));
}

// The scale a window of that size holds the whole panel at.
float fittedScale(int width, int height) {
    return clampedScale(std::min(static_cast<float>(width) / kEditorWidth, static_cast<float>(height) / kEditorHeight));
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
        case WM_DPICHANGED_AFTERPARENT:  // the host's window moved to a screen of another density
            if (editor != nullptr) followScreenScale(*editor);
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
    HWND window = CreateWindowExA(0, kEditorClassName, kEditorTitle, kEditorStyle, 0, 0, editorWidth(editor),
                                  editorHeight(editor), parent, nullptr, module.moduleHandle, &editor);
    editor.window.store(window, std::memory_order_relaxed);
    if (window == nullptr) return false;
    // Without a factor from the host, the screen the window landed on decides.
    if (editor.hostScale == 0.0f) applyScale(editor, platform::screenScale(window));
    // Where nobody else reads the window's events, the first frame is painted
    // now rather than at the first idle call.
    platform::deliverWindowEvents(window);
    return true;
}

int editorWidth(const Editor& editor) { return static_cast<int>(std::lround(kEditorWidth * editor.scale)); }
int editorHeight(const Editor& editor) { return static_cast<int>(std::lround(kEditorHeight * editor.scale)); }

void setEditorHostScale(Editor& editor, float factor) {
    if (!(factor > 0.0f) || !std::isfinite(factor)) return;
    editor.hostScale = factor;
    applyScale(editor, factor);
}

void constrainEditorSize(int& width, int& height) {
    const float scale = fittedScale(width, height);
    width = static_cast<int>(std::lround(kEditorWidth * scale));
    height = static_cast<int>(std::lround(kEditorHeight * scale));
}

void resizeEditor(Editor& editor, int width, int height) {
    if (width <= 0 || height <= 0) return;
    // A window of another shape (a host that does not ask first) shows the
    // whole panel at the scale that fits, the far corners moved out.
    const float base = editor.hostScale > 0.0f ? editor.hostScale : editor.scale / editor.zoom;
    editor.scale = fittedScale(width, height);
    editor.zoom = editor.scale / base;
    const HWND window = editor.window.load(std::memory_order_relaxed);
    if (window != nullptr && IsWindow(window)) resizeWindow(window, width, height);
}

void followScreenScale(Editor& editor) {
    const HWND window = editor.window.load(std::memory_order_relaxed);
    if (editor.hostScale == 0.0f && window != nullptr && IsWindow(window))
        applyScale(editor, platform::screenScale(window));
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
        const RECT panel = scaledArea(animatedArea(), editor.scale);
        InvalidateRect(window, &panel, FALSE);
    }
    platform::deliverWindowEvents(window);
}

}  // namespace orbelune
