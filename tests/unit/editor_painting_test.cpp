#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "editor/interaction.h"
#include "editor/painting.h"
#include "unit/editor_fixture.h"

using editortest::callsTo;
using editortest::OpenEditor;
using Calls = std::vector<standin::DrawingCall>;
using Numbers = std::vector<double>;

namespace {

// The text of a drawn string, without the family the stand-in appends.
std::wstring textOf(const standin::DrawingCall& call) { return call.text.substr(0, call.text.find(L'\t')); }
std::wstring familyOf(const standin::DrawingCall& call) { return call.text.substr(call.text.find(L'\t') + 1); }

std::vector<std::wstring> drawnTexts(const Calls& calls) {
    std::vector<std::wstring> texts;
    for (const auto& call : callsTo(calls, "GdipDrawString")) texts.push_back(textOf(call));
    return texts;
}

TEST(EditorFrame, EverythingCreatedInAFrameIsReleasedInIt) {
    OpenEditor editor;
    ASSERT_EQ(standin::liveDrawingObjects(), 0);
    const Calls calls = editor.paint();
    EXPECT_EQ(standin::liveDrawingObjects(), 0);
    for (const auto& call : calls) {
        if (call.function.rfind("Gdip", 0) == 0) {
            EXPECT_EQ(call.status, 0) << call.function;
        }
    }
    // Forty-odd objects a frame, none cached: a second frame makes them all again.
    const auto created = [](const Calls& frame) {
        int count = 0;
        for (const auto& call : frame) count += call.function.find("Create") != std::string::npos ? 1 : 0;
        return count;
    };
    EXPECT_GT(created(calls), 40);
    EXPECT_EQ(created(editor.paint()), created(calls));
}

// An idle frame: only what reaches into the panel is drawn, clipped to it, and
// only the panel goes to the screen.
TEST(EditorFrame, AnIdleFrameDrawsOnlyWhatReachesThePanel) {
    OpenEditor editor;
    standin::clearDrawingCalls();
    const RECT panel = orbelune::animatedArea();
    orbelune::paintEditor(editor.instance().editor, reinterpret_cast<HDC>(editor.window), RECT{0, 0, 840, 520}, panel);
    const Calls calls = standin::drawingCalls();
    const Numbers area{double(panel.left), double(panel.top), double(panel.right - panel.left),
                       double(panel.bottom - panel.top)};
    ASSERT_EQ(callsTo(calls, "GdipSetClipRectI").size(), 1u);
    EXPECT_EQ(callsTo(calls, "GdipSetClipRectI")[0].arguments, (Numbers{area[0], area[1], area[2], area[3], 0}));
    const Calls copies = callsTo(calls, "BitBlt");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(Numbers(copies[0].arguments.begin(), copies[0].arguments.begin() + 6),
              (Numbers{area[0], area[1], area[2], area[3], area[0], area[1]}));
    // The background fills only the area, with a pixel to spare so that no
    // pixel of it is left half covered.
    ASSERT_FALSE(callsTo(calls, "GdipFillRectangleI").empty());
    EXPECT_EQ(callsTo(calls, "GdipFillRectangleI")[0].arguments,
              (Numbers{area[0] - 1, area[1] - 1, area[2] + 2, area[3] + 2, -1}));
    EXPECT_EQ(drawnTexts(calls).size(), 1u);  // the read-out
    EXPECT_EQ(callsTo(calls, "GdipDrawArcI").size(), 0u);  // no knob
    EXPECT_EQ(callsTo(calls, "GdipDrawEllipse").size(), 4u);  // the rings
    EXPECT_EQ(standin::liveDrawingObjects(), 0);
}

TEST(EditorFrame, DrawsOffScreenAndCopiesOnceAtTheEnd) {
    OpenEditor editor;
    const Calls calls = editor.paint();
    ASSERT_GE(calls.size(), 6u);
    EXPECT_EQ(calls[0].function, "CreateCompatibleDC");
    EXPECT_EQ(calls[1].function, "CreateCompatibleBitmap");
    EXPECT_EQ(calls[1].arguments, (Numbers{840, 520}));
    EXPECT_EQ(calls[2].function, "SelectObject");
    EXPECT_EQ(calls[3].function, "GdipCreateFromHDC");
    EXPECT_EQ(calls[4].arguments, (Numbers{4}));  // SmoothingModeAntiAlias
    EXPECT_EQ(calls[5].arguments, (Numbers{5}));  // TextRenderingHintClearTypeGridFit

    const Calls copies = callsTo(calls, "BitBlt");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].arguments, (Numbers{0, 0, 840, 520, 0, 0, double(SRCCOPY), 0, 1}));
    std::size_t lastDrawing = 0;
    std::size_t copy = 0;
    for (std::size_t index = 0; index < calls.size(); ++index) {
        if (calls[index].function.rfind("GdipDraw", 0) == 0 || calls[index].function.rfind("GdipFill", 0) == 0)
            lastDrawing = index;
        if (calls[index].function == "BitBlt") copy = index;
    }
    EXPECT_GT(copy, lastDrawing);
}

