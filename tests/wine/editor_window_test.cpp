// The real DLL's editor inside a host window of ours, under Wine and a virtual
// display: open it as a host does, animate it, drag a knob with posted mouse
// messages, capture the panel to a PNG and check pixels whose colours are
// fixed, then close everything and check that no window is left. The host is
// aware of screen densities; run in a prefix of another density with its
// scale, everything is checked at that scale (drags move by the panel's
// units, each `scale` pixels).
//
// Usage: editor_window_test.exe [screenshot.png [scale]]   (default: editor.png 1)
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "vst2/aeffect.h"
#include "editor_host.h"
#include "wine_check.h"
#include "wine_host.h"

namespace {

namespace flat = Gdiplus::DllExports;

constexpr const char* kEditorClass = "DrevonOrbeluneEditorWndClass";
constexpr const char* kHostClass = "OrbeluneTestHostWindow";
constexpr int kEditorWidth = 840;
constexpr int kEditorHeight = 520;
constexpr int kIdleCallsBeforeScreenshot = 12;
int scale = 1;  // the screen's density the run expects, 2 for 192 dpi

using stubhost::hostCallback;

vst::intptr dispatch(vst::AEffect* effect, vst::int32 opcode, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
}

float parameter(vst::AEffect* effect, int index) { return effect->getParameter(effect, index); }

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND createHostWindow() { return winehost::createHostWindow(kHostClass, 900 * scale, 600 * scale); }

// Hosts that support high-density screens declare it, so the system reports
// the real density and does not stretch their windows.
void becomeDensityAware() {
    using Declare = BOOL(WINAPI*)(HANDLE);
    const auto declare = reinterpret_cast<Declare>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext")));
    const HANDLE perMonitorAware = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4));
    if (declare == nullptr || !declare(perMonitorAware)) SetProcessDPIAware();
}

HWND findEditor(HWND host) { return FindWindowExA(host, nullptr, kEditorClass, nullptr); }

int countEditors(HWND host) {
    int count = 0;
    for (HWND child = findEditor(host); child != nullptr; child = FindWindowExA(host, child, kEditorClass, nullptr))
        ++count;
    return count;
}

// A mouse message as the system posts it: client coordinates in lParam, here
// given in the panel's units.
void mouse(HWND window, UINT message, int x, int y) {
    const WPARAM buttons = message == WM_LBUTTONUP ? 0 : MK_LBUTTON;
    PostMessageA(window, message, buttons, MAKELPARAM(static_cast<WORD>(x * scale), static_cast<WORD>(y * scale)));
    pumpMessages();
}

void idle(vst::AEffect* effect, HWND editor, int calls) {
    for (int call = 0; call < calls; ++call) {
        dispatch(effect, vst::effEditIdle);
        pumpMessages();
        UpdateWindow(editor);
    }
}

// The editor's client area, copied from the screen into a bitmap of ours.
struct Capture {
    HDC context = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;

    explicit Capture(HWND window) {
        HDC windowContext = GetDC(window);
        context = CreateCompatibleDC(windowContext);
        bitmap = CreateCompatibleBitmap(windowContext, kEditorWidth * scale, kEditorHeight * scale);
        previous = SelectObject(context, bitmap);
        BitBlt(context, 0, 0, kEditorWidth * scale, kEditorHeight * scale, windowContext, 0, 0, SRCCOPY);
        ReleaseDC(window, windowContext);
    }
    ~Capture() {
        SelectObject(context, previous);
        DeleteObject(bitmap);
        DeleteDC(context);
    }

    bool looksLike(int x, int y, std::uint32_t rgb, int tolerance) const {
        x *= scale;
        y *= scale;
        const COLORREF pixel = GetPixel(context, x, y);
        const int expected[3] = {int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)};
        const int actual[3] = {GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)};
        for (int channel = 0; channel < 3; ++channel)
            if (std::abs(expected[channel] - actual[channel]) > tolerance) {
                std::printf("pixel (%d, %d) is %02X%02X%02X, expected near %06X\n", x, y, actual[0], actual[1],
                            actual[2], static_cast<unsigned>(rgb));
                return false;
            }
        return true;
    }

    // Every pixel, top row first, read through a bitmap that no context holds.
    std::vector<std::uint32_t> pixels() const {
        std::vector<std::uint32_t> rows(static_cast<std::size_t>(kEditorWidth * scale) * kEditorHeight * scale);
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = kEditorWidth * scale;
        format.bmiHeader.biHeight = -kEditorHeight * scale;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        SelectObject(context, previous);
        GetDIBits(context, bitmap, 0, kEditorHeight * scale, rows.data(), &format, DIB_RGB_COLORS);
        SelectObject(context, bitmap);
        return rows;
    }

    // Pixels in a box that differ clearly from the background: drawn text.
    int inkedPixels(int left, int top, int right, int bottom) const {
        int count = 0;
        for (int y = top * scale; y < bottom * scale; ++y)
            for (int x = left * scale; x < right * scale; ++x) {
                const COLORREF pixel = GetPixel(context, x, y);
                count += GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) > 120 ? 1 : 0;
            }
        return count;
    }

    bool savePng(const std::wstring& path) const {
        static const CLSID pngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
        SelectObject(context, previous);  // GDI+ reads a bitmap that no context holds
        Gdiplus::GpBitmap* image = nullptr;
        flat::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
        const bool saved = image != nullptr && flat::GdipSaveImageToFile(image, path.c_str(), &pngEncoder, nullptr) == Gdiplus::Ok;
        if (image != nullptr) flat::GdipDisposeImage(image);
        SelectObject(context, bitmap);
        return saved;
    }
};

