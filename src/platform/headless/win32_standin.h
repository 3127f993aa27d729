// The recording stand-in's hooks for tests: what the headless implementation of
// the window system and drawing calls (platform/linux/win32_api.h) has been
// asked. It keeps the calls' names, signatures and meanings: windows with
// classes, procedures, a user-data slot, mouse capture and repaint requests;
// memory device contexts and bitmaps; and a GDI+ flat interface that draws
// nothing but records every call with its arguments and tracks the objects it
// hands out, so tests can check the editor natively, without a display.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/win32_api.h"

// What the stand-in has been asked, for tests.
namespace standin {

struct Counters {
    int gdiplusStartups = 0;
    int gdiplusShutdowns = 0;
    int threadLibraryCallsDisabled = 0;
    int classesRegistered = 0;
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
// Repaint requests recorded for one window since it was made or last painted.
int invalidationsOf(HWND window);
// Whether the last repaint request asked for the background to be erased.
bool lastInvalidationErased(HWND window);
// The parent a window was created with, and the live windows of a class.
HWND parentOf(HWND window);
// The rectangle of the last repaint request (the whole client area for none).
RECT lastInvalidatedArea(HWND window);
int windowsOfClass(const char* className);
// Class registrations that fail from now on (as when the system refuses one).
void failClassRegistrations(bool fail);

// One recorded GDI32 or GDI+ call: its name, its numeric arguments in order
// (integers, floats, colours and enumerations, each exactly representable in a
// double; a brush's or pen's colour and a pen's width follow the coordinates of
// a fill or draw call), the text it was given, and its result: the GDI+ status,
// the BOOL of a GDI32 call, or 0 for a handle handed out and 1 for none.
struct DrawingCall {
    std::string function;
    std::vector<double> arguments;
    std::wstring text;
    int status = 0;
};

// Calls recorded since the last clear, in order.
const std::vector<DrawingCall>& drawingCalls();
void clearDrawingCalls();
// Drawing objects (GDI bitmaps and contexts, GDI+ graphics, brushes, pens,
// paths, fonts, families and formats) created and not yet released; private
// font collections and the families they own are counted apart.
int liveFontCollections();
int liveDrawingObjects();
// The font families that a lookup by name finds; "Inter" and "Cinzel" unless set.
void setInstalledFontFamilies(std::vector<std::wstring> families);

}  // namespace standin
