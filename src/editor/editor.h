// The editor: one record per open-able editor, the operations a format's view
// forwards to it (open in a parent, idle, close), and what the module keeps
// for every editor it shows. They run on the host's user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "editor/editor_host.h"
#include "platform/win32.h"

namespace orbelune {

constexpr const char* kEditorClassName = "DrevonOrbeluneEditorWndClass";
// The panel is designed at 840 x 520 and painted at any scale between these,
// into a window of that size times the scale: every element is drawn at the
// target resolution, so it stays sharp on high-density screens.
constexpr int kEditorWidth = 840;
constexpr int kEditorHeight = 520;
constexpr float kEditorSmallestScale = 0.5f;
constexpr float kEditorLargestScale = 4.0f;

struct Editor {
    // The window, null while closed. Also read by repaint requests on
    // whatever thread the host sets a value from.
    std::atomic<HWND> window{nullptr};
    HWND parent = nullptr;
    std::int32_t dragParam = -1;
    std::int32_t dragStartY = 0;
    float dragStartValue = 0.0f;
    float idlePhase = 0.0f;
    // Raised by a repaint request where the window system must not be called
    // from the host's other threads; the editor's idle step consumes it.
    std::atomic<bool> repaintRequested{false};
    EditorHost host;
    // The format the footer names, as the user loaded the plug-in; each
    // format's adapter sets it.
    const wchar_t* formatName = L"";
    // The scale the panel is painted at. It is the host's factor when the host
    // gives one, else the screen's own, times the zoom the user chose by
    // resizing the window.
    float scale = 1.0f;
    float hostScale = 0.0f;  // 0 until the host gives a factor
    float zoom = 1.0f;
};

// The window's size at the editor's scale, in physical pixels.
int editorWidth(const Editor& editor);
int editorHeight(const Editor& editor);
// The host's factor (physical pixels per logical one), before or after the
// window opens: the whole scale, never multiplied by the screen's density.
// An open window takes the new size and the host is told of it.
void setEditorHostScale(Editor& editor, float factor);
// A size a host proposes, made the nearest the panel can have: its shape
// kept and its scale within the limits.
void constrainEditorSize(int& width, int& height);
// The host has resized the window (a user's drag): the panel scales to fill
// it, and the zoom follows.
void resizeEditor(Editor& editor, int width, int height);
// The screen's density changed under an open editor (a move to another
// monitor): without a host factor the scale follows it.
void followScreenScale(Editor& editor);

// Creates the editor as a child of `parent` (registering the window class on the
// first open in the process); true when a window was made. A window still open is
// closed first.
bool openEditor(Editor& editor, HWND parent);
// Where a host gives no factor, the scale is measured on the screen the window
// opens on; the host then learns the size through the editor host's resize.
// Destroys the editor window if one is open.
void closeEditor(Editor& editor);
// Advances the animation and asks for the repaint it needs while a window is
// open (the visual panel, or everything after a parameter change), then hands
// the window the events that are waiting for it.
void idleEditor(Editor& editor);
// Asks for a repaint of the whole editor, from any thread, the audio thread
// included, and without blocking.
void requestEditorRepaint(Editor& editor);

// The editor window's procedure; it finds its editor in the window's user data.
LRESULT CALLBACK editorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Module-wide values: one set per loaded library, shared by every editor. The
// host creates and closes instances from one thread, so no lock guards them.
struct ModuleState {
    HINSTANCE moduleHandle = nullptr;
    bool windowClassRegistered = false;
    // Instances that may show an editor; GDI+ runs while there is one.
    std::int32_t instanceCount = 0;
    ULONG_PTR gdiplusToken = 0;
    // The editor's fonts, registered with GDI+ on the first paint.
    Gdiplus::GpFontCollection* fontCollection = nullptr;
    bool fontCollectionTried = false;
};

extern ModuleState module;

// The library's load and unload steps, for binaries that carry the editor.
void editorModuleAttach(HINSTANCE moduleHandle) noexcept;
void editorModuleDetach() noexcept;
// An instance that may show an editor counts itself in when it is created and
// out when it goes (or its creation fails): the first starts GDI+, the last
// stops it.
void countEditorInstanceIn() noexcept;
void countEditorInstanceOut() noexcept;

}  // namespace orbelune
