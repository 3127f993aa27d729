// The stand-in's KERNEL32, USER32 and GDI+ start-up: windows and their classes.
// One lock guards the records, because repaint requests may come from any
// thread, as on Windows; it is never held while a window procedure runs, so a
// procedure may call back into the stand-in.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/headless/standin_state.h"
#include "platform/win32.h"

namespace {

struct WindowClass {
    WNDPROC procedure = nullptr;
};

struct Window {
    WNDPROC procedure = nullptr;  // null for a bare window
    std::string className;
    HWND parent = nullptr;
    int width = 0;
    int height = 0;
    LONG_PTR userData = 0;
    int invalidations = 0;
    bool lastErase = false;
    RECT lastArea{};
};

struct WindowSystem {
    std::map<std::string, WindowClass> classes;
    std::map<HWND, std::unique_ptr<Window>> windows;
    HWND capture = nullptr;
    bool failRegistrations = false;
    std::uintptr_t nextHandle = 0x10010;  // handles are never reused, as USER32 avoids it
    ULONG_PTR nextToken = 0x6d0;
    int liveTokens = 0;
};

// Made on first use and released only when the module unloads, after its last
// caller: a test program's static destructors run before the module's unload step.
WindowSystem*& windowSystemSlot() {
    static WindowSystem* instance = new WindowSystem;
    return instance;
}

WindowSystem& windowSystem() { return *windowSystemSlot(); }

Window* findWindow(HWND window) {
    auto found = windowSystem().windows.find(window);
    return found == windowSystem().windows.end() ? nullptr : found->second.get();
}

WNDPROC procedureOf(HWND window) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    return record != nullptr ? record->procedure : nullptr;
}

HWND addWindow(std::unique_ptr<Window> window) {
    HWND handle = reinterpret_cast<HWND>(windowSystem().nextHandle);
    windowSystem().nextHandle += 0x10;
    windowSystem().windows.emplace(handle, std::move(window));
    return handle;
}

// Tells the window that held the capture that it lost it, as USER32 does.
void announceCaptureChange(HWND previous, HWND next) {
    if (previous == nullptr || previous == next) return;
    SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(next));
}

}  // namespace

BOOL DisableThreadLibraryCalls(HMODULE) {
    std::lock_guard lock(standin::detail::lock());
    ++standin::detail::counters().threadLibraryCallsDisabled;
    return TRUE;
}

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    std::lock_guard lock(standin::detail::lock());
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) || windowSystem().failRegistrations) return 0;
    const std::string name = windowClass->lpszClassName;
    if (windowSystem().classes.count(name) != 0) return 0;  // already registered, as USER32 refuses it
    windowSystem().classes[name] = WindowClass{windowClass->lpfnWndProc};
    ++standin::detail::counters().classesRegistered;
    return static_cast<ATOM>(windowSystem().classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    std::lock_guard lock(standin::detail::lock());
    ++standin::detail::counters().classesUnregistered;
    return windowSystem().classes.erase(className) != 0 ? TRUE : FALSE;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR cursorName) {
    static char arrow;
    return cursorName == MAKEINTRESOURCEA(32512) ? reinterpret_cast<HCURSOR>(&arrow) : nullptr;
}

HWND CreateWindowExA(DWORD extendedStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE module, LPVOID createParameter) {
    HWND handle = nullptr;
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(standin::detail::lock());
        auto found = windowSystem().classes.find(className != nullptr ? className : "");
        if (found == windowSystem().classes.end()) return nullptr;
        // As USER32 does, a child needs a parent that is a window: a Linux host's
        // X11 window id is not one, so the editor reports that it cannot open.
        if ((style & WS_CHILD) != 0 && findWindow(parent) == nullptr) return nullptr;
        auto window = std::make_unique<Window>();
        window->procedure = procedure = found->second.procedure;
        window->className = className;
        window->parent = parent;
        window->width = width;
        window->height = height;
        handle = addWindow(std::move(window));
    }
    CREATESTRUCTA creation{createParameter, module, menu, parent, height, width, y, x,
                           static_cast<LONG>(style), windowName, className, extendedStyle};
    if (procedure != nullptr && procedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&creation)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

BOOL IsWindow(HWND window) {
    std::lock_guard lock(standin::detail::lock());
    return findWindow(window) != nullptr ? TRUE : FALSE;
}

// Destroys the window and then its children, each told by WM_DESTROY first.
BOOL DestroyWindow(HWND window) {
    if (!IsWindow(window)) return FALSE;
    bool heldCapture = false;
    {
        std::lock_guard lock(standin::detail::lock());
        heldCapture = windowSystem().capture == window;
        if (heldCapture) windowSystem().capture = nullptr;
    }
    if (heldCapture) announceCaptureChange(window, nullptr);
    SendMessageA(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard lock(standin::detail::lock());
        for (const auto& [handle, record] : windowSystem().windows)
            if (record->parent == window) children.push_back(handle);
    }
    for (HWND child : children) DestroyWindow(child);
    std::lock_guard lock(standin::detail::lock());
    windowSystem().windows.erase(window);
    ++standin::detail::counters().windowsDestroyed;
    return TRUE;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = procedureOf(window);
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    return record != nullptr && index == GWLP_USERDATA ? record->userData : 0;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    if (record == nullptr || index != GWLP_USERDATA) return 0;
    const LONG_PTR previous = record->userData;
    record->userData = value;
    return previous;
}