// The texts below must come from the fonts the DLL carries: the prefix has
// neither family installed.
void checkFontsAreNotInstalled() {
    for (const wchar_t* name : {L"Inter", L"Cinzel"}) {
        Gdiplus::GpFontFamily* family = nullptr;
        const Gdiplus::Status status = flat::GdipCreateFontFamilyFromName(name, nullptr, &family);
        if (status == Gdiplus::Ok) std::printf("font family %ls is installed in the prefix\n", name);
        WINE_CHECK(status != Gdiplus::Ok);
        if (family != nullptr) flat::GdipDeleteFontFamily(family);
    }
}

void checkPanelPixels(HWND editor, const std::wstring& screenshot) {
    const Capture capture(editor);
    WINE_CHECK(capture.savePng(screenshot));
    for (const editorpixels::Spot& spot : editorpixels::kFixedSpots) {
        if (!capture.looksLike(spot.x, spot.y, spot.rgb, spot.tolerance)) std::printf("  (%s)\n", spot.what);
        WINE_CHECK(capture.looksLike(spot.x, spot.y, spot.rgb, spot.tolerance));
    }
    for (const editorpixels::TextBox& box : editorpixels::kTextBoxes) {
        const int ink = capture.inkedPixels(box.left, box.top, box.right, box.bottom);
        if (ink <= editorpixels::kLeastInk * scale * scale) std::printf("no ink for %s\n", box.what);
        WINE_CHECK(ink > editorpixels::kLeastInk * scale * scale);
    }
}

// Idle frames repaint only the panel; the picture they build must be exactly a
// whole frame's, which a reopened editor paints first.
void checkIdleFramesMatchAWholeFrame(vst::AEffect* effect, HWND host, HWND& editor) {
    idle(effect, editor, 5);
    const Capture idleFrames(editor);
    WINE_CHECK(dispatch(effect, vst::effEditClose) == 1);
    WINE_CHECK(dispatch(effect, vst::effEditOpen, host) == 1);
    editor = findEditor(host);
    pumpMessages();
    UpdateWindow(editor);
    const Capture wholeFrame(editor);
    const std::vector<std::uint32_t> partial = idleFrames.pixels();
    const std::vector<std::uint32_t> whole = wholeFrame.pixels();
    int differing = 0;
    for (std::size_t index = 0; index < whole.size(); ++index) differing += partial[index] != whole[index] ? 1 : 0;
    if (differing != 0) std::printf("%d pixels differ between idle frames and a whole frame\n", differing);
    WINE_CHECK(differing == 0);
}

void checkDrag(vst::AEffect* effect, HWND editor) {
    stubhost::automations().clear();
    mouse(editor, WM_LBUTTONDOWN, 130, 165 + 46);  // on the "Decay" circle's edge
    WINE_CHECK(GetCapture() == editor);
    WINE_CHECK(stubhost::automations().empty());
    mouse(editor, WM_MOUSEMOVE, 130, 165 + 46 - 20);
    WINE_CHECK(parameter(effect, 0) == 0.45f + static_cast<float>(20) * 0.005f);
    mouse(editor, WM_MOUSEMOVE, 130, -200);
    WINE_CHECK(parameter(effect, 0) == 1.0f);
    WINE_CHECK(stubhost::automations().size() == 2);
    WINE_CHECK(stubhost::automations().size() == 2 && stubhost::automations()[0].index == 0 &&
               stubhost::automations()[1].value == 1.0f);
    mouse(editor, WM_LBUTTONUP, 130, -200);
    WINE_CHECK(GetCapture() == nullptr);
    mouse(editor, WM_MOUSEMOVE, 130, 300);
    WINE_CHECK(parameter(effect, 0) == 1.0f);
    WINE_CHECK(stubhost::automations().size() == 2);

    mouse(editor, WM_LBUTTONDOWN, 420, 480);  // outside every knob
    WINE_CHECK(GetCapture() == nullptr);
    mouse(editor, WM_MOUSEMOVE, 420, 300);
    mouse(editor, WM_LBUTTONUP, 420, 300);
    WINE_CHECK(stubhost::automations().size() == 2);

    // "Mix" from 0.6 down 100 pixels.
    effect->setParameter(effect, 5, 0.6f);
    mouse(editor, WM_LBUTTONDOWN, 700, 375);
    mouse(editor, WM_MOUSEMOVE, 700, 475);
    mouse(editor, WM_LBUTTONUP, 700, 475);
    WINE_CHECK(parameter(effect, 5) == 0.100000024f);
    WINE_CHECK(stubhost::automations().size() == 3 && stubhost::automations()[2].index == 5);
}

}  // namespace

