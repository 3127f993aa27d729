// The window half of the Linux editor: the USER32 calls the editor makes,
// answered on Xlib. Each editor window has its own display connection, opened
// when the window is made and closed when it goes, so a process that never
// opens an editor never talks to an X server, and no other code (the host's
// toolkit included) ever reads our connection's events. Everything here runs on
// the host's user-interface thread: the editor's idle step delivers the events.
//
// The handles the editor holds (HWND) are our window records; a parent that is
// not one of them is the host's X11 Window id, as the host passes it.
#include "platform/linux/device_context.h"
#include "platform/win32.h"

// Xlib defines macros (Status, Bool, None...) that clash with the Windows
// declarations, so it comes after them and only this file sees it.
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace {

struct WindowRecord {
    Display* display = nullptr;
    Window xWindow = 0;
    WNDPROC procedure = nullptr;
    LONG_PTR userData = 0;
    int width = 0;
    int height = 0;
    GC copyContext = nullptr;           // for the frame's transfer to the window
    Visual* visual = nullptr;
    int depth = 0;
    HDC__ paintContext;                 // the context BeginPaint hands out
    bool repaintPending = false;
    RECT pending{};  // the union of every rectangle asked for since the last paint
};

struct WindowSystem {
    std::map<std::string, WNDPROC> classes;
    std::map<HWND, std::unique_ptr<WindowRecord>> windows;
    std::map<Display*, int> errorCounts;  // every connection of ours that is open
    HWND capture = nullptr;
    XErrorHandler previousHandler = nullptr;
    // Handles are never reused, as USER32 avoids it: a handle kept after its
    // window went never names a newer one. Above the 29 bits of X's resource
    // ids, none is ever a host's window id either.
    std::uintptr_t nextHandle = 0xE0000010;
};

// The host calls the editor from its one user-interface thread; the lock only
// keeps two hosts' threads (or a careless host) from corrupting the maps.
std::recursive_mutex windowLock;

WindowSystem*& windowSystemSlot() {
    static WindowSystem* system = new WindowSystem;  // freed at the module's unload
    return system;
}
WindowSystem& windowSystem() { return *windowSystemSlot(); }

WindowRecord* findWindow(HWND window) {
    auto found = windowSystem().windows.find(window);
    return found == windowSystem().windows.end() ? nullptr : found->second.get();
}

// X reports a failed request (a host's id that is no window, a window the host
// destroyed under us) as an asynchronous error whose default handler exits the
// process. While one of our connections is open, errors on it are only
// counted; every other connection's errors go on to the handler that was there
// before, so the host's own handling is kept.
int filterError(Display* display, XErrorEvent* error) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(windowLock);
        auto found = windowSystem().errorCounts.find(display);
        if (found != windowSystem().errorCounts.end()) {
            ++found->second;
            return 0;
        }
        previous = windowSystem().previousHandler;
    }
    return previous != nullptr ? previous(display, error) : 0;
}

Display* openDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    std::lock_guard lock(windowLock);
    if (windowSystem().errorCounts.empty()) windowSystem().previousHandler = XSetErrorHandler(filterError);
    windowSystem().errorCounts[display] = 0;
    return display;
}

void closeDisplay(Display* display) {
    XCloseDisplay(display);
    std::lock_guard lock(windowLock);
    windowSystem().errorCounts.erase(display);
    if (!windowSystem().errorCounts.empty()) return;
    // Put the host's handler back, unless the host has set one of its own since.
    XErrorHandler current = XSetErrorHandler(windowSystem().previousHandler);
    if (current != filterError) XSetErrorHandler(current);
    windowSystem().previousHandler = nullptr;
}

int errorsOn(Display* display) {
    std::lock_guard lock(windowLock);
    auto found = windowSystem().errorCounts.find(display);
    return found != windowSystem().errorCounts.end() ? found->second : 0;
}

bool describeParent(Display* display, Window parent, XWindowAttributes& attributes) {
    if (parent == 0) return false;
    const int before = errorsOn(display);
    const bool found = XGetWindowAttributes(display, parent, &attributes) != 0;
    XSync(display, False);
    return found && errorsOn(display) == before;
}

void freeRecord(WindowRecord& record) {
    if (record.copyContext != nullptr) XFreeGC(record.display, record.copyContext);
    record.copyContext = nullptr;
    if (record.display != nullptr) closeDisplay(record.display);
    record.display = nullptr;
}

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(windowLock);
        WindowRecord* record = findWindow(window);
        if (record != nullptr) procedure = record->procedure;
    }
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

// Tells the window that held the capture that it lost it, as USER32 does.
void announceCaptureChange(HWND previous, HWND next) {
    if (previous == nullptr || previous == next) return;
    send(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(next));
}

