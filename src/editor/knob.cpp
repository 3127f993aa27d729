// One rotary knob: a dark disc with a light rim, a faint 240-degree track, an
// arc that grows clockwise with the value, a pointer tick, a centre cap, and the
// label and value centred under the disc.
#include <cmath>

#include "editor/gdiplus_objects.h"
#include "editor/painting.h"

namespace orbelune {

namespace {

constexpr double kPi = 3.141592653589793;

constexpr Gdiplus::ARGB kBodyLight = 0xFF1A202E;  // top-left
constexpr Gdiplus::ARGB kBodyDark = 0xFF0A0C12;   // bottom-right
constexpr Gdiplus::ARGB kRimColour = 0x78FFFFFF;
constexpr Gdiplus::ARGB kTrackColour = 0x3CFFFFFF;
constexpr Gdiplus::ARGB kPointerColour = 0xFFFFFFFF;
constexpr Gdiplus::ARGB kCapColour = 0xFF0E1118;
constexpr Gdiplus::ARGB kLabelColour = 0xDCC8D2E6;

constexpr float kRimWidth = 1.5f;
constexpr float kTrackWidth = 4.0f;
constexpr float kValueArcWidth = 4.5f;
constexpr float kPointerWidth = 2.5f;

// Angles in degrees, clockwise from the positive x axis (y grows downwards):
// the track runs from the lower left over the top to the lower right.
constexpr float kTrackStartDegrees = 150.0f;
constexpr float kTrackSweepDegrees = 240.0f;

constexpr int kArcInset = 5;       // the arcs lie on the circle of radius r − 5
constexpr int kPointerInset = 12;  // the pointer ends at radius r − 12
constexpr int kCapInset = 18;      // the cap covers radius r − 18

constexpr const wchar_t* kTextFamily = L"Inter";
constexpr float kLabelSize = 10.0f;
constexpr float kValueSize = 11.5f;
constexpr int kLabelDrop = 14;  // below the disc's lowest point, to the text's centre
constexpr int kValueDrop = 28;

}  // namespace

FloatPoint knobPointerEnd(int centreX, int centreY, int radius, float value) {
    const float degrees = kTrackSweepDegrees * value + kTrackStartDegrees;
    const float radians = static_cast<float>(static_cast<double>(degrees) * kPi / 180.0);
    const float length = static_cast<float>(radius - kPointerInset);
    return {static_cast<float>(centreX) + length * std::cos(radians),
            static_cast<float>(centreY) + length * std::sin(radians)};
}

void drawKnob(Gdiplus::GpGraphics* surface, int centreX, int centreY, int radius, float value, const wchar_t* label,
              const wchar_t* valueText, std::uint32_t accent) {
    const int left = centreX - radius;
    const int top = centreY - radius;
    const int diameter = 2 * radius;

    const Gdiplus::Rect disc(left, top, diameter, diameter);
    LinearGradientBrush body;
    flat::GdipCreateLineBrushFromRectI(&disc, kBodyLight, kBodyDark, Gdiplus::LinearGradientModeForwardDiagonal,
                                       Gdiplus::WrapModeTile, body.out());
    flat::GdipFillEllipseI(surface, body.get(), left, top, diameter, diameter);

    Pen rim;
    createPen(rim, kRimColour, kRimWidth);
    flat::GdipDrawEllipseI(surface, rim.get(), left, top, diameter, diameter);

    const int arcLeft = left + kArcInset;
    const int arcTop = top + kArcInset;
    const int arcDiameter = diameter - 2 * kArcInset;
    Pen track;
    createPen(track, kTrackColour, kTrackWidth);
    flat::GdipDrawArcI(surface, track.get(), arcLeft, arcTop, arcDiameter, arcDiameter, kTrackStartDegrees,
                       kTrackSweepDegrees);
    Pen valueArc;
    createPen(valueArc, accent, kValueArcWidth);
    flat::GdipDrawArcI(surface, valueArc.get(), arcLeft, arcTop, arcDiameter, arcDiameter, kTrackStartDegrees,
                       kTrackSweepDegrees * value);

    Pen pointer;
    createPen(pointer, kPointerColour, kPointerWidth);
    const FloatPoint end = knobPointerEnd(centreX, centreY, radius, value);
    flat::GdipDrawLine(surface, pointer.get(), static_cast<float>(centreX), static_cast<float>(centreY), end.x, end.y);

    SolidBrush cap;
    createSolidBrush(cap, kCapColour);
    flat::GdipFillEllipseI(surface, cap.get(), left + kCapInset, top + kCapInset, diameter - 2 * kCapInset,
                           diameter - 2 * kCapInset);

    FontFamily family;
    Font labelFont;
    Font valueFont;
    StringFormat centred;
    SolidBrush labelBrush;
    SolidBrush valueBrush;
    findFontFamily(family, kTextFamily);
    createPixelFont(labelFont, family, kLabelSize, Gdiplus::FontStyleBold);
    createPixelFont(valueFont, family, kValueSize, Gdiplus::FontStyleRegular);
    createCentredFormat(centred, true);
    createSolidBrush(labelBrush, kLabelColour);
    createSolidBrush(valueBrush, accent);
    const float textX = static_cast<float>(centreX);
    drawTextAt(surface, label, labelFont, textX, static_cast<float>(centreY + radius + kLabelDrop), &centred,
               labelBrush.get());
    drawTextAt(surface, valueText, valueFont, textX, static_cast<float>(centreY + radius + kValueDrop), &centred,
               valueBrush.get());
}

}  // namespace orbelune