int main(int argumentCount, char** arguments) {
    std::wstring screenshot = L"editor.png";
    if (argumentCount > 1) {
        wchar_t path[MAX_PATH];
        MultiByteToWideChar(CP_UTF8, 0, arguments[1], -1, path, MAX_PATH);
        screenshot = path;
    }
    if (argumentCount > 2) scale = std::atoi(arguments[2]);
    becomeDensityAware();
    SetCursorPos(4000, 4000);  // the real pointer far from our windows, so it sends no moves of its own

    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &startup, nullptr);


    HMODULE library = LoadLibraryA("Drevon_Orbelune.dll");
    WINE_CHECK(library != nullptr);
    if (library == nullptr) return winecheck::report("editor_window_test");
    auto entry = reinterpret_cast<vst::PluginEntryProc>(reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
    vst::AEffect* effect = entry(hostCallback);
    WINE_CHECK(effect != nullptr && effect->flags == (vst::effFlagsHasEditor | vst::effFlagsCanReplacing));

    checkFontsAreNotInstalled();

    HWND host = createHostWindow();
    vst::ERect* rect = nullptr;
    WINE_CHECK(dispatch(effect, vst::effEditGetRect, &rect) == 1);
    WINE_CHECK(rect != nullptr && rect->top == 0 && rect->left == 0 && rect->bottom == 520 && rect->right == 840);
    WINE_CHECK(dispatch(effect, vst::effEditOpen, host) == 1);
    HWND editor = findEditor(host);
    WINE_CHECK(editor != nullptr && GetParent(editor) == host);
    RECT client{};
    GetClientRect(editor, &client);
    if (client.right != kEditorWidth * scale) std::printf("the editor is %ld pixels wide\n", client.right);
    WINE_CHECK(client.right == kEditorWidth * scale && client.bottom == kEditorHeight * scale);
    // The screen's density decided the size; the host was asked to follow,
    // and the editor's rectangle says it too.
    WINE_CHECK(dispatch(effect, vst::effEditGetRect, &rect) == 1 && rect->right == kEditorWidth * scale);
    WINE_CHECK(stubhost::sizeRequests().size() == (scale == 1 ? 0u : 1u));

    idle(effect, editor, kIdleCallsBeforeScreenshot);
    checkPanelPixels(editor, screenshot);
    checkIdleFramesMatchAWholeFrame(effect, host, editor);
    checkDrag(effect, editor);

    // A second open replaces the first window rather than orphaning it.
    WINE_CHECK(dispatch(effect, vst::effEditOpen, host) == 1);
    WINE_CHECK(!IsWindow(editor));
    WINE_CHECK(countEditors(host) == 1);
    editor = findEditor(host);

    // The host destroys its window under a drag; after a reopen, moves without
    // a press change nothing.
    stubhost::automations().clear();
    mouse(editor, WM_LBUTTONDOWN, 130, 165);
    DestroyWindow(host);
    pumpMessages();
    WINE_CHECK(!IsWindow(editor));
    host = createHostWindow();
    WINE_CHECK(dispatch(effect, vst::effEditOpen, host) == 1);
    editor = findEditor(host);
    const float decay = parameter(effect, 0);
    mouse(editor, WM_MOUSEMOVE, 130, 40);
    WINE_CHECK(parameter(effect, 0) == decay);
    WINE_CHECK(stubhost::automations().empty());

    // Close the editor, then open again and close the instance with it open.
    WINE_CHECK(dispatch(effect, vst::effEditClose) == 1);
    WINE_CHECK(!IsWindow(editor) && findEditor(host) == nullptr);
    WINE_CHECK(dispatch(effect, vst::effEditOpen, host) == 1);
    editor = findEditor(host);
    dispatch(effect, vst::effClose);
    WINE_CHECK(!IsWindow(editor) && findEditor(host) == nullptr);

    DestroyWindow(host);
    pumpMessages();
    FreeLibrary(library);
    WNDCLASSEXA leftover{};
    leftover.cbSize = sizeof(leftover);
    WINE_CHECK(!GetClassInfoExA(library, kEditorClass, &leftover));  // unregistered at unload
    Gdiplus::GdiplusShutdown(token);
    return winecheck::report("editor_window_test");
}
