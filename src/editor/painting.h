// The editor panel's painting: the whole panel per frame into an off-screen
// bitmap, and the rotary knob it draws six times. The numbers that place the
// animated elements are plain functions, computed in single precision as drawn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace orbelune {

struct Editor;

// Paints the part `area` (client pixels, right and bottom exclusive) of an
// editor whose client area is `client` into a device context: the one that
// BeginPaint returned, or any other that a frame may be copied to.
// Its pixels are those of a whole frame: everything that reaches into the
// area is drawn, clipped to it, and only the area is copied to the context.
void paintEditor(const Editor& editor, HDC paintContext, const RECT& client, const RECT& area);

// The pixels that the idle phase and the output meter change: the visual panel
// with its outline, glow, rings and read-out, in the panel's own coordinates.
RECT animatedArea();
// A rectangle of the panel's coordinates as the window's pixels at a scale,
// grown to whole pixels; at scale 1 the same rectangle.
RECT scaledArea(const RECT& area, float scale);

// One rotary knob on the surface: body, rim, track, value arc, pointer, cap,
// label and value text.
void drawKnob(Gdiplus::GpGraphics* surface, int centreX, int centreY, int radius, float value, const wchar_t* label,
              const wchar_t* valueText, std::uint32_t accent);

struct FloatPoint {
    float x;
    float y;
};
struct FloatBox {
    float x;
    float y;
    float width;
    float height;
};

// Alpha of the glow's centre: brighter with the output level, pulsing with the
// phase, within 20..255.
int glowAlpha(float outputMeter, float idlePhase);
// Bounding box of orbit ring `ring` (0..3) at the phase.
FloatBox orbitRingBox(int ring, float idlePhase);
// Where a knob's pointer line ends for a value.
FloatPoint knobPointerEnd(int centreX, int centreY, int radius, float value);

// The panel's texts for the current parameter values (indexed by parameter).
constexpr std::size_t kReadoutCharacters = 64;
constexpr std::size_t kValueTextCharacters = 32;
void formatReadout(const float params[], wchar_t* buffer);
void formatKnobValue(int knob, const float params[], wchar_t* buffer);

}  // namespace orbelune
