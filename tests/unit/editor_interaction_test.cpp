#include <gtest/gtest.h>

#include "editor/interaction.h"
#include "editor/painting.h"
#include "unit/editor_fixture.h"

using editortest::OpenEditor;

namespace {

TEST(EditorPress, CircleEdgeCountsAsInsideInExactIntegers) {
    EXPECT_EQ(orbelune::knobAt(130 + 46, 165), 0);          // "Decay", on the edge
    EXPECT_EQ(orbelune::knobAt(130 + 47, 165), -1);
    EXPECT_EQ(orbelune::knobAt(700, 375 - 40), 5);          // "Mix", top of the edge
    EXPECT_EQ(orbelune::knobAt(320 + 24, 375 + 32), 3);     // 24² + 32² = 40² exactly
    EXPECT_EQ(orbelune::knobAt(320 + 25, 375 + 32), -1);
    EXPECT_EQ(orbelune::knobAt(130, 165 + 46 + 14), -1);    // on the label under the knob
    EXPECT_EQ(orbelune::knobAt(420, 172), -1);              // the visual panel
}

TEST(EditorPress, PressOnAKnobStartsADragAndCapturesTheMouse) {
    OpenEditor editor;
    editor.press(130 + 46, 165);
    EXPECT_EQ(editor.instance().editor.dragParam, 0);
    EXPECT_EQ(editor.instance().editor.dragStartY, 165);
    EXPECT_EQ(editor.instance().editor.dragStartValue, 0.45f);
    EXPECT_EQ(GetCapture(), editor.window);
    EXPECT_TRUE(stubhost::automations().empty());  // a press alone reports nothing
    editor.release(130, 165);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST(EditorPress, PressOutsideEveryKnobDoesNothing) {
    OpenEditor editor;
    const int repaints = standin::invalidationsOf(editor.window);
    editor.press(130, 165 + 46 + 14);
    editor.move(130, 100);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(stubhost::automations().empty());
    EXPECT_EQ(standin::invalidationsOf(editor.window), repaints);
    EXPECT_EQ(editor.parameter(0), 0.45f);
}

TEST(EditorDrag, DecayFromZeroUpTwoHundredPixelsReachesExactlyOne) {
    OpenEditor editor;
    editor.setParameter(0, 0.0f);
    editor.press(130, 165);
    editor.move(130, 165 - 200);
    EXPECT_EQ(editor.parameter(0), 1.0f);
    editor.move(130, 165 - 260);
    EXPECT_EQ(editor.parameter(0), 1.0f);
    editor.move(130, 165 - 199);
    EXPECT_LT(editor.parameter(0), 1.0f);
    ASSERT_EQ(stubhost::automations().size(), 3u);
    EXPECT_EQ(stubhost::automations()[0].index, 0);
    EXPECT_EQ(stubhost::automations()[0].value, 1.0f);
    EXPECT_EQ(stubhost::automations()[2].value, editor.parameter(0));
}

TEST(EditorDrag, MixDownOneHundredPixelsInSinglePrecision) {
    OpenEditor editor;
    editor.setParameter(5, 0.6f);
    editor.press(700, 375);
    const int repaints = standin::invalidationsOf(editor.window);
    editor.move(700, 375 + 100);
    // 0.6f plus the product rounded to -0.5: the float printed as 0.10000002.
    EXPECT_EQ(editor.parameter(5), 0.100000024f);
    editor.move(640, 375 + 100);  // sideways: same value, reported and repainted again
    EXPECT_EQ(editor.parameter(5), 0.100000024f);
    ASSERT_EQ(stubhost::automations().size(), 2u);
    for (const auto& call : stubhost::automations()) {
        EXPECT_EQ(call.index, 5);
        EXPECT_EQ(call.value, 0.100000024f);
    }
    EXPECT_EQ(standin::invalidationsOf(editor.window), repaints + 2);
    EXPECT_FALSE(standin::lastInvalidationErased(editor.window));
}

TEST(EditorDrag, EverySizeStepRequestsARebuildEvenWhenClamped) {
    OpenEditor editor;
    editor.setParameter(1, 1.0f);
    editor.press(710, 165);
    for (int step = 0; step < 3; ++step) {
        editor.instance().plugin.engine.rebuildRequested.store(0);
        editor.move(710, 165 - 50 * step);
        EXPECT_EQ(editor.instance().plugin.engine.rebuildRequested.load(), 1) << "step " << step;
        EXPECT_EQ(editor.parameter(1), 1.0f);
    }
    // Other knobs leave the delay lines alone.
    editor.release(710, 165);
    editor.instance().plugin.engine.rebuildRequested.store(0);
    editor.press(130, 375);
    editor.move(130, 300);
    EXPECT_EQ(editor.instance().plugin.engine.rebuildRequested.load(), 0);
}

TEST(EditorDrag, MovesAfterTheReleaseChangeNothing) {
    OpenEditor editor;
    editor.press(510, 375);
    editor.move(510, 355);
    editor.release(510, 355);
    const float value = editor.parameter(4);
    const int repaints = standin::invalidationsOf(editor.window);
    editor.move(510, 200);
    EXPECT_EQ(editor.parameter(4), value);
    EXPECT_EQ(stubhost::automations().size(), 1u);
    EXPECT_EQ(standin::invalidationsOf(editor.window), repaints);
    EXPECT_EQ(editor.instance().editor.dragStartY, 375);  // kept after the release
}

TEST(EditorDrag, WithoutAHostCallbackTheValueIsStillStored) {
    OpenEditor editor;
    editor.instance().hostCallback = nullptr;
    editor.press(320, 375);
    editor.move(320, 375 + 20);
    EXPECT_LT(editor.parameter(3), 0.85f);
    editor.instance().hostCallback = stubhost::hostCallback;
}

TEST(EditorDrag, DestroyingTheWindowMidDragEndsTheDrag) {
    OpenEditor editor;
    editor.press(130, 165);
    DestroyWindow(editor.parent);  // the host closes its window under the drag
    EXPECT_EQ(editor.instance().editor.window.load(), nullptr);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    EXPECT_EQ(GetCapture(), nullptr);

    editor.parent = standin::createBareWindow();
    editor.plugin.dispatch(vst::effEditOpen, 0, 0, editor.parent);
    editor.window = editor.instance().editor.window.load();
    editor.move(130, 20);  // no press since the reopen
    EXPECT_EQ(editor.parameter(0), 0.45f);
    EXPECT_TRUE(stubhost::automations().empty());
}

TEST(EditorDrag, LosingTheCaptureToAnotherWindowEndsTheDrag) {
    OpenEditor editor;
    editor.press(130, 165);
    SetCapture(editor.parent);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    editor.move(130, 20);
    EXPECT_TRUE(stubhost::automations().empty());
    ReleaseCapture();
}

TEST(EditorWindow, OpenCreatesTheChildWindowOfTheRegisteredClass) {
    OpenEditor editor;
    ASSERT_NE(editor.window, nullptr);
    EXPECT_EQ(editor.instance().editor.parent, editor.parent);
    EXPECT_EQ(standin::parentOf(editor.window), editor.parent);
    EXPECT_TRUE(orbelune::module.windowClassRegistered);
    EXPECT_EQ(GetWindowLongPtrA(editor.window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&editor.instance().editor));
    RECT client{};
    GetClientRect(editor.window, &client);
    EXPECT_EQ(client.right, 840);
    EXPECT_EQ(client.bottom, 520);
    EXPECT_EQ(SendMessageA(editor.window, WM_ERASEBKGND, 0, 0), 1);

    vst::ERect* rect = nullptr;
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(rect, &editor.instance().editorRect);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 520);
    EXPECT_EQ(rect->right, 840);
}

TEST(EditorWindow, SecondOpenReplacesTheFirstWindow) {
    OpenEditor editor;
    const HWND first = editor.window;
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditOpen, 0, 0, editor.parent), 1);
    const HWND second = editor.instance().editor.window.load();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    EXPECT_EQ(standin::windowsOfClass(orbelune::kEditorClassName), 1);
    editor.plugin.close();
    EXPECT_EQ(standin::windowsOfClass(orbelune::kEditorClassName), 0);
}

