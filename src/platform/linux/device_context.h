// What the Linux window half (Xlib) and drawing half (cairo) share: device
// contexts and bitmaps. A window's context exists between BeginPaint and
// EndPaint; a memory context holds the bitmap selected into it. Bitmaps are
// cairo image surfaces in premultiplied ARGB, the same pixels a GDI+ surface
// on a 32-bit DIB would hold.
#pragma once

#include <cairo.h>

#include "platform/linux/win32_api.h"

struct HDC__ {
    bool memory = false;       // a memory context, from CreateCompatibleDC
    HWND window = nullptr;     // window contexts: the window painted
    HGDIOBJ selected = nullptr;  // memory contexts: the bitmap selected
};

struct HGDIOBJ__ {
    cairo_surface_t* surface = nullptr;  // null for the 1 × 1 stock bitmap a new context starts with
    int selections = 0;                  // how many memory contexts hold it
};

namespace orbelune::linuxplatform {

// Copies a rectangle of an image into the window at (x, y): the frame's one
// transfer to the screen. False when the window is not one of ours.
bool presentToWindow(HWND window, cairo_surface_t* image, int x, int y, int width, int height, int sourceX,
                     int sourceY);

}  // namespace orbelune::linuxplatform
