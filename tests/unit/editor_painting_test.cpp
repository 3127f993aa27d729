#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "core/parameters.h"
#include "editor/interaction.h"
#include "editor/painting.h"
#include "platform/embedded_fonts.h"
#include "unit/editor_fixture.h"

using editorpixels::brightness;
using editorpixels::channel;
using editorpixels::Picture;
using editorpixels::TextBox;
using editortest::kUnpainted;
using editortest::Panel;

namespace {

bool reddish(std::uint32_t rgb) { return channel(rgb, 16) > channel(rgb, 8); }

// The brightest pixel of a box: the colour of the text in it.
std::uint32_t brightest(const Picture& picture, const TextBox& box) {
    std::uint32_t found = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            if (brightness(picture.at(x, y)) > brightness(found)) found = picture.at(x, y);
    return found;
}

// A line of text is there when it has ink, centred on x (and on y) when given.
void expectText(const Picture& picture, const TextBox& box, double x = -1.0, double y = -1.0) {
    double inkX = 0.0, inkY = 0.0;
    EXPECT_GT(picture.ink(box, &inkX, &inkY), editorpixels::kLeastInk) << box.what;
    if (x >= 0.0) {
        EXPECT_NEAR(inkX, x, 2.0) << box.what;
    }
    if (y >= 0.0) {
        EXPECT_NEAR(inkY, y, 2.0) << box.what;
    }
}

// An idle frame: everything that reaches into the panel is drawn, with the
// pixels a whole frame has there, and nothing beside it is touched.
TEST(EditorFrame, AnIdleFrameDrawsOnlyWhatReachesThePanel) {
    Panel panel;
    const Picture whole = panel.paint();
    const RECT area = orbelune::animatedArea();
    const Picture idle = panel.paint(area);
    int wrong = 0;
    for (int y = 0; y < idle.height; ++y)
        for (int x = 0; x < idle.width; ++x) {
            const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
            wrong += idle.at(x, y) != (inside ? whole.at(x, y) : kUnpainted) ? 1 : 0;
        }
    EXPECT_EQ(wrong, 0);
}

// The frame is drawn antialiased into a bitmap of its own, which then replaces
// the context's pixels: not one of them is left, or blended into an edge.
TEST(EditorFrame, DrawsOffScreenAndCopiesOnceAtTheEnd) {
    const Picture frame = Panel().paint();
    int tinted = 0;
    for (const std::uint32_t pixel : frame.rgb)
        tinted += channel(pixel, 16) > 40 && 4 * channel(pixel, 8) < channel(pixel, 16) ? 1 : 0;
    EXPECT_EQ(tinted, 0);
    const int edge = brightness(frame.at(12, 17));  // the top-left stud's left edge
    EXPECT_GT(edge, brightness(frame.at(4, 17)) + 10);
    EXPECT_LT(edge, brightness(frame.at(17, 17)) - 10);
}

TEST(EditorFrame, BackgroundStudsAndVisualPanel) {
    const Picture frame = Panel().paint();
    EXPECT_EQ(frame.misses(), "");
    for (const editorpixels::Spot& spot : {editorpixels::Spot{823, 17, 0x283041, 3, "the top-right stud"},
                                           {17, 503, 0x283041, 3, "the bottom-left stud"},
                                           {4, 515, 0x030407, 2, "background near the bottom"},
                                           {260, 150, 0x16435A, 8, "the panel's outline"},
                                           {257, 150, 0x050710, 3, "background beside the panel"}})
        EXPECT_TRUE(frame.looksLike(spot)) << spot.what << std::hex << ": " << frame.at(spot.x, spot.y);
}

TEST(EditorFrame, GlowAlphaFollowsTheMeterWithinItsClamps) {
    EXPECT_EQ(orbelune::glowAlpha(0.0f, 0.0f), 40);
    int lowest = 255;
    int highest = 0;
    for (int step = 0; step < 180; ++step) {
        const int alpha = orbelune::glowAlpha(0.0f, 0.035f * static_cast<float>(step));
        lowest = std::min(lowest, alpha);
        highest = std::max(highest, alpha);
    }
    EXPECT_GE(lowest, 25);
    EXPECT_LE(highest, 55);
    EXPECT_EQ(orbelune::glowAlpha(0.0f, 0.7853982f), 55);  // sin(2·π/4) = 1
    EXPECT_EQ(orbelune::glowAlpha(0.0f, 2.3561945f), 25);  // sin(2·3π/4) = -1
    EXPECT_EQ(orbelune::glowAlpha(1.2f, 0.0f), 255);
    EXPECT_EQ(orbelune::glowAlpha(1.19f, 0.0f), 254);
    EXPECT_EQ(orbelune::glowAlpha(-1.0f, 0.0f), 20);
    EXPECT_EQ(orbelune::glowAlpha(std::nanf(""), 0.0f), 20);  // never converted to an integer
    EXPECT_EQ(orbelune::glowAlpha(INFINITY, 0.0f), 255);

    // Violet at the glow's centre, fading to nothing at its ellipse's edge.
    Panel panel;
    const auto withMeter = [&](float meter) {
        orbelune::instanceOf(panel.plugin.get())->plugin.outputMeter.store(meter);
        return panel.paint(orbelune::animatedArea());
    };
    const Picture full = withMeter(1.2f);
    EXPECT_TRUE(full.looksLike({420, 172, 0x8B5CF6, 6, "the glow's centre"})) << std::hex << full.at(420, 172);
    EXPECT_TRUE(full.looksLike({305, 172, 0x0A0D16, 3, "beside the glow"})) << std::hex << full.at(305, 172);
    EXPECT_GT(brightness(full.at(420, 172)), brightness(withMeter(0.5f).at(420, 172)));
    EXPECT_GT(brightness(withMeter(0.5f).at(420, 172)), brightness(withMeter(0.0f).at(420, 172)));
}

TEST(EditorFrame, OrbitRingsAtPhaseZero) {
    const Picture frame = Panel().paint();
    // Each ring at a point of its own: blue rings even, violet rings odd.
    const int points[4][2] = {{310, 172}, {420, 122}, {350, 172}, {420, 152}};
    for (int ring = 0; ring < 4; ++ring) {
        const std::uint32_t pixel = frame.at(points[ring][0], points[ring][1]);
        EXPECT_GT(brightness(pixel), editorpixels::kInkLevel) << "ring " << ring;
        EXPECT_EQ(reddish(pixel), ring % 2 == 1) << "ring " << ring << std::hex << ": " << pixel;
    }
}

TEST(EditorKnob, PointerEndsForValuesZeroHalfAndOne) {
    const auto zero = orbelune::knobPointerEnd(130, 165, 46, 0.0f);
    EXPECT_EQ(zero.x, 100.55514f);
    EXPECT_EQ(zero.y, 182.0f);
    const auto half = orbelune::knobPointerEnd(130, 165, 46, 0.5f);
    EXPECT_EQ(half.x, 130.0f);
    EXPECT_EQ(half.y, 131.0f);
    const auto one = orbelune::knobPointerEnd(130, 165, 46, 1.0f);
    // Each product and sum rounded to single precision; computing 130 + 34·cos θ
    // with one rounding (a fused multiply-add, or in double) would give 159.44487.
    EXPECT_EQ(one.x, 159.444855f);
    EXPECT_EQ(one.y, 182.0f);
}

// The "Decay" knob at both ends: its value arc covers none or all of the
// track, its pointer's tip shows between the cap and the arc, and its value
// text, centred under the label, follows.
TEST(EditorKnob, DecayKnobStepsInOrderWithItsGeometry) {
    Panel panel;
    panel.setParameter(0, 0.0f);
    const Picture zero = panel.paint();
    panel.setParameter(0, 1.0f);
    const Picture one = panel.paint();
    // The arc's circle at 180°, 270° and 360°.
    for (const auto& [x, y] : {std::pair{89, 165}, {130, 124}, {171, 165}}) {
        EXPECT_FALSE(reddish(zero.at(x, y))) << "track at " << x << "," << y << std::hex << ": " << zero.at(x, y);
        EXPECT_TRUE(one.looksLike({x, y, 0xC084FC, 40, "the value arc"})) << x << "," << y << std::hex << ": "
                                                                          << one.at(x, y);
    }
    const int tips[2][2] = {{103, 180}, {157, 180}};  // at 31 pixels, 150° and 390°
    EXPECT_GT(brightness(zero.at(tips[0][0], tips[0][1])), 400);
    EXPECT_LT(brightness(zero.at(tips[1][0], tips[1][1])), 100);
    EXPECT_GT(brightness(one.at(tips[1][0], tips[1][1])), 400);
    EXPECT_LT(brightness(one.at(tips[0][0], tips[0][1])), 100);
    EXPECT_GT(brightness(zero.at(84, 165)), brightness(zero.at(95, 165)) + 60);  // the rim

    const TextBox label{80, 218, 180, 232, "\"Decay\" label"};
    const TextBox value{80, 232, 180, 248, "\"Decay\" value"};
    expectText(zero, label, 130.0, 225.0);
    expectText(zero, value, 130.0, 239.0);
    EXPECT_FALSE(reddish(brightest(zero, label)));  // light grey
    EXPECT_TRUE(reddish(brightest(zero, value)));   // the knob's violet
    EXPECT_EQ(zero.ink(label), one.ink(label));
    EXPECT_GT(one.ink(value), zero.ink(value));  // "15.00s" after "0.30s"
}

TEST(EditorTexts, DefaultsShowTheExpectedReadoutAndValues) {
    Panel panel;
    float params[orbelune::kParamCount];
    for (int param = 0; param < orbelune::kParamCount; ++param)
        params[param] = panel.plugin->getParameter(panel.plugin.get(), param);
    wchar_t text[orbelune::kReadoutCharacters];
    orbelune::formatReadout(params, text);
    EXPECT_EQ(std::wstring(text), L"DECAY: 6.91 s \u2022 3D WRAP: 153% \u2022 VELVET DAMP: 40%");
    const wchar_t* values[] = {L"6.91s", L"60%", L"40%", L"153%", L"18 ms", L"35%"};
    const char* labels[] = {"DECAY TIME",       "ROOM / HALL SIZE", "VELVET DAMPING",
                            "3D SPATIAL WIDTH", "PRE-DELAY",        "DRY / WET MIX"};

    // Title and subtitle from the left, the read-out and the footer centred,
    // each knob's label and value centred under it.
    const Picture frame = panel.paint();
    const TextBox title{28, 18, 260, 42, "title"}, subtitle{28, 44, 600, 62, "subtitle"};
    const TextBox readout{262, 234, 578, 254, "read-out"}, footer{60, 494, 780, 514, "footer"};
    expectText(frame, title);
    expectText(frame, subtitle);
    expectText(frame, readout, 420.0);
    expectText(frame, footer, 420.0);
    EXPECT_EQ(brightest(frame, title), 0x38BDF8u);  // the accent
    EXPECT_EQ(brightest(frame, readout), 0x38BDF8u);
    EXPECT_LT(brightness(brightest(frame, subtitle)), 360);  // muted
    EXPECT_LT(brightness(brightest(frame, footer)), 360);
    for (int knob = 0; knob < orbelune::kKnobCount; ++knob) {
        const orbelune::KnobLayoutEntry& entry = orbelune::knobLayout[knob];
        orbelune::formatKnobValue(knob, params, text);
        EXPECT_EQ(std::wstring(text), values[knob]);
        EXPECT_STREQ(orbelune::parameterTable[entry.param].knobCaption, labels[knob]);
        const int below = entry.centreY + entry.radius;
        expectText(frame, {entry.centreX - 80, below + 7, entry.centreX + 80, below + 21, labels[knob]},
                   entry.centreX, below + 14);
        expectText(frame, {entry.centreX - 80, below + 21, entry.centreX + 80, below + 37, "value"}, entry.centreX,
                   below + 28);
    }
    // The footer names the format loaded: "LV2" is shorter than "VST2".
    panel.editor().formatName = L"LV2";
    EXPECT_LT(panel.paint().ink(footer), frame.ink(footer));
}

TEST(EditorTexts, ExtremesAndBypass) {
    float params[orbelune::kParamCount] = {0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f};
    wchar_t text[orbelune::kValueTextCharacters];
    const auto valueOf = [&](int knob) {
        orbelune::formatKnobValue(knob, params, text);
        return std::wstring(text);
    };
    EXPECT_EQ(valueOf(0), L"0.30s");
    EXPECT_EQ(valueOf(3), L"180%");
    EXPECT_EQ(valueOf(4), L"120 ms");
    EXPECT_EQ(valueOf(5), L"0%");
    params[0] = 1.0f;
    EXPECT_EQ(valueOf(0), L"15.00s");
    wchar_t readout[orbelune::kReadoutCharacters];
    orbelune::formatReadout(params, readout);
    EXPECT_EQ(std::wstring(readout), L"DECAY: 15.00 s \u2022 3D WRAP: 180% \u2022 VELVET DAMP: 100%");

    // "Bypass" shows nowhere: the frame is the same whatever its value.
    Panel panel;
    const Picture before = panel.paint();
    panel.setParameter(6, 1.0f);
    EXPECT_EQ(panel.paint().rgb, before.rgb);
}

// With the carried "Inter" gone and none installed, its texts stay undrawn,
// in no other family, and the rest of the panel is all there.
TEST(EditorTexts, MissingFamilyLeavesItsTextsUndrawnWithNoFallback) {
    namespace flat = Gdiplus::DllExports;
    Panel panel;
    Gdiplus::GpFontCollection* cinzelOnly = nullptr;  // the last font carried
    flat::GdipNewPrivateFontCollection(&cinzelOnly);
    const auto cinzel = orbelune::platform::embeddedFont(orbelune::platform::embeddedFontCount() - 1);
    flat::GdipPrivateAddMemoryFont(cinzelOnly, cinzel.data, cinzel.size);
    const auto kept = std::tuple(orbelune::module.fontCollection, orbelune::module.fontCollectionTried);
    orbelune::module.fontCollection = cinzelOnly;
    orbelune::module.fontCollectionTried = true;
    const bool interFound = orbelune::findEditorFontFamily(L"Inter") != nullptr;
    const Picture frame = panel.paint();
    std::tie(orbelune::module.fontCollection, orbelune::module.fontCollectionTried) = kept;
    flat::GdipDeletePrivateFontCollection(&cinzelOnly);

    ASSERT_FALSE(interFound);
    EXPECT_EQ(frame.misses(), "no ink for \"Decay\" label and value, in \"Inter\"\n");
    for (const TextBox& box : {TextBox{28, 44, 600, 62, "subtitle"}, {262, 234, 578, 254, "read-out"},
                               {60, 494, 780, 514, "footer"}, {610, 218, 810, 248, "\"Size\" texts"}})
        EXPECT_EQ(frame.ink(box), 0) << box.what;
}

TEST(EditorFrame, ALargerClientAreaMovesOnlyTheFarStudsAndTheFooter) {
    const Picture frame = Panel().paint(1000, 600);
    EXPECT_EQ(std::count(frame.rgb.begin(), frame.rgb.end(), kUnpainted), 0);
    for (const editorpixels::Spot& spot : editorpixels::kFixedSpots)
        EXPECT_TRUE(spot.x > 800 || frame.looksLike(spot)) << spot.what;
    for (const auto& [x, y] : {std::pair{983, 17}, {17, 583}, {983, 583}})
        EXPECT_TRUE(frame.looksLike({x, y, 0x283041, 3, "a stud"})) << x << "," << y;
    EXPECT_LT(brightness(frame.at(823, 503)), 40);
    expectText(frame, {60, 574, 940, 594, "footer"}, 500.0);
    EXPECT_EQ(frame.ink({60, 494, 780, 514, "the footer's old place"}), 0);
}

}  // namespace
