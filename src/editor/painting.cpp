#include "editor/painting.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "editor/gdiplus_objects.h"
#include "editor/interaction.h"
#include "core/parameters.h"
#include "editor/editor.h"

namespace orbelune {

namespace {

constexpr double kPi = 3.141592653589793;

// Colours, ARGB.
constexpr Gdiplus::ARGB kBackgroundTop = 0xFF070A11;
constexpr Gdiplus::ARGB kBackgroundBottom = 0xFF030407;
constexpr Gdiplus::ARGB kStudColour = 0xFF283041;
constexpr Gdiplus::ARGB kAccentColour = 0xFF38BDF8;
constexpr Gdiplus::ARGB kMutedColour = 0xB48C96AF;
constexpr Gdiplus::ARGB kPanelFill = 0xFF0A0D16;
constexpr Gdiplus::ARGB kPanelOutline = 0x5038BDF8;
constexpr Gdiplus::ARGB kGlowRgb = 0x008B5CF6;  // violet; the alpha pulses
constexpr Gdiplus::ARGB kTransparent = 0x00000000;
constexpr Gdiplus::ARGB kRingColours[2] = {0xA038BDF8, 0xA0C084FC};  // even and odd rings

// Corner studs: 10-pixel circles, 12 pixels in from each edge.
constexpr int kStudSize = 10;
constexpr int kStudInset = 12;
constexpr int kStudFarInset = kStudInset + kStudSize;

// The visual panel and what is centred on it.
constexpr int kPanelX = 260;
constexpr int kPanelY = 85;
constexpr int kPanelWidth = 320;
constexpr int kPanelHeight = 175;
constexpr float kPanelOutlineWidth = 1.2f;
constexpr float kPanelCentreX = 420.0f;
constexpr float kPanelCentreY = 172.5f;
constexpr int kGlowX = 310;
constexpr int kGlowY = 105;
constexpr int kGlowWidth = 220;
constexpr int kGlowHeight = 135;
constexpr int kRingCount = 4;
constexpr float kRingPenWidth = 1.4f;

// Glow alpha: meter·180 + 40 + sin(2·phase)·15, within 20..255.
constexpr float kGlowMeterGain = 180.0f;
constexpr float kGlowBase = 40.0f;
constexpr float kGlowPulse = 15.0f;
constexpr float kGlowAlphaLowest = 20.0f;
constexpr float kGlowAlphaHighest = 255.0f;

// Orbit rings: half-axes 90 ± 20 and 35 ± 15 pixels.
constexpr float kRingWidthSwing = 20.0f;
constexpr float kRingHalfWidth = 90.0f;
constexpr float kRingHeightSwing = 15.0f;
constexpr float kRingHalfHeight = 35.0f;

// Texts: fonts in pixels, positions of each text's reference point.
constexpr const wchar_t* kTitleFamily = L"Cinzel";
constexpr const wchar_t* kTextFamily = L"Inter";
constexpr float kTitleSize = 18.0f;
constexpr float kSubtitleSize = 9.5f;
constexpr float kReadoutSize = 10.0f;
constexpr float kFooterSize = 9.0f;
constexpr const wchar_t* kTitle = L"DREVON ORBELUNE\u2122";
constexpr const wchar_t* kSubtitle = L"3D HOLOGRAPHIC PRIME REVERB \u2022 EULER SIEVE (172) & \u03A6 GOLDEN MATRIX";
constexpr const wchar_t* kReadoutFormat = L"DECAY: %.2f s \u2022 3D WRAP: %.0f%% \u2022 VELVET DAMP: %.0f%%";
// The footer names the format the user loaded, as its adapter gives it.
constexpr const wchar_t* kFooterFormat = L"DREVON AUDIO TECHNOLOGIES \u2022 64-BIT NATIVE %ls \u2022 ZERO LATENCY FDN MATRIX";
constexpr std::size_t kFooterCharacters = 96;
constexpr float kTitleX = 28.0f;
constexpr float kTitleY = 20.0f;
constexpr float kSubtitleX = 29.0f;
constexpr float kSubtitleY = 44.0f;
constexpr float kReadoutY = 238.0f;
constexpr int kFooterRise = 22;  // the footer's top, above the bottom edge

// Where each element may put a pixel, antialiasing included: an element whose
// box misses the area being painted is not drawn at all.
constexpr int kTitlesBottom = 70;        // below the subtitle's descenders
constexpr int kReadoutTop = 230;         // the read-out's line, with room above
constexpr int kReadoutBottom = 262;
constexpr int kFooterTopRise = 34;       // above the bottom edge
constexpr int kKnobReach = 100;          // a knob's texts reach this far to each side
constexpr int kKnobTextBelow = 40;       // and this far below the disc
constexpr int kAntialiasMargin = 2;

bool overlaps(const RECT& box, const RECT& area) {
    return box.left < area.right && area.left < box.right && box.top < area.bottom && area.top < box.bottom;
}

// Bounded wide formatting that always terminates, however long the output.
template <typename... Numbers>
void formatText(wchar_t* buffer, std::size_t count, const wchar_t* format, Numbers... numbers) {
    if (std::swprintf(buffer, count, format, numbers...) < 0) buffer[count - 1] = L'\0';
}

// A table text in the wide characters GDI+ draws; the tables hold ASCII.
template <std::size_t kCharacters>
void widen(const char* text, wchar_t (&wide)[kCharacters]) {
    std::size_t index = 0;
    for (; index + 1 < kCharacters && text[index] != '\0'; ++index) wide[index] = static_cast<unsigned char>(text[index]);
    wide[index] = L'\0';
}

// The two fonts' families and the two brushes that several steps share.
struct PanelResources {
    FontFamily titleFamily;
    FontFamily textFamily;
    SolidBrush accent;
    SolidBrush muted;
};

// The gradient spans the whole window, but only the area being painted is
// filled: some GDI+ implementations shade every pixel of a gradient fill before
// clipping, and a whole-window fill would cost an idle frame most of its time.
// Inside the window the fill reaches a pixel past the area, so that
// antialiasing leaves no pixel of the area half covered; the clip keeps it
// inside. A whole frame fills exactly the window.
void fillBackground(Gdiplus::GpGraphics* graphics, int width, int height, const RECT& area) {
    const Gdiplus::Rect window(0, 0, width, height);
    LinearGradientBrush brush;
    flat::GdipCreateLineBrushFromRectI(&window, kBackgroundTop, kBackgroundBottom, Gdiplus::LinearGradientModeVertical,
                                       Gdiplus::WrapModeTile, brush.out());
    const RECT fill{std::max<LONG>(area.left - 1, 0), std::max<LONG>(area.top - 1, 0),
                    std::min<LONG>(area.right + 1, width), std::min<LONG>(area.bottom + 1, height)};
    flat::GdipFillRectangleI(graphics, brush.get(), fill.left, fill.top, fill.right - fill.left, fill.bottom - fill.top);
}

void fillCornerStuds(Gdiplus::GpGraphics* graphics, int width, int height, const RECT& area) {
    SolidBrush brush;
    createSolidBrush(brush, kStudColour);
    const int corners[4][2] = {{kStudInset, kStudInset},
                               {width - kStudFarInset, kStudInset},
                               {kStudInset, height - kStudFarInset},
                               {width - kStudFarInset, height - kStudFarInset}};
    for (const auto& corner : corners) {
        const RECT box{corner[0] - kAntialiasMargin, corner[1] - kAntialiasMargin,
                       corner[0] + kStudSize + kAntialiasMargin, corner[1] + kStudSize + kAntialiasMargin};
        if (overlaps(box, area)) flat::GdipFillEllipseI(graphics, brush.get(), corner[0], corner[1], kStudSize, kStudSize);
    }
}

void prepareResources(PanelResources& resources) {
    findFontFamily(resources.titleFamily, kTitleFamily);
    findFontFamily(resources.textFamily, kTextFamily);
    createSolidBrush(resources.accent, kAccentColour);
    createSolidBrush(resources.muted, kMutedColour);
}

void drawTitles(Gdiplus::GpGraphics* graphics, const PanelResources& resources) {
    Font titleFont;
    Font subtitleFont;
    createPixelFont(titleFont, resources.titleFamily, kTitleSize, Gdiplus::FontStyleBold);
    createPixelFont(subtitleFont, resources.textFamily, kSubtitleSize, Gdiplus::FontStyleBold);
    drawTextAt(graphics, kTitle, titleFont, kTitleX, kTitleY, nullptr, resources.accent.get());
    drawTextAt(graphics, kSubtitle, subtitleFont, kSubtitleX, kSubtitleY, nullptr, resources.muted.get());
}

void drawVisualPanel(Gdiplus::GpGraphics* graphics) {
    SolidBrush fill;
    Pen outline;
    createSolidBrush(fill, kPanelFill);
    createPen(outline, kPanelOutline, kPanelOutlineWidth);
    flat::GdipFillRectangleI(graphics, fill.get(), kPanelX, kPanelY, kPanelWidth, kPanelHeight);
    flat::GdipDrawRectangleI(graphics, outline.get(), kPanelX, kPanelY, kPanelWidth, kPanelHeight);
}

void drawGlow(Gdiplus::GpGraphics* graphics, float outputMeter, float idlePhase) {
    GraphicsPath path;
    PathGradientBrush brush;
    flat::GdipCreatePath(Gdiplus::FillModeAlternate, path.out());
    flat::GdipAddPathEllipseI(path.get(), kGlowX, kGlowY, kGlowWidth, kGlowHeight);
    flat::GdipCreatePathGradientFromPath(path.get(), brush.out());
    const Gdiplus::ARGB centre = static_cast<Gdiplus::ARGB>(glowAlpha(outputMeter, idlePhase)) << 24 | kGlowRgb;
    flat::GdipSetPathGradientCenterColor(brush.get(), centre);
    Gdiplus::ARGB surround[1] = {kTransparent};
    INT surroundCount = 1;
    flat::GdipSetPathGradientSurroundColorsWithCount(brush.get(), surround, &surroundCount);
    flat::GdipFillPath(graphics, brush.get(), path.get());
}

void drawOrbitRings(Gdiplus::GpGraphics* graphics, float idlePhase) {
    for (int ring = 0; ring < kRingCount; ++ring) {
        Pen pen;
        createPen(pen, kRingColours[ring % 2], kRingPenWidth);
        const FloatBox box = orbitRingBox(ring, idlePhase);
        flat::GdipDrawEllipse(graphics, pen.get(), box.x, box.y, box.width, box.height);
    }
}

void drawReadout(Gdiplus::GpGraphics* graphics, const PanelResources& resources, const StringFormat& format,
                 const float params[]) {
    Font font;
    createPixelFont(font, resources.textFamily, kReadoutSize, Gdiplus::FontStyleBold);
    wchar_t text[kReadoutCharacters];
    formatReadout(params, text);
    drawTextAt(graphics, text, font, kPanelCentreX, kReadoutY, &format, resources.accent.get());
}

void drawKnobs(Gdiplus::GpGraphics* graphics, const float params[], const RECT& area) {
    for (int knob = 0; knob < kKnobCount; ++knob) {
        const KnobLayoutEntry& entry = knobLayout[knob];
        const RECT box{entry.centreX - kKnobReach, entry.centreY - entry.radius - kAntialiasMargin,
                       entry.centreX + kKnobReach, entry.centreY + entry.radius + kKnobTextBelow};
        if (!overlaps(box, area)) continue;
        wchar_t valueText[kValueTextCharacters];
        formatKnobValue(knob, params, valueText);
        wchar_t caption[kValueTextCharacters];
        widen(parameterTable[entry.param].knobCaption, caption);
        drawKnob(graphics, entry.centreX, entry.centreY, entry.radius, params[entry.param], caption, valueText,
                 parameterTable[entry.param].knobColour);
    }
}

void drawFooter(Gdiplus::GpGraphics* graphics, const PanelResources& resources, const StringFormat& format, int width,
                int height, const wchar_t* formatName) {
    Font font;
    createPixelFont(font, resources.textFamily, kFooterSize, Gdiplus::FontStyleRegular);
    wchar_t footer[kFooterCharacters];
    formatText(footer, kFooterCharacters, kFooterFormat, formatName);
    const float centreX = static_cast<float>(width) * 0.5f;
    drawTextAt(graphics, footer, font, centreX, static_cast<float>(height - kFooterRise), &format,
               resources.muted.get());
}

// The frame's off-screen bitmap, selected into a memory context for as long as
// the frame draws; the previous bitmap goes back before both are deleted.
class OffscreenBuffer {
  public:
    OffscreenBuffer(HDC paintContext, int width, int height)
        : context_(CreateCompatibleDC(paintContext)),
          bitmap_(CreateCompatibleBitmap(paintContext, width, height)),
          previous_(SelectObject(context_, bitmap_)) {}
    ~OffscreenBuffer() {
        SelectObject(context_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(context_);
    }
    OffscreenBuffer(const OffscreenBuffer&) = delete;
    OffscreenBuffer& operator=(const OffscreenBuffer&) = delete;

    HDC context() const { return context_; }

  private:
    HDC context_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
};

}  // namespace

int glowAlpha(float outputMeter, float idlePhase) {
    const float pulse = std::sin(2.0f * idlePhase);
    const float alpha = outputMeter * kGlowMeterGain + kGlowBase + pulse * kGlowPulse;
    // Clamped before the conversion to an integer, which gives the same result
    // for every finite value and keeps a non-finite meter from being converted.
    if (!(alpha >= kGlowAlphaLowest)) return static_cast<int>(kGlowAlphaLowest);
    if (alpha >= kGlowAlphaHighest) return static_cast<int>(kGlowAlphaHighest);
    return static_cast<int>(alpha);
}

FloatBox orbitRingBox(int ring, float idlePhase) {
    const float angle = static_cast<float>(ring * (kPi / 2.0) + static_cast<double>(idlePhase));
    const float halfWidth = kRingWidthSwing * std::cos(angle) + kRingHalfWidth;
    const float halfHeight = kRingHeightSwing * std::sin(angle) + kRingHalfHeight;
    return {kPanelCentreX - halfWidth, kPanelCentreY - halfHeight, 2.0f * halfWidth, 2.0f * halfHeight};
}

void formatReadout(const float params[], wchar_t* buffer) {
    formatText(buffer, kReadoutCharacters, kReadoutFormat,
               static_cast<double>(displayNumber(kParamDecay, params[kParamDecay])),
               static_cast<double>(displayNumber(kParamWidth, params[kParamWidth])),
               static_cast<double>(displayNumber(kParamDamping, params[kParamDamping])));
}

void formatKnobValue(int knob, const float params[], wchar_t* buffer) {
    const int param = knobLayout[knob].param;
    wchar_t format[kValueTextCharacters];
    widen(parameterTable[param].knobValueFormat, format);
    formatText(buffer, kValueTextCharacters, format, static_cast<double>(displayNumber(param, params[param])));
}

RECT scaledArea(const RECT& area, float scale) {
    if (scale == 1.0f) return area;
    const auto down = [scale](LONG value) { return static_cast<LONG>(std::floor(static_cast<float>(value) * scale)); };
    const auto up = [scale](LONG value) { return static_cast<LONG>(std::ceil(static_cast<float>(value) * scale)); };
    return RECT{down(area.left), down(area.top), up(area.right), up(area.bottom)};
}

RECT animatedArea() {
    return RECT{kPanelX - kAntialiasMargin, kPanelY - kAntialiasMargin, kPanelX + kPanelWidth + kAntialiasMargin + 1,
                kPanelY + kPanelHeight + kAntialiasMargin + 1};
}

void paintEditor(const Editor& editor, HDC paintContext, const RECT& client, const RECT& requested) {
    // One reading of everything the frame shows, so its elements agree.
    float params[kParamCount];
    for (int param = 0; param < kParamCount; ++param) params[param] = editor.host.parameter(editor.host.context, param);
    const float outputMeter = editor.host.outputLevel(editor.host.context);
    const float idlePhase = editor.idlePhase;

    const int pixelWidth = client.right - client.left;
    const int pixelHeight = client.bottom - client.top;
    const RECT pixels{std::max<LONG>(requested.left, 0), std::max<LONG>(requested.top, 0),
                      std::min<LONG>(requested.right, pixelWidth), std::min<LONG>(requested.bottom, pixelHeight)};
    if (pixels.left >= pixels.right || pixels.top >= pixels.bottom) return;

    OffscreenBuffer buffer(paintContext, pixelWidth, pixelHeight);
    GraphicsObject surface;
    flat::GdipCreateFromHDC(buffer.context(), surface.out());
    Gdiplus::GpGraphics* graphics = surface.get();
    flat::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    flat::GdipSetTextRenderingHint(graphics, Gdiplus::TextRenderingHintClearTypeGridFit);
    flat::GdipSetClipRectI(graphics, pixels.left, pixels.top, pixels.right - pixels.left, pixels.bottom - pixels.top,
                           Gdiplus::CombineModeReplace);

    // Everything below is drawn in the panel's own coordinates; at another
    // scale the surface maps them onto the window's pixels, so lines, arcs
    // and glyph outlines are drawn at the target resolution.
    const float scale = editor.scale;
    if (scale != 1.0f) flat::GdipScaleWorldTransform(graphics, scale, scale, Gdiplus::MatrixOrderPrepend);
    const int width = scale == 1.0f ? pixelWidth : static_cast<int>(std::lround(pixelWidth / scale));
    const int height = scale == 1.0f ? pixelHeight : static_cast<int>(std::lround(pixelHeight / scale));
    const RECT area = scale == 1.0f ? pixels
                                    : RECT{static_cast<LONG>(std::floor(pixels.left / scale)),
                                           static_cast<LONG>(std::floor(pixels.top / scale)),
                                           static_cast<LONG>(std::ceil(pixels.right / scale)),
                                           static_cast<LONG>(std::ceil(pixels.bottom / scale))};

    // The background reaches the last pixel even where the window is not a
    // whole number of panel units wide.
    const auto cover = [scale](int pixelCount) { return static_cast<int>(std::ceil(pixelCount / scale)); };
    fillBackground(graphics, cover(pixelWidth), cover(pixelHeight), area);
    fillCornerStuds(graphics, width, height, area);
    PanelResources resources;
    prepareResources(resources);
    if (overlaps(RECT{0, 0, width, kTitlesBottom}, area)) drawTitles(graphics, resources);
    if (overlaps(animatedArea(), area)) {
        drawVisualPanel(graphics);
        drawGlow(graphics, outputMeter, idlePhase);
        drawOrbitRings(graphics, idlePhase);
    }
    StringFormat centred;
    createCentredFormat(centred, false);
    if (overlaps(RECT{0, kReadoutTop, width, kReadoutBottom}, area)) drawReadout(graphics, resources, centred, params);
    drawKnobs(graphics, params, area);
    if (overlaps(RECT{0, height - kFooterTopRise, width, height}, area))
        drawFooter(graphics, resources, centred, width, height, editor.formatName);

    BitBlt(paintContext, pixels.left, pixels.top, pixels.right - pixels.left, pixels.bottom - pixels.top,
           buffer.context(), pixels.left, pixels.top, SRCCOPY);
}

}  // namespace orbelune