void addPending(WindowRecord& record, const RECT& area) {
    const RECT clipped{std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0), std::min<LONG>(area.right, record.width),
                       std::min<LONG>(area.bottom, record.height)};
    if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) return;
    if (!record.repaintPending) {
        record.pending = clipped;
        record.repaintPending = true;
        return;
    }
    record.pending = RECT{std::min(record.pending.left, clipped.left), std::min(record.pending.top, clipped.top),
                          std::max(record.pending.right, clipped.right), std::max(record.pending.bottom, clipped.bottom)};
}

// Pointer coordinates travel in lParam as two 16-bit halves, as on Windows.
LPARAM pointerPosition(int x, int y) {
    return static_cast<LPARAM>(static_cast<std::uint16_t>(x)) |
           static_cast<LPARAM>(static_cast<std::uint16_t>(y)) << 16;
}

// The host destroyed its window, and ours with it: the editor hears of it as
// it would on Windows, and the record and connection go.
void forgetDestroyedWindow(HWND window) {
    send(window, WM_DESTROY, 0, 0);
    std::lock_guard lock(windowLock);
    auto found = windowSystem().windows.find(window);
    if (found == windowSystem().windows.end()) return;
    found->second->xWindow = 0;
    freeRecord(*found->second);
    windowSystem().windows.erase(found);
    if (windowSystem().capture == window) windowSystem().capture = nullptr;
}

// One event, turned into the message the editor expects. False once the window is gone.
bool deliver(HWND window, const XEvent& event) {
    switch (event.type) {
        case ButtonPress:
            if (event.xbutton.button == Button1)
                send(window, WM_LBUTTONDOWN, MK_LBUTTON, pointerPosition(event.xbutton.x, event.xbutton.y));
            return true;
        case ButtonRelease:
            if (event.xbutton.button == Button1)
                send(window, WM_LBUTTONUP, 0, pointerPosition(event.xbutton.x, event.xbutton.y));
            return true;
        case MotionNotify:
            send(window, WM_MOUSEMOVE, (event.xmotion.state & Button1Mask) != 0 ? MK_LBUTTON : 0,
                 pointerPosition(event.xmotion.x, event.xmotion.y));
            return true;
        case Expose: {
            std::lock_guard lock(windowLock);
            WindowRecord* record = findWindow(window);
            if (record != nullptr)
                addPending(*record, RECT{event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                         event.xexpose.y + event.xexpose.height});
            return true;
        }
        case DestroyNotify:
            forgetDestroyedWindow(window);
            return false;
        default:
            return true;
    }
}

}  // namespace

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) || windowClass->lpszClassName == nullptr)
        return 0;
    try {
        std::lock_guard lock(windowLock);
        auto inserted = windowSystem().classes.emplace(windowClass->lpszClassName, windowClass->lpfnWndProc);
        return inserted.second ? static_cast<ATOM>(windowSystem().classes.size()) : 0;
    } catch (...) {
        return 0;
    }
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (className == nullptr) return FALSE;
    std::lock_guard lock(windowLock);
    return windowSystem().classes.erase(className) != 0 ? TRUE : FALSE;
}

// X gives a child its parent's cursor unless it sets one, which is the arrow
// the editor asks for.
HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return nullptr; }

