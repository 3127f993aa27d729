// The parts of KERNEL32, USER32, GDI32 and GDI+ that the plug-in calls, declared
// for builds where Windows is not, with the calls' names, signatures and
// meanings, answered on Xlib and cairo (platform/linux) for the Linux plug-in
// and the native tests alike.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using UINT = unsigned int;
using INT = int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ATOM = WORD;
using COLORREF = DWORD;
using LANGID = WORD;
using LPCSTR = const char*;
using LPVOID = void*;
// Wide text is the platform's wchar_t here; Windows' is 16 bits wide.
using WCHAR = wchar_t;

struct HWND__;
struct HINSTANCE__;
struct HDC__;
struct HGDIOBJ__;
struct HCURSOR__;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HDC = HDC__*;
using HGDIOBJ = HGDIOBJ__*;
using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HCURSOR = HCURSOR__*;
using HICON = HCURSOR;
using HMENU = HWND;

#define CALLBACK
#define WINAPI
#define MAKEINTRESOURCEA(id) (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr int GWLP_USERDATA = -21;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_DPICHANGED_AFTERPARENT = 0x02E3;  // never sent here: X has no per-window density
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// KERNEL32
BOOL DisableThreadLibraryCalls(HMODULE module);

// USER32
ATOM RegisterClassExA(const WNDCLASSEXA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE module);
HCURSOR LoadCursorA(HINSTANCE module, LPCSTR cursorName);
HWND CreateWindowExA(DWORD extendedStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE module, LPVOID createParameter);
BOOL IsWindow(HWND window);
BOOL DestroyWindow(HWND window);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);

// GDI32
HDC CreateCompatibleDC(HDC context);
HBITMAP CreateCompatibleBitmap(HDC context, int width, int height);
HGDIOBJ SelectObject(HDC context, HGDIOBJ object);
BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD operation);
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC context);
COLORREF GetPixel(HDC context, int x, int y);

namespace Gdiplus {

enum Status { Ok = 0, GenericError = 1, InvalidParameter = 2, OutOfMemory = 3, InsufficientBuffer = 5,
              FileNotFound = 10, FontFamilyNotFound = 14, FontStyleNotFound = 15 };
using GpStatus = Status;
using REAL = float;
using ARGB = DWORD;
using DebugEventProc = void (*)(int level, char* message);

enum SmoothingMode { SmoothingModeAntiAlias = 4 };
enum TextRenderingHint { TextRenderingHintClearTypeGridFit = 5 };
enum LinearGradientMode { LinearGradientModeHorizontal = 0, LinearGradientModeVertical = 1,
                          LinearGradientModeForwardDiagonal = 2 };
enum WrapMode { WrapModeTile = 0 };
enum Unit { UnitWorld = 0, UnitPixel = 2 };
enum FillMode { FillModeAlternate = 0 };
enum FontStyle { FontStyleRegular = 0, FontStyleBold = 1 };
enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1 };
enum CombineMode { CombineModeReplace = 0, CombineModeIntersect = 1 };
enum MatrixOrder { MatrixOrderPrepend = 0, MatrixOrderAppend = 1 };
constexpr int LF_FACESIZE = 32;  // family names, terminator included
using GpUnit = Unit;
using GpWrapMode = WrapMode;
using GpFillMode = FillMode;

struct Rect {
    Rect(INT x, INT y, INT width, INT height) : X(x), Y(y), Width(width), Height(height) {}
    INT X, Y, Width, Height;
};
struct RectF {
    RectF(REAL x, REAL y, REAL width, REAL height) : X(x), Y(y), Width(width), Height(height) {}
    REAL X, Y, Width, Height;
};
using GpRect = Rect;

class GpGraphics {};
class GpBrush {};
class GpSolidFill : public GpBrush {};
class GpLineGradient : public GpBrush {};
class GpPathGradient : public GpBrush {};
class GpPen {};
class GpPath {};
class GpFont {};
class GpFontFamily {};
class GpFontCollection {};
class GpStringFormat {};

