// The editor's own code, linked in, with real windows: an instance's editor
// opened in an X window of ours and driven through its window procedure, with
// what the window system does (capture, repaints, destruction) observed on the
// server. Run under a virtual display (xvfb-run).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "editor/interaction.h"
#include "editor/painting.h"
#include "unit/test_host.h"
#include "vst2/instance.h"
// After the window declarations, which Xlib's macros (Status, Bool...) would break.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Held for the whole run: a virtual server with no client left resets.
Display* display() {
    static Display* const connection = [] {
        Display* opened = XOpenDisplay(nullptr);
        if (opened == nullptr) {
            std::fputs("no X display: run under xvfb-run\n", stderr);
            std::exit(1);
        }
        return opened;
    }();
    return connection;
}

std::vector<Window> children(Window window) {
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> found;
    if (XQueryTree(display(), window, &root, &up, &list, &count) != 0) found.assign(list, list + count);
    if (list != nullptr) XFree(list);
    return found;
}

WNDCLASSEXA classOf(WNDPROC procedure) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = orbelune::kEditorClassName;
    return windowClass;
}

constexpr unsigned long kMark = 0xFF00FF;  // a colour the panel never shows

// An instance with its editor open in a mapped host window of ours.
struct OpenEditor {
    OpenEditor() {
        stubhost::automations().clear();
        open();
    }
    ~OpenEditor() {
        plugin.close();
        if (parent != 0) XDestroyWindow(display(), parent);
        XSync(display(), False);
    }
    // Opens the editor in a new host window, its first frames (the first
    // paint, then the exposure of the mapped window) done.
    void open() {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        parent = XCreateWindow(display(), DefaultRootWindow(display()), 0, 0, 900, 600, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        XMapRaised(display(), parent);
        XSync(display(), False);
        plugin.dispatch(vst::effEditOpen, 0, 0, host());
        window = instance().editor.window.load();
        deliver();
    }

    orbelune::PluginInstance& instance() const { return *orbelune::instanceOf(plugin.get()); }
    void* host() const { return reinterpret_cast<void*>(parent); }
    void setParameter(int index, float value) const { plugin->setParameter(plugin.get(), index, value); }
    float parameter(int index) const { return plugin->getParameter(plugin.get(), index); }
    LRESULT send(UINT message, int x, int y) const {
        return SendMessageA(window, message, 0, static_cast<LPARAM>(static_cast<std::uint16_t>(x)) |
                                                    static_cast<LPARAM>(static_cast<std::uint16_t>(y)) << 16);
    }
    void press(int x, int y) const { send(WM_LBUTTONDOWN, x, y); }
    void move(int x, int y) const { send(WM_MOUSEMOVE, x, y); }
    void release(int x, int y) const { send(WM_LBUTTONUP, x, y); }
    // What the server has for the window, and the paint it asks for, as in an idle step.
    void deliver() const { orbelune::platform::deliverWindowEvents(window); }

    // A mark on the window, drawn behind the editor's back: a frame that
    // covers it paints it over.
    void mark(int x, int y) const {
        const Window target = orbelune::platform::nativeWindowId(window);
        GC pen = XCreateGC(display(), target, 0, nullptr);
        XSetForeground(display(), pen, kMark);
        XFillRectangle(display(), target, pen, x, y, 2, 2);
        XFreeGC(display(), pen);
        XSync(display(), False);
    }
    bool marked(int x, int y) const {
        const Window target = orbelune::platform::nativeWindowId(window);
        XImage* image = XGetImage(display(), target, x, y, 1, 1, AllPlanes, ZPixmap);
        const bool found = image != nullptr && (XGetPixel(image, 0, 0) & 0xFFFFFF) == kMark;
        if (image != nullptr) XDestroyImage(image);
        return found;
    }
    // Whether `step` and the delivery of what it leaves waiting repaint a
    // point outside the animated panel.
    bool repaints(const std::function<void()>& step = [] {}) const {
        mark(40, 300);
        step();
        deliver();
        return !marked(40, 300);
    }

    testhost::Instance plugin;
    Window parent = 0;
    HWND window = nullptr;
};

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
    editor.press(130, 165 + 46 + 14);
    editor.move(130, 100);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(stubhost::automations().empty());
    EXPECT_FALSE(editor.repaints());
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
    EXPECT_TRUE(editor.repaints([&] { editor.move(700, 375 + 100); }));
    // 0.6f plus the product rounded to -0.5: the float printed as 0.10000002.
    EXPECT_EQ(editor.parameter(5), 0.100000024f);
    // Sideways: same value, reported and repainted again.
    EXPECT_TRUE(editor.repaints([&] { editor.move(640, 375 + 100); }));
    EXPECT_EQ(editor.parameter(5), 0.100000024f);
    ASSERT_EQ(stubhost::automations().size(), 2u);
    for (const auto& call : stubhost::automations()) {
        EXPECT_EQ(call.index, 5);
        EXPECT_EQ(call.value, 0.100000024f);
    }
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
    editor.deliver();  // the drag's own repaint
    const float value = editor.parameter(4);
    EXPECT_FALSE(editor.repaints([&] { editor.move(510, 200); }));
    EXPECT_EQ(editor.parameter(4), value);
    EXPECT_EQ(stubhost::automations().size(), 1u);
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
    XDestroyWindow(display(), editor.parent);  // the host closes its window under the drag
    XSync(display(), False);
    editor.parent = 0;
    for (int call = 0; call < 500 && IsWindow(editor.window); ++call) {  // heard of with the window's next events
        editor.deliver();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(editor.instance().editor.window.load(), nullptr);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    EXPECT_EQ(GetCapture(), nullptr);

    editor.open();
    editor.move(130, 20);  // no press since the reopen
    EXPECT_EQ(editor.parameter(0), 0.45f);
    EXPECT_TRUE(stubhost::automations().empty());
}

TEST(EditorDrag, LosingTheCaptureToAnotherWindowEndsTheDrag) {
    OpenEditor editor;
    OpenEditor other;
    editor.press(130, 165);
    SetCapture(other.window);
    EXPECT_EQ(editor.instance().editor.dragParam, -1);
    editor.move(130, 20);
    EXPECT_TRUE(stubhost::automations().empty());
    ReleaseCapture();
}

TEST(EditorWindow, OpenCreatesTheChildWindowOfTheRegisteredClass) {
    OpenEditor editor;
    ASSERT_NE(editor.window, nullptr);
    EXPECT_EQ(editor.instance().editor.parent, editor.host());
    EXPECT_EQ(children(editor.parent), std::vector<Window>{orbelune::platform::nativeWindowId(editor.window)});
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
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditOpen, 0, 0, editor.host()), 1);
    const HWND second = editor.instance().editor.window.load();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    EXPECT_EQ(children(editor.parent).size(), 1u);
    editor.plugin.close();
    EXPECT_TRUE(children(editor.parent).empty());
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
    OpenEditor second;
    const WNDCLASSEXA editorClass = classOf(orbelune::editorWindowProc);
    EXPECT_EQ(RegisterClassExA(&editorClass), 0);  // it is there, registered by the first open
    second.press(130, 165);
    second.move(130, 145);
    EXPECT_GT(second.parameter(0), 0.45f);
    EXPECT_EQ(first.parameter(0), 0.45f);
    EXPECT_EQ(first.instance().editor.dragParam, -1);
}