TEST(EditorFrame, BackgroundStudsAndVisualPanel) {
    OpenEditor editor;
    const Calls calls = editor.paint();
    const Calls gradients = callsTo(calls, "GdipCreateLineBrushFromRectI");
    ASSERT_EQ(gradients.size(), 7u);  // the background and six knob bodies
    EXPECT_EQ(gradients[0].arguments, (Numbers{0, 0, 840, 520, 0xFF070A11, 0xFF030407, 1, 0}));

    const Calls rectangles = callsTo(calls, "GdipFillRectangleI");
    ASSERT_EQ(rectangles.size(), 2u);
    EXPECT_EQ(rectangles[0].arguments, (Numbers{0, 0, 840, 520, -1}));
    EXPECT_EQ(rectangles[1].arguments, (Numbers{260, 85, 320, 175, 0xFF0A0D16}));
    const Calls outlines = callsTo(calls, "GdipDrawRectangleI");
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_EQ(outlines[0].arguments, (Numbers{260, 85, 320, 175, 0x5038BDF8, 1.2f}));

    const Calls discs = callsTo(calls, "GdipFillEllipseI");
    ASSERT_GE(discs.size(), 4u);
    EXPECT_EQ(discs[0].arguments, (Numbers{12, 12, 10, 10, 0xFF283041}));
    EXPECT_EQ(discs[1].arguments, (Numbers{818, 12, 10, 10, 0xFF283041}));
    EXPECT_EQ(discs[2].arguments, (Numbers{12, 498, 10, 10, 0xFF283041}));
    EXPECT_EQ(discs[3].arguments, (Numbers{818, 498, 10, 10, 0xFF283041}));
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

    OpenEditor editor;
    editor.instance().plugin.outputMeter.store(1.2f);
    const Calls calls = editor.paint();
    EXPECT_EQ(callsTo(calls, "GdipAddPathEllipseI")[0].arguments, (Numbers{310, 105, 220, 135}));
    EXPECT_EQ(callsTo(calls, "GdipCreatePath")[0].arguments, (Numbers{0}));
    EXPECT_EQ(callsTo(calls, "GdipSetPathGradientCenterColor")[0].arguments, (Numbers{0xFF8B5CF6}));
    EXPECT_EQ(callsTo(calls, "GdipSetPathGradientSurroundColorsWithCount")[0].arguments, (Numbers{1, 0}));
    EXPECT_EQ(callsTo(calls, "GdipFillPath").size(), 1u);
}