HWND SetCapture(HWND window) {
    HWND previous = nullptr;
    {
        std::lock_guard lock(standin::detail::lock());
        if (findWindow(window) == nullptr) return nullptr;
        previous = windowSystem().capture;
        windowSystem().capture = window;
    }
    announceCaptureChange(previous, window);
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous = nullptr;
    {
        std::lock_guard lock(standin::detail::lock());
        previous = windowSystem().capture;
        windowSystem().capture = nullptr;
    }
    announceCaptureChange(previous, nullptr);
    return TRUE;
}

HWND GetCapture() {
    std::lock_guard lock(standin::detail::lock());
    return windowSystem().capture;
}

BOOL InvalidateRect(HWND window, const RECT* area, BOOL erase) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    if (record == nullptr) return FALSE;
    ++record->invalidations;
    record->lastErase = erase != FALSE;
    record->lastArea = area != nullptr ? *area : RECT{0, 0, record->width, record->height};
    ++standin::detail::counters().invalidations;
    return TRUE;
}

// The paint context of a window is the window itself, seen as a device context.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    if (record == nullptr || paint == nullptr) return nullptr;
    *paint = PAINTSTRUCT{};
    paint->hdc = reinterpret_cast<HDC>(window);
    paint->rcPaint = RECT{0, 0, record->width, record->height};
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT*) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    if (record == nullptr) return FALSE;
    record->invalidations = 0;  // the update region is validated
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    if (record == nullptr || rect == nullptr) return FALSE;
    *rect = RECT{0, 0, record->width, record->height};
    return TRUE;
}

BOOL SetWindowPos(HWND window, HWND, int, int, int width, int height, UINT flags) {
    std::lock_guard lock(standin::detail::lock());
    Window* record = findWindow(window);
    if (record == nullptr) return FALSE;
    if ((flags & SWP_NOSIZE) == 0 && width > 0 && height > 0) {
        record->width = width;
        record->height = height;
    }
    return TRUE;
}

float orbelune::platform::screenScale(HWND) { return 1.0f; }

// Nothing arrives on its own here: tests send the messages they mean.
void orbelune::platform::deliverWindowEvents(HWND) {}
int orbelune::platform::windowEventDescriptor(HWND) { return -1; }
unsigned long orbelune::platform::nativeWindowId(HWND) { return 0; }

namespace Gdiplus {

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput*) {
    std::lock_guard lock(standin::detail::lock());
    if (token == nullptr || input == nullptr || input->GdiplusVersion != 1) return GenericError;
    *token = windowSystem().nextToken++;
    ++windowSystem().liveTokens;
    ++standin::detail::counters().gdiplusStartups;
    return Ok;
}

void GdiplusShutdown(ULONG_PTR) {
    std::lock_guard lock(standin::detail::lock());
    --windowSystem().liveTokens;
    ++standin::detail::counters().gdiplusShutdowns;
}

}  // namespace Gdiplus

namespace standin {

const Counters& counters() { return detail::counters(); }

void resetCounters() {
    std::lock_guard lock(detail::lock());
    detail::counters() = Counters{};
}

bool gdiplusRunning() {
    std::lock_guard lock(detail::lock());
    return windowSystem().liveTokens > 0;
}

HWND createBareWindow() {
    std::lock_guard lock(detail::lock());
    return addWindow(std::make_unique<Window>());
}

int invalidationsOf(HWND window) {
    std::lock_guard lock(detail::lock());
    Window* record = findWindow(window);
    return record == nullptr ? 0 : record->invalidations;
}

bool lastInvalidationErased(HWND window) {
    std::lock_guard lock(detail::lock());
    Window* record = findWindow(window);
    return record != nullptr && record->lastErase;
}

RECT lastInvalidatedArea(HWND window) {
    std::lock_guard lock(detail::lock());
    Window* record = findWindow(window);
    return record == nullptr ? RECT{} : record->lastArea;
}

HWND parentOf(HWND window) {
    std::lock_guard lock(detail::lock());
    Window* record = findWindow(window);
    return record == nullptr ? nullptr : record->parent;
}

int windowsOfClass(const char* className) {
    std::lock_guard lock(detail::lock());
    int count = 0;
    for (const auto& entry : windowSystem().windows) count += entry.second->className == className ? 1 : 0;
    return count;
}

void failClassRegistrations(bool fail) {
    std::lock_guard lock(detail::lock());
    windowSystem().failRegistrations = fail;
}

}  // namespace standin

void orbelune::platform::releaseWindowSystem() {
    delete windowSystemSlot();
    windowSystemSlot() = nullptr;
}