HWND CreateWindowExA(DWORD extendedStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE module, LPVOID createParameter) {
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(windowLock);
        auto found = windowSystem().classes.find(className != nullptr ? className : "");
        if (found == windowSystem().classes.end() || width <= 0 || height <= 0) return nullptr;
        procedure = found->second;
    }
    auto record = std::unique_ptr<WindowRecord>(new (std::nothrow) WindowRecord);
    if (record == nullptr) return nullptr;
    record->display = openDisplay();
    if (record->display == nullptr) return nullptr;

    Window parentWindow = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    {
        std::lock_guard lock(windowLock);
        if (WindowRecord* ours = findWindow(parent)) parentWindow = ours->xWindow;
    }
    XWindowAttributes parentAttributes{};
    if (!describeParent(record->display, parentWindow, parentAttributes)) {
        freeRecord(*record);
        return nullptr;
    }
    // No background: the paint covers the whole window, and a cleared window
    // between the map and the first paint would flash.
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;
    record->xWindow = XCreateWindow(record->display, parentWindow, x, y, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height), 0, parentAttributes.depth, InputOutput,
                                    parentAttributes.visual, CWBackPixmap | CWEventMask, &attributes);
    if (record->xWindow == 0) {
        freeRecord(*record);
        return nullptr;
    }
    XStoreName(record->display, record->xWindow, windowName != nullptr ? windowName : "");
    record->copyContext = XCreateGC(record->display, record->xWindow, 0, nullptr);
    record->visual = parentAttributes.visual;
    record->depth = parentAttributes.depth;
    record->procedure = procedure;
    record->width = width;
    record->height = height;
    addPending(*record, RECT{0, 0, width, height});  // the first paint comes with the first events
    if ((style & WS_VISIBLE) != 0) XMapWindow(record->display, record->xWindow);
    XFlush(record->display);

    HWND handle = nullptr;
    try {
        std::lock_guard lock(windowLock);
        handle = reinterpret_cast<HWND>(windowSystem().nextHandle);
        windowSystem().nextHandle += 0x10;
        record->paintContext.window = handle;
        windowSystem().windows.emplace(handle, std::move(record));
    } catch (...) {
        freeRecord(*record);
        return nullptr;
    }
    CREATESTRUCTA creation{createParameter, module, menu, parent, height, width, y, x,
                           static_cast<LONG>(style), windowName, className, extendedStyle};
    if (send(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&creation)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

BOOL IsWindow(HWND window) {
    std::lock_guard lock(windowLock);
    return findWindow(window) != nullptr ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    if (!IsWindow(window)) return FALSE;
    bool heldCapture = false;
    {
        std::lock_guard lock(windowLock);
        heldCapture = windowSystem().capture == window;
        if (heldCapture) windowSystem().capture = nullptr;
    }
    if (heldCapture) announceCaptureChange(window, nullptr);
    send(window, WM_DESTROY, 0, 0);
    std::lock_guard lock(windowLock);
    auto found = windowSystem().windows.find(window);
    if (found == windowSystem().windows.end()) return TRUE;
    WindowRecord& record = *found->second;
    if (record.display != nullptr && record.xWindow != 0) {
        XDestroyWindow(record.display, record.xWindow);
        XSync(record.display, False);  // gone from the host's window before we return
    }
    freeRecord(record);
    windowSystem().windows.erase(found);
    return TRUE;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return send(window, message, wParam, lParam);
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    return record != nullptr && index == GWLP_USERDATA ? record->userData : 0;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    if (record == nullptr || index != GWLP_USERDATA) return 0;
    const LONG_PTR previous = record->userData;
    record->userData = value;
    return previous;
}

// X's implicit grab already keeps the pointer's events with the window that
// took the press until the release, which is what a drag needs of a capture.
HWND SetCapture(HWND window) {
    HWND previous = nullptr;
    {
        std::lock_guard lock(windowLock);
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
        std::lock_guard lock(windowLock);
        previous = windowSystem().capture;
        windowSystem().capture = nullptr;
    }
    announceCaptureChange(previous, nullptr);
    return TRUE;
}

HWND GetCapture() {
    std::lock_guard lock(windowLock);
    return windowSystem().capture;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    if (record == nullptr) return FALSE;
    addPending(*record, rect != nullptr ? *rect : RECT{0, 0, record->width, record->height});
    return TRUE;
}

// The update rectangle is handed to the paint and validated, as on Windows.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    if (record == nullptr || paint == nullptr) return nullptr;
    *paint = PAINTSTRUCT{};
    paint->hdc = &record->paintContext;
    paint->rcPaint = record->repaintPending ? record->pending : RECT{0, 0, 0, 0};
    record->repaintPending = false;
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT*) { return IsWindow(window); }

BOOL GetClientRect(HWND window, RECT* rect) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    if (record == nullptr || rect == nullptr) return FALSE;
    *rect = RECT{0, 0, record->width, record->height};
    return TRUE;
}

// A new size, of the window and of what its paints cover; the position and
// stacking stay the parent's business.
BOOL SetWindowPos(HWND window, HWND, int, int, int width, int height, UINT flags) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    if (record == nullptr) return FALSE;
    if ((flags & SWP_NOSIZE) != 0 || width <= 0 || height <= 0) return TRUE;
    if (width == record->width && height == record->height) return TRUE;
    XResizeWindow(record->display, record->xWindow, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(record->display);
    record->width = width;
    record->height = height;
    addPending(*record, RECT{0, 0, width, height});
    return TRUE;
}

namespace orbelune::platform {

// The desktop's font resolution, which X desktops set to their scale (96 is
// 1x); 1 where none is set.
float screenScale(HWND window) {
    constexpr double kBaseDpi = 96.0;
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    const char* resources = record != nullptr ? XResourceManagerString(record->display) : nullptr;
    if (resources == nullptr) return 1.0f;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value{};
    double dpi = 0.0;
    if (database != nullptr && XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr)
        dpi = std::strtod(value.addr, nullptr);
    if (database != nullptr) XrmDestroyDatabase(database);
    return dpi > 0.0 && dpi < 10000.0 ? static_cast<float>(dpi / kBaseDpi) : 1.0f;
}

unsigned long nativeWindowId(HWND window) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    return record != nullptr ? record->xWindow : 0;
}