TEST(EditorFrame, OrbitRingsAtPhaseZero) {
    OpenEditor editor;
    const Calls rings = callsTo(editor.paint(), "GdipDrawEllipse");
    ASSERT_EQ(rings.size(), 4u);
    EXPECT_EQ(rings[0].arguments, (Numbers{310, 137.5, 220, 70, 0xA038BDF8, 1.4f}));
    EXPECT_EQ(rings[1].arguments, (Numbers{330, 122.5, 180, 100, 0xA0C084FC, 1.4f}));
    EXPECT_EQ(rings[2].arguments, (Numbers{350, 137.5, 140, 70, 0xA038BDF8, 1.4f}));
    EXPECT_EQ(rings[3].arguments, (Numbers{330, 152.5, 180, 40, 0xA0C084FC, 1.4f}));
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

TEST(EditorKnob, DecayKnobStepsInOrderWithItsGeometry) {
    OpenEditor editor;
    editor.setParameter(0, 0.0f);
    const Calls calls = editor.paint();
    // The first knob's drawing calls follow the read-out.
    std::vector<standin::DrawingCall> knob;
    bool started = false;
    for (const auto& call : calls) {
        if (call.function == "GdipCreateLineBrushFromRectI" && call.arguments[0] == 84) started = true;
        if (started && (call.function.rfind("GdipDraw", 0) == 0 || call.function.rfind("GdipFill", 0) == 0))
            knob.push_back(call);
        if (knob.size() == 8) break;
    }
    ASSERT_EQ(knob.size(), 8u);
    EXPECT_EQ(callsTo(calls, "GdipCreateLineBrushFromRectI")[1].arguments,
              (Numbers{84, 119, 92, 92, 0xFF1A202E, 0xFF0A0C12, 2, 0}));
    EXPECT_EQ(knob[0].function, "GdipFillEllipseI");
    EXPECT_EQ(knob[0].arguments, (Numbers{84, 119, 92, 92, -1}));
    EXPECT_EQ(knob[1].arguments, (Numbers{84, 119, 92, 92, 0x78FFFFFF, 1.5}));
    EXPECT_EQ(knob[2].arguments, (Numbers{89, 124, 82, 82, 150, 240, 0x3CFFFFFF, 4}));
    EXPECT_EQ(knob[3].arguments, (Numbers{89, 124, 82, 82, 150, 0, 0xFFC084FC, 4.5}));
    EXPECT_EQ(knob[4].function, "GdipDrawLine");
    EXPECT_EQ(knob[4].arguments, (Numbers{130, 165, 100.55514f, 182, 0xFFFFFFFF, 2.5}));
    EXPECT_EQ(knob[5].arguments, (Numbers{102, 137, 56, 56, 0xFF0E1118}));
    // Label and value centred both ways, 14 and 28 pixels below the disc.
    EXPECT_EQ(knob[6].arguments, (Numbers{130, 225, 0, 0, 10, 1, 0xDCC8D2E6, 1, 1}));
    EXPECT_EQ(textOf(knob[6]), L"DECAY TIME");
    EXPECT_EQ(familyOf(knob[6]), L"Inter");
    EXPECT_EQ(knob[7].arguments, (Numbers{130, 239, 0, 0, 11.5, 0, 0xFFC084FC, 1, 1}));
    EXPECT_EQ(textOf(knob[7]), L"0.30s");

    // Full value: the arc covers the track.
    editor.setParameter(0, 1.0f);
    EXPECT_EQ(callsTo(editor.paint(), "GdipDrawArcI")[1].arguments,
              (Numbers{89, 124, 82, 82, 150, 240, 0xFFC084FC, 4.5}));
}

TEST(EditorTexts, DefaultsShowTheExpectedReadoutAndValues) {
    OpenEditor editor;
    const Calls calls = editor.paint();
    const std::vector<std::wstring> texts = drawnTexts(calls);
    ASSERT_EQ(texts.size(), 16u);  // title, subtitle, read-out, six labels and values, footer
    EXPECT_EQ(texts[0], L"DREVON ORBELUNE\u2122");
    EXPECT_EQ(texts[1], L"3D HOLOGRAPHIC PRIME REVERB \u2022 EULER SIEVE (172) & \u03A6 GOLDEN MATRIX");
    EXPECT_EQ(texts[2], L"DECAY: 6.91 s \u2022 3D WRAP: 153% \u2022 VELVET DAMP: 40%");
    const wchar_t* values[] = {L"6.91s", L"60%", L"40%", L"153%", L"18 ms", L"35%"};
    const wchar_t* labels[] = {L"DECAY TIME",       L"ROOM / HALL SIZE", L"VELVET DAMPING",
                               L"3D SPATIAL WIDTH", L"PRE-DELAY",        L"DRY / WET MIX"};
    for (int knob = 0; knob < orbelune::kKnobCount; ++knob) {
        EXPECT_EQ(texts[3 + 2 * knob], labels[knob]);
        EXPECT_EQ(texts[4 + 2 * knob], values[knob]);
    }
    EXPECT_EQ(texts[15], L"DREVON AUDIO TECHNOLOGIES \u2022 64-BIT NATIVE VST2 \u2022 ZERO LATENCY FDN MATRIX");

    const Calls strings = callsTo(calls, "GdipDrawString");
    EXPECT_EQ(strings[0].arguments, (Numbers{28, 20, 0, 0, 18, 1, 0xFF38BDF8, -1, -1}));
    EXPECT_EQ(familyOf(strings[0]), L"Cinzel");
    EXPECT_EQ(strings[1].arguments, (Numbers{29, 44, 0, 0, 9.5, 1, 0xB48C96AF, -1, -1}));
    EXPECT_EQ(strings[2].arguments, (Numbers{420, 238, 0, 0, 10, 1, 0xFF38BDF8, 1, 0}));
    EXPECT_EQ(strings[15].arguments, (Numbers{420, 498, 0, 0, 9, 0, 0xB48C96AF, 1, 0}));
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
    OpenEditor editor;
    const std::vector<std::wstring> before = drawnTexts(editor.paint());
    editor.setParameter(6, 1.0f);
    EXPECT_EQ(drawnTexts(editor.paint()), before);
}

TEST(EditorTexts, MissingFamilyLeavesItsTextsUndrawnWithNoFallback) {
    OpenEditor editor;
    standin::setInstalledFontFamilies({L"Cinzel"});
    const Calls calls = editor.paint();
    standin::setInstalledFontFamilies({L"Inter", L"Cinzel"});

    for (const auto& lookup : callsTo(calls, "GdipCreateFontFamilyFromName"))
        EXPECT_TRUE(lookup.text == L"Inter" || lookup.text == L"Cinzel") << "looked up another family";
    int drawn = 0;
    for (const auto& call : callsTo(calls, "GdipDrawString")) drawn += call.status == 0 ? 1 : 0;
    EXPECT_EQ(drawn, 1);  // only the title, in "Cinzel"
    EXPECT_EQ(callsTo(calls, "GdipDrawArcI").size(), 12u);  // the rest of the panel is still there
    EXPECT_EQ(callsTo(calls, "BitBlt").size(), 1u);
    EXPECT_EQ(standin::liveDrawingObjects(), 0);
}

TEST(EditorFrame, ALargerClientAreaMovesOnlyTheFarStudsAndTheFooter) {
    OpenEditor editor;
    const HWND wide = CreateWindowExA(0, orbelune::kEditorClassName, "", 0, 0, 0, 1000, 600, editor.parent, nullptr,
                                      nullptr, &editor.instance().editor);
    const HWND original = editor.instance().editor.window.exchange(wide);
    standin::clearDrawingCalls();
    SendMessageA(wide, WM_PAINT, 0, 0);
    const Calls calls = standin::drawingCalls();
    const Calls discs = callsTo(calls, "GdipFillEllipseI");
    EXPECT_EQ(discs[1].arguments[0], 978);
    EXPECT_EQ(discs[3].arguments[1], 578);
    EXPECT_EQ(callsTo(calls, "GdipDrawString")[15].arguments[0], 500);
    EXPECT_EQ(callsTo(calls, "GdipDrawString")[15].arguments[1], 578);
    EXPECT_EQ(callsTo(calls, "GdipDrawRectangleI")[0].arguments[0], 260);
    EXPECT_EQ(callsTo(calls, "BitBlt")[0].arguments[2], 1000);
    DestroyWindow(wide);
    EXPECT_EQ(editor.instance().editor.window.load(), nullptr);
    editor.instance().editor.window.store(original);  // so that closing the instance takes its window along
}

}  // namespace