TEST(EditorWindow, AFailedRegistrationIsNotRetried) {
    UnregisterClassA(orbelune::kEditorClassName, orbelune::module.moduleHandle);
    orbelune::module.windowClassRegistered = false;
    // Another class of the name makes the editor's registration fail; the
    // window is then made of that class, which knows no editor.
    const WNDCLASSEXA other = classOf(DefWindowProcA);
    ASSERT_NE(RegisterClassExA(&other), 0);
    {
        OpenEditor editor;
        EXPECT_TRUE(orbelune::module.windowClassRegistered);
        EXPECT_EQ(GetWindowLongPtrA(editor.window, GWLP_USERDATA), 0);
        UnregisterClassA(orbelune::kEditorClassName, nullptr);
        EXPECT_EQ(editor.plugin.dispatch(vst::effEditOpen, 0, 0, editor.host()), 0);
        EXPECT_EQ(editor.instance().editor.window.load(), nullptr);
    }
    orbelune::module.windowClassRegistered = false;  // let the next open register again
}

TEST(EditorIdle, PhaseWrapsAfterTheHundredAndEightiethCall) {
    OpenEditor editor;
    for (int call = 0; call < 179; ++call) editor.plugin.dispatch(vst::effEditIdle);
    EXPECT_GT(editor.instance().editor.idlePhase, 6.2f);
    // The idle frame repaints the animated panel's corners and nothing beside them.
    const RECT panel = orbelune::animatedArea();
    const int inside[][2] = {{panel.left, panel.top}, {panel.right - 2, panel.bottom - 2}};
    const int outside[][2] = {{panel.left - 2, panel.top}, {panel.right, panel.bottom - 2}, {40, 300}};
    for (const auto& point : inside) editor.mark(point[0], point[1]);
    for (const auto& point : outside) editor.mark(point[0], point[1]);
    EXPECT_EQ(editor.plugin.dispatch(vst::effEditIdle), 0);
    EXPECT_EQ(editor.instance().editor.idlePhase, 0.016809464f);
    for (const auto& point : inside) EXPECT_FALSE(editor.marked(point[0], point[1])) << point[0] << "," << point[1];
    for (const auto& point : outside) EXPECT_TRUE(editor.marked(point[0], point[1])) << point[0] << "," << point[1];
    EXPECT_EQ(orbelune::advancedIdlePhase(0.0f), 0.035f);
}