int windowEventDescriptor(HWND window) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    return record != nullptr && record->display != nullptr ? ConnectionNumber(record->display) : -1;
}

void deliverWindowEvents(HWND window) {
    Display* display = nullptr;
    Window xWindow = 0;
    {
        std::lock_guard lock(windowLock);
        WindowRecord* record = findWindow(window);
        if (record == nullptr) return;
        display = record->display;
        xWindow = record->xWindow;
    }
    // Only what is already queued: an idle call never waits for the server.
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.xany.window != xWindow) continue;
        if (!deliver(window, event)) return;
    }
    bool paint = false;
    {
        std::lock_guard lock(windowLock);
        WindowRecord* record = findWindow(window);
        paint = record != nullptr && record->repaintPending;
    }
    if (paint) send(window, WM_PAINT, 0, 0);
}

}  // namespace orbelune::platform

namespace orbelune::linuxplatform {

bool presentToWindow(HWND window, cairo_surface_t* image, int x, int y, int width, int height, int sourceX,
                     int sourceY) {
    std::lock_guard lock(windowLock);
    WindowRecord* record = findWindow(window);
    if (record == nullptr || record->copyContext == nullptr || image == nullptr) return false;
    const int imageWidth = cairo_image_surface_get_width(image);
    const int imageHeight = cairo_image_surface_get_height(image);
    if (sourceX < 0 || sourceY < 0 || width <= 0 || height <= 0 || sourceX + width > imageWidth ||
        sourceY + height > imageHeight)
        return false;
    auto* pixels = reinterpret_cast<char*>(cairo_image_surface_get_data(image));
    const int stride = cairo_image_surface_get_stride(image);
    XImage* frame = nullptr;
    const Visual& visual = *record->visual;
    const bool sameLayout = record->depth >= 24 && visual.red_mask == 0xFF0000 && visual.green_mask == 0xFF00 &&
                            visual.blue_mask == 0xFF && ImageByteOrder(record->display) == LSBFirst;
    if (sameLayout) {
        // The window's pixels are laid out as the image's: sent as they are.
        frame = XCreateImage(record->display, record->visual, static_cast<unsigned>(record->depth), ZPixmap, 0,
                             pixels, static_cast<unsigned>(imageWidth), static_cast<unsigned>(imageHeight), 32,
                             stride);
        if (frame == nullptr) return false;
        XPutImage(record->display, record->xWindow, record->copyContext, frame, sourceX, sourceY, x, y,
                  static_cast<unsigned>(width), static_cast<unsigned>(height));
        frame->data = nullptr;  // the image's pixels stay the bitmap's
    } else {
        // Any other true-colour layout: each pixel converted through the visual's masks.
        frame = XCreateImage(record->display, record->visual, static_cast<unsigned>(record->depth), ZPixmap, 0,
                             nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (frame == nullptr) return false;
        frame->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(frame->bytes_per_line) * height));
        if (frame->data == nullptr) {
            XDestroyImage(frame);
            return false;
        }
        auto scaled = [](unsigned long channel, unsigned long mask) {
            if (mask == 0) return 0UL;
            int shift = 0;
            while (((mask >> shift) & 1UL) == 0) ++shift;
            const unsigned long top = mask >> shift;
            return ((channel * top + 127) / 255) << shift;
        };
        for (int row = 0; row < height; ++row) {
            const auto* source = reinterpret_cast<const std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(sourceY + row) * stride);
            for (int column = 0; column < width; ++column) {
                const std::uint32_t pixel = source[sourceX + column];
                XPutPixel(frame, column, row,
                          scaled(pixel >> 16 & 0xFF, visual.red_mask) | scaled(pixel >> 8 & 0xFF, visual.green_mask) |
                              scaled(pixel & 0xFF, visual.blue_mask));
            }
        }
        XPutImage(record->display, record->xWindow, record->copyContext, frame, 0, 0, x, y,
                  static_cast<unsigned>(width), static_cast<unsigned>(height));
    }
    XDestroyImage(frame);
    // Finished on the server before the frame returns, so what a host (or a
    // test) reads back from the window is this frame.
    XSync(record->display, False);
    return true;
}

}  // namespace orbelune::linuxplatform

namespace orbelune::platform {

void releaseWindowSystem() {
    std::lock_guard lock(windowLock);
    WindowSystem*& system = windowSystemSlot();
    if (system == nullptr) return;
    for (auto& entry : system->windows) {
        if (entry.second->display != nullptr && entry.second->xWindow != 0)
            XDestroyWindow(entry.second->display, entry.second->xWindow);
        freeRecord(*entry.second);
    }
    delete system;
    system = nullptr;
}

}  // namespace orbelune::platform
