// An instance's editor painted off-screen through the drawing calls its window
// paints with, into a memory context, and read back pixel by pixel: no window
// and no display needed.
#pragma once

#include "editor/editor.h"
#include "editor/gdiplus_objects.h"
#include "editor/painting.h"
#include "editor_host.h"
#include "unit/test_host.h"
#include "vst2/instance.h"

namespace editortest {

// What a pixel keeps when no frame reached it: a colour the panel never shows.
constexpr std::uint32_t kUnpainted = 0xFF00FF;

struct Panel {
    orbelune::Editor& editor() const { return orbelune::instanceOf(plugin.get())->editor; }
    void setParameter(int index, float value) const { plugin->setParameter(plugin.get(), index, value); }

    // Paints `area` of a client area of width × height over unpainted pixels.
    editorpixels::Picture paint(const RECT& area, int width = orbelune::kEditorWidth,
                                int height = orbelune::kEditorHeight) const {
        namespace flat = Gdiplus::DllExports;
        const HDC context = CreateCompatibleDC(nullptr);
        const HBITMAP bitmap = CreateCompatibleBitmap(context, width, height);
        const HGDIOBJ previous = SelectObject(context, bitmap);
        {
            orbelune::GraphicsObject surface;
            orbelune::SolidBrush unpainted;
            flat::GdipCreateFromHDC(context, surface.out());
            orbelune::createSolidBrush(unpainted, 0xFF000000 | kUnpainted);
            flat::GdipFillRectangleI(surface.get(), unpainted.get(), -1, -1, width + 2, height + 2);
        }
        orbelune::paintEditor(editor(), context, RECT{0, 0, width, height}, area);
        editorpixels::Picture picture{width, height, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const COLORREF pixel = GetPixel(context, x, y);  // 0x00BBGGRR
                picture.rgb.push_back((pixel & 0xFF) << 16 | (pixel & 0xFF00) | (pixel >> 16 & 0xFF));
            }
        SelectObject(context, previous);
        DeleteObject(bitmap);
        DeleteDC(context);
        return picture;
    }
    editorpixels::Picture paint(int width = orbelune::kEditorWidth, int height = orbelune::kEditorHeight) const {
        return paint(RECT{0, 0, width, height}, width, height);
    }

    testhost::Instance plugin;
};

}  // namespace editortest
