// A headless stand-in for the parts of KERNEL32, USER32 and GDI+ start-up that
// the plug-in calls, for builds where Windows is not. It keeps the calls' names
// and meanings, holds no real windows, and records what it is asked so that
// tests can check the lifecycle natively.
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LPCSTR = const char*;

struct HWND__;
struct HINSTANCE__;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

BOOL DisableThreadLibraryCalls(HMODULE module);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE module);
BOOL IsWindow(HWND window);
BOOL DestroyWindow(HWND window);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

namespace Gdiplus {

enum Status { Ok = 0, GenericError = 1 };
using DebugEventProc = void (*)(int level, char* message);

struct GdiplusStartupInput {
    std::uint32_t GdiplusVersion = 1;
    DebugEventProc DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput;

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

}  // namespace Gdiplus

// What the stand-in has been asked, for tests.
namespace standin {

struct Counters {
    int gdiplusStartups = 0;
    int gdiplusShutdowns = 0;
    int threadLibraryCallsDisabled = 0;
    int classesUnregistered = 0;
    int windowsDestroyed = 0;
    int invalidations = 0;
};

const Counters& counters();
void resetCounters();
// Whether a GDI+ token handed out is still running.
bool gdiplusRunning();

// A stand-in window with no procedure, for tests that need a live handle.
HWND createBareWindow();
// Repaint requests recorded for one window since it was made.
int invalidationsOf(HWND window);
// Whether the last repaint request asked for the background to be erased.
bool lastInvalidationErased(HWND window);

}  // namespace standin
