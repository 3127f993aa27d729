// Owners for the GDI+ objects a frame creates: each is released when its owner
// goes out of scope, so nothing a frame makes outlives it, whichever step fails.
#pragma once

#include "editor/fonts.h"
#include "platform/win32.h"

namespace orbelune {

namespace flat = Gdiplus::DllExports;

// `Handle` is what the creating call hands out; `release` takes it (or its base).
template <typename Handle, auto release>
class GdiplusObject {
  public:
    GdiplusObject() = default;
    GdiplusObject(const GdiplusObject&) = delete;
    GdiplusObject& operator=(const GdiplusObject&) = delete;
    ~GdiplusObject() {
        if (handle_ != nullptr) release(handle_);
    }

    Handle** out() { return &handle_; }
    Handle* get() const { return handle_; }

  private:
    Handle* handle_ = nullptr;
};

using GraphicsObject = GdiplusObject<Gdiplus::GpGraphics, flat::GdipDeleteGraphics>;
using SolidBrush = GdiplusObject<Gdiplus::GpSolidFill, flat::GdipDeleteBrush>;
using LinearGradientBrush = GdiplusObject<Gdiplus::GpLineGradient, flat::GdipDeleteBrush>;
using PathGradientBrush = GdiplusObject<Gdiplus::GpPathGradient, flat::GdipDeleteBrush>;
using Pen = GdiplusObject<Gdiplus::GpPen, flat::GdipDeletePen>;
using GraphicsPath = GdiplusObject<Gdiplus::GpPath, flat::GdipDeletePath>;
using FontFamily = GdiplusObject<Gdiplus::GpFontFamily, flat::GdipDeleteFontFamily>;
using Font = GdiplusObject<Gdiplus::GpFont, flat::GdipDeleteFont>;
using StringFormat = GdiplusObject<Gdiplus::GpStringFormat, flat::GdipDeleteStringFormat>;

// Small creators for the objects every step needs.
inline void createSolidBrush(SolidBrush& brush, Gdiplus::ARGB colour) { flat::GdipCreateSolidFill(colour, brush.out()); }
inline void createPen(Pen& pen, Gdiplus::ARGB colour, float width) {
    flat::GdipCreatePen1(colour, width, Gdiplus::UnitWorld, pen.out());
}
// Families are looked up by name, among the fonts the plug-in carries and then
// the installed ones, with no other fallback: a missing family leaves its
// texts undrawn.
inline void findFontFamily(FontFamily& family, const wchar_t* name) { *family.out() = findEditorFontFamily(name); }
inline void createPixelFont(Font& font, const FontFamily& family, float emSize, Gdiplus::FontStyle style) {
    flat::GdipCreateFont(family.get(), emSize, style, Gdiplus::UnitPixel, font.out());
}
// A format that centres horizontally (and, when asked, vertically) on the point.
inline void createCentredFormat(StringFormat& format, bool centreLines) {
    flat::GdipCreateStringFormat(0, 0, format.out());
    flat::GdipSetStringFormatAlign(format.get(), Gdiplus::StringAlignmentCenter);
    if (centreLines) flat::GdipSetStringFormatLineAlign(format.get(), Gdiplus::StringAlignmentCenter);
}
// Text at a point: a layout rectangle of no size, so nothing wraps or clips.
inline void drawTextAt(Gdiplus::GpGraphics* graphics, const wchar_t* text, const Font& font, float x, float y,
                       const StringFormat* format, Gdiplus::GpBrush* brush) {
    const Gdiplus::RectF layout(x, y, 0.0f, 0.0f);
    flat::GdipDrawString(graphics, text, -1, font.get(), &layout, format != nullptr ? format->get() : nullptr, brush);
}

}  // namespace orbelune