struct GdiplusStartupInput {
    std::uint32_t GdiplusVersion = 1;
    DebugEventProc DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput;

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

// The subset of the flat interface the editor paints with.
namespace DllExports {
GpStatus GdipCreateFromHDC(HDC context, GpGraphics** graphics);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
GpStatus GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode);
GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint hint);
GpStatus GdipCreateSolidFill(ARGB colour, GpSolidFill** brush);
GpStatus GdipCreateLineBrushFromRectI(const GpRect* rect, ARGB first, ARGB second, LinearGradientMode mode,
                                      GpWrapMode wrap, GpLineGradient** brush);
GpStatus GdipCreatePathGradientFromPath(const GpPath* path, GpPathGradient** brush);
GpStatus GdipSetPathGradientCenterColor(GpPathGradient* brush, ARGB colour);
GpStatus GdipSetPathGradientSurroundColorsWithCount(GpPathGradient* brush, const ARGB* colours, INT* count);
GpStatus GdipDeleteBrush(GpBrush* brush);
GpStatus GdipCreatePen1(ARGB colour, REAL width, GpUnit unit, GpPen** pen);
GpStatus GdipDeletePen(GpPen* pen);
GpStatus GdipCreatePath(GpFillMode mode, GpPath** path);
GpStatus GdipAddPathEllipseI(GpPath* path, INT x, INT y, INT width, INT height);
GpStatus GdipDeletePath(GpPath* path);
GpStatus GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height);
GpStatus GdipFillEllipseI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width, INT height);
GpStatus GdipFillPath(GpGraphics* graphics, GpBrush* brush, GpPath* path);
GpStatus GdipDrawRectangleI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height);
GpStatus GdipDrawEllipse(GpGraphics* graphics, GpPen* pen, REAL x, REAL y, REAL width, REAL height);
GpStatus GdipDrawEllipseI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height);
GpStatus GdipDrawArcI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width, INT height, REAL startAngle,
                      REAL sweepAngle);
GpStatus GdipDrawLine(GpGraphics* graphics, GpPen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
GpStatus GdipSetClipRectI(GpGraphics* graphics, INT x, INT y, INT width, INT height, CombineMode mode);
GpStatus GdipScaleWorldTransform(GpGraphics* graphics, REAL scaleX, REAL scaleY, MatrixOrder order);
GpStatus GdipNewPrivateFontCollection(GpFontCollection** collection);
GpStatus GdipDeletePrivateFontCollection(GpFontCollection** collection);
GpStatus GdipPrivateAddMemoryFont(GpFontCollection* collection, const void* memory, INT length);
GpStatus GdipGetFontCollectionFamilyCount(GpFontCollection* collection, INT* count);
GpStatus GdipGetFontCollectionFamilyList(GpFontCollection* collection, INT wanted, GpFontFamily* families[],
                                         INT* found);
GpStatus GdipGetFamilyName(const GpFontFamily* family, WCHAR name[LF_FACESIZE], LANGID language);
GpStatus GdipCloneFontFamily(GpFontFamily* family, GpFontFamily** clone);
GpStatus GdipCreateFontFamilyFromName(const WCHAR* name, GpFontCollection* collection, GpFontFamily** family);
GpStatus GdipDeleteFontFamily(GpFontFamily* family);
GpStatus GdipCreateFont(const GpFontFamily* family, REAL emSize, INT style, Unit unit, GpFont** font);
GpStatus GdipDeleteFont(GpFont* font);
GpStatus GdipCreateStringFormat(INT flags, LANGID language, GpStringFormat** format);
GpStatus GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align);
GpStatus GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align);
GpStatus GdipDeleteStringFormat(GpStringFormat* format);
GpStatus GdipDrawString(GpGraphics* graphics, const WCHAR* text, INT length, const GpFont* font,
                        const RectF* layout, const GpStringFormat* format, const GpBrush* brush);
}  // namespace DllExports

}  // namespace Gdiplus