TEST(EditorWindow, CloseDestroysTheWindowAndClosingTwiceIsHarmless) {
    OpenEditor editor;
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditClose), 1);
    EXPECT_FALSE(IsWindow(editor.window));
    EXPECT_EQ(editor.instance().editor.window.load(), nullptr);
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditClose), 1);
    // With no editor: idle changes nothing, the rectangle is still handed out.
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(editor.instance().editor.idlePhase, 0.0f);
    vst::ERect* rect = nullptr;
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 840);
}

TEST(EditorWindow, TwoInstancesShareTheClassAndDriveOnlyThemselves) {
    OpenEditor first;
    const int registered = standin::counters().classesRegistered;
    OpenEditor second;
    EXPECT_EQ(standin::counters().classesRegistered, registered);
    second.press(130, 165);
    second.move(130, 145);
    EXPECT_GT(second.parameter(0), 0.45f);
    EXPECT_EQ(first.parameter(0), 0.45f);
    EXPECT_EQ(first.instance().editor.dragParam, -1);
}

TEST(EditorWindow, AFailedRegistrationIsNotRetried) {
    UnregisterClassA(orbelune::kEditorClassName, orbelune::module.moduleHandle);
    orbelune::module.windowClassRegistered = false;
    standin::failClassRegistrations(true);
    {
        OpenEditor editor;
        EXPECT_EQ(editor.window, nullptr);
        EXPECT_TRUE(orbelune::module.windowClassRegistered);
        EXPECT_EQ(editor.plugin.dispatch(vst::effEditOpen, 0, 0, editor.parent), 0);
    }
    standin::failClassRegistrations(false);
    orbelune::module.windowClassRegistered = false;  // let the next open register again
}