// The host's change may come from any thread, so it leaves the window system
// alone: only a request waits in the instance, which the next idle call turns
// into a repaint of the whole window.
TEST(EditorIdle, HostParameterChangesRepaintTheOpenEditor) {
    OpenEditor editor;
    const auto idle = [&] { editor.plugin.dispatch(vst::effEditIdle); };
    editor.setParameter(2, 0.9f);
    EXPECT_TRUE(editor.instance().editor.repaintRequested.load());
    EXPECT_FALSE(editor.repaints());
    EXPECT_TRUE(editor.repaints(idle));
    EXPECT_FALSE(editor.repaints(idle));  // the panel alone again
    EXPECT_TRUE(stubhost::automations().empty());  // the host's own change is not reported back
}

TEST(Lifecycle, ClosingDestroysAnOpenEditorWindowFirst) {
    OpenEditor editor;
    ASSERT_TRUE(IsWindow(editor.window));
    editor.plugin.close();
    EXPECT_FALSE(IsWindow(editor.window));
    EXPECT_TRUE(children(editor.parent).empty());
}

// The host's automation thread moves parameters while its GUI thread idles the
// open editor: the repaint each change asks for reaches the editor's thread
// without either thread touching the other's data unguarded.
TEST(ThreadStorm, AutomationWhileTheEditorIdles) {
    OpenEditor editor;
    vst::AEffect* effect = editor.plugin.get();
    std::atomic<bool> done{false};
    std::thread automation([&] {
        for (int step = 0; step < 5000; ++step)
            effect->setParameter(effect, step % (orbelune::kParamCount - 1), static_cast<float>(step % 100) / 100.0f);
        done = true;
    });
    int idles = 0;
    while (!done.load() || idles < 10) {
        editor.plugin.dispatch(vst::effEditIdle);
        ++idles;
    }
    automation.join();

    effect->setParameter(effect, orbelune::kParamDecay, 0.5f);
    EXPECT_TRUE(editor.repaints([&] { editor.plugin.dispatch(vst::effEditIdle); }));  // the whole window
}

}  // namespace