TEST(EditorIdle, PhaseWrapsAfterTheHundredAndEightiethCall) {
    OpenEditor editor;
    for (int call = 0; call < 179; ++call) editor.plugin.dispatch(vst::effEditIdle);
    EXPECT_GT(editor.instance().editor.idlePhase, 6.2f);
    const int repaints = standin::invalidationsOf(editor.window);
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(editor.instance().editor.idlePhase, 0.016809464f);
    EXPECT_EQ(standin::invalidationsOf(editor.window), repaints + 1);
    const RECT panel = orbelune::animatedArea();
    const RECT asked = standin::lastInvalidatedArea(editor.window);
    EXPECT_EQ(std::vector<LONG>({asked.left, asked.top, asked.right, asked.bottom}),
              std::vector<LONG>({panel.left, panel.top, panel.right, panel.bottom}));
    EXPECT_EQ(orbelune::advancedIdlePhase(0.0f), 0.035f);
}

// The host's change may come from any thread, so it only leaves a request that
// the next idle call turns into a repaint of the whole window.
TEST(EditorIdle, HostParameterChangesRepaintTheOpenEditor) {
    OpenEditor editor;
    const int repaints = standin::invalidationsOf(editor.window);
    editor.setParameter(2, 0.9f);
    EXPECT_EQ(standin::invalidationsOf(editor.window), repaints);
    editor.plugin.dispatch(vst::effEditIdle);
    EXPECT_EQ(standin::invalidationsOf(editor.window), repaints + 1);
    EXPECT_EQ(standin::lastInvalidatedArea(editor.window).bottom, 520);
    EXPECT_FALSE(standin::lastInvalidationErased(editor.window));
    editor.plugin.dispatch(vst::effEditIdle);
    EXPECT_EQ(standin::lastInvalidatedArea(editor.window).bottom, orbelune::animatedArea().bottom);
    EXPECT_TRUE(stubhost::automations().empty());  // the host's own change is not reported back
}

}  // namespace
