// The real Linux plug-in's editor inside an X window of ours, as a VST 2 host
// embeds it: opened in a parent, driven by real pointer events (XTest), idled,
// captured to a PNG and checked at pixels whose colours are fixed, then closed
// with nothing left behind. Run under a virtual display (xvfb-run).
//
// The screenshot goes to $ORBELUNE_EDITOR_PNG (default: editor-linux.png).
#include <gtest/gtest.h>
// Xlib's macros (None, Bool, Status...) would clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <dlfcn.h>
#include <X11/Xatom.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "clap/host_objects.h"
#include "editor_host.h"
#include "vst2/aeffect.h"
#include "vst3/abi.h"
#include "vst3/host_objects.h"

namespace {

constexpr int kEditorWidth = 840;
constexpr int kEditorHeight = 520;
constexpr int kDecayX = 130;
constexpr int kDecayY = 165;

using stubhost::hostCallback;

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

class EditorX11 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Held for the whole run: a virtual server with no client left resets,
        // and refuses connections while it does.
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "no X display: run under xvfb-run";
        library = dlopen(ORBELUNE_PLUGIN_BINARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(library, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
    }
    static void TearDownTestSuite() {
        if (library != nullptr) dlclose(library);
        if (display != nullptr) XCloseDisplay(display);
    }

    void SetUp() override {
        ASSERT_NE(display, nullptr);
        parent = createParent();
        stubhost::automations().clear();
        stubhost::sizeRequests().clear();
        effect = entry(hostCallback);
        ASSERT_NE(effect, nullptr);
        dispatch(vst::effOpen);
    }
    void TearDown() override {
        if (effect != nullptr) dispatch(vst::effClose);
        if (parent != 0) XDestroyWindow(display, parent);
        XSync(display, False);
    }

    Window createParent(int width = 900, int height = 600) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;  // placed exactly where we say
        Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 0, CopyFromParent,
                                      InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        XMapRaised(display, window);
        XSync(display, False);
        return window;
    }

    vst::intptr dispatch(vst::int32 opcode, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
    }
    vst::intptr openIn(Window window) { return dispatch(vst::effEditOpen, reinterpret_cast<void*>(window)); }
    float parameter(int index) const { return effect->getParameter(effect, index); }

    std::vector<Window> children(Window window) const {
        Window root = 0;
        Window up = 0;
        Window* list = nullptr;
        unsigned count = 0;
        std::vector<Window> found;
        if (XQueryTree(display, window, &root, &up, &list, &count) != 0) found.assign(list, list + count);
        if (list != nullptr) XFree(list);
        return found;
    }

    Window editorWindow() const {
        const std::vector<Window> found = children(parent);
        return found.size() == 1 ? found.front() : 0;
    }

    // Idle calls, as a host's timer makes them, until `done` holds or a second
    // passes: the server delivers our fake input to the editor's own connection.
    bool idleUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        do {
            dispatch(vst::effEditIdle);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }
    void idleFor(int calls) {
        for (int call = 0; call < calls; ++call) {
            dispatch(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    void pointerTo(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XSync(display, False);
    }
    void button(bool pressed) {
        XTestFakeButtonEvent(display, 1, pressed ? True : False, CurrentTime);
        XSync(display, False);
    }

    struct Capture : editorpixels::Picture {
        bool savePng(const std::string& path) const {
            cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
            auto* rows = cairo_image_surface_get_data(image);
            const int stride = cairo_image_surface_get_stride(image);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    reinterpret_cast<std::uint32_t*>(rows + static_cast<std::ptrdiff_t>(y) * stride)[x] = at(x, y);
            cairo_surface_mark_dirty(image);
            const bool saved = cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS;
            cairo_surface_destroy(image);
            return saved;
        }
    };

    Capture capture(Window window, int width = kEditorWidth, int height = kEditorHeight) const {
        Capture result;
        XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
        if (image == nullptr) return result;
        result.width = width;
        result.height = height;
        result.rgb.resize(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                result.rgb[static_cast<std::size_t>(y) * width + x] =
                    static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
        XDestroyImage(image);
        return result;
    }

    static inline void* library = nullptr;
    static inline vst::PluginEntryProc entry = nullptr;
    static inline Display* display = nullptr;
    Window parent = 0;
    vst::AEffect* effect = nullptr;
};

TEST_F(EditorX11, OpensAsAChildOfTheHostWindowAndRefusesWhatIsNoWindow) {
    EXPECT_EQ(effect->flags, vst::effFlagsHasEditor | vst::effFlagsCanReplacing);
    vst::ERect* rect = nullptr;
    ASSERT_EQ(dispatch(vst::effEditGetRect, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->right, kEditorWidth);
    EXPECT_EQ(rect->bottom, kEditorHeight);

    const int descriptors = openDescriptors();
    const Window gone = createParent();
    XDestroyWindow(display, gone);
    XSync(display, False);
    EXPECT_EQ(openIn(gone), 0);  // an id that names no window any more
    EXPECT_EQ(openIn(0), 0);
    const char* realDisplay = std::getenv("DISPLAY");
    const std::string kept = realDisplay != nullptr ? realDisplay : "";
    setenv("DISPLAY", ":31999", 1);  // no server there
    EXPECT_EQ(openIn(parent), 0);
    setenv("DISPLAY", kept.c_str(), 1);
    EXPECT_TRUE(children(parent).empty());
    EXPECT_EQ(openDescriptors(), descriptors);

    ASSERT_EQ(openIn(parent), 1);
    const Window editor = editorWindow();
    ASSERT_NE(editor, 0u);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, editor, &attributes), 0);
    EXPECT_EQ(attributes.width, kEditorWidth);
    EXPECT_EQ(attributes.height, kEditorHeight);
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(dispatch(vst::effEditClose), 1);
    EXPECT_TRUE(children(parent).empty());
}

TEST_F(EditorX11, DragsDecayWithRealPointerEventsAndIgnoresAPressOutsideTheKnobs) {
    ASSERT_EQ(openIn(parent), 1);
    idleFor(3);
    ASSERT_EQ(parameter(0), 0.45f);

    pointerTo(kDecayX, kDecayY);
    button(true);
    pointerTo(kDecayX, kDecayY - 50);
    EXPECT_TRUE(idleUntil([&] { return parameter(0) != 0.45f; }));
    button(false);
    idleFor(5);
    EXPECT_EQ(parameter(0), 0.699999988f);
    ASSERT_FALSE(stubhost::automations().empty());
    EXPECT_EQ(stubhost::automations().back().index, 0);
    EXPECT_EQ(stubhost::automations().back().value, 0.699999988f);

    // Released: moving on changes nothing.
    pointerTo(kDecayX, kDecayY + 100);
    idleFor(5);
    EXPECT_EQ(parameter(0), 0.699999988f);

    const std::size_t heard = stubhost::automations().size();
    float before[7];
    for (int index = 0; index < 7; ++index) before[index] = parameter(index);
    pointerTo(420, 480);  // between the knobs, under the panel
    button(true);
    pointerTo(420, 300);
    idleFor(10);
    button(false);
    idleFor(5);
    for (int index = 0; index < 7; ++index) EXPECT_EQ(parameter(index), before[index]) << "parameter " << index;
    EXPECT_EQ(stubhost::automations().size(), heard);
    pointerTo(2000, 2000);
}

// The picture agrees with the Windows build's at the pixels whose colours are
// fixed; idle frames, which repaint only the panel, add up to a whole frame.
TEST_F(EditorX11, PaintsThePanelAndItsTextsFromTheFontsItCarries) {
    ASSERT_EQ(openIn(parent), 1);
    idleFor(12);
    const Capture picture = capture(editorWindow());
    ASSERT_EQ(picture.width, kEditorWidth);
    const char* path = std::getenv("ORBELUNE_EDITOR_PNG");
    EXPECT_TRUE(picture.savePng(path != nullptr ? path : "editor-linux.png"));
    EXPECT_EQ(picture.misses(), "");

    ASSERT_EQ(dispatch(vst::effEditClose), 1);
    ASSERT_EQ(openIn(parent), 1);  // its first frame is whole, at the same phase
    const Capture whole = capture(editorWindow());
    int differing = 0;
    for (std::size_t index = 0; index < whole.rgb.size(); ++index) differing += whole.rgb[index] != picture.rgb[index];
    EXPECT_EQ(differing, 0);
}

TEST_F(EditorX11, SurvivesTheHostDestroyingItsWindowAndLeavesNothingOverManyCycles) {
    ASSERT_EQ(openIn(parent), 1);
    idleFor(2);
    XDestroyWindow(display, parent);
    XSync(display, False);
    parent = 0;
    idleFor(3);
    EXPECT_EQ(dispatch(vst::effEditClose), 1);

    parent = createParent();
    const int descriptors = openDescriptors();
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(openIn(parent), 1) << "cycle " << cycle;
        if (cycle % 100 == 0) dispatch(vst::effEditIdle);
        ASSERT_EQ(dispatch(vst::effEditClose), 1);
    }
    EXPECT_TRUE(children(parent).empty());
    EXPECT_EQ(openDescriptors(), descriptors);

    // Closing the instance with its editor open takes the window with it.
    ASSERT_EQ(openIn(parent), 1);
    dispatch(vst::effClose);
    effect = nullptr;
    EXPECT_TRUE(children(parent).empty());
}

}  // namespace

// The VST 3 bundle's editor, as a Linux VST 3 host shows it: a view attached
// to the host's window, driven by the host's run loop (a timer, and a watch on
// the view's X connection), reporting a drag as an edit gesture.
namespace vst3view {

using namespace vst3;

struct RunLoop final : IRunLoop {
    ITimerHandler* timer = nullptr;
    IEventHandler* events = nullptr;
    int descriptor = -1;
    tresult queryInterface(const TUID iid, void** object) override {
        *object = sameUid(iid, kIRunLoopIid) ? static_cast<IRunLoop*>(this) : nullptr;
        return *object != nullptr ? kResultOk : kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult registerEventHandler(IEventHandler* handler, int fd) override {
        events = handler;
        descriptor = fd;
        return kResultOk;
    }
    tresult unregisterEventHandler(IEventHandler*) override {
        events = nullptr;
        return kResultOk;
    }
    tresult registerTimer(ITimerHandler* handler, uint64) override {
        timer = handler;
        return kResultOk;
    }
    tresult unregisterTimer(ITimerHandler*) override {
        timer = nullptr;
        return kResultOk;
    }
    // One turn of the host's loop: what the descriptor has, then the timer.
    void turn() {
        pollfd watch{descriptor, POLLIN, 0};
        if (events != nullptr && poll(&watch, 1, 2) > 0) events->onFDIsSet(descriptor);
        if (timer != nullptr) timer->onTimer();
    }
};

// A host frame that does what hosts do with a view's request for a size:
// resizes its window and tells the view, inside the request.
struct Frame final : IPlugFrame {
    RunLoop* loop = nullptr;
    std::vector<ViewRect> requests;
    tresult queryInterface(const TUID iid, void** object) override { return loop->queryInterface(iid, object); }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult resizeView(IPlugView* view, ViewRect* size) override {
        requests.push_back(*size);
        return view->onSize(size);
    }
};

// The bundle loaded as a host loads it, one instance made, its view created
// and given a frame that lends the run loop.
struct Instance {
    void* module = dlopen(ORBELUNE_VST3_BINARY, RTLD_NOW | RTLD_LOCAL);
    vst3host::Parts parts;
    vst3host::EditRecorder handler;
    IPlugView* view = nullptr;
    RunLoop loop;
    Frame frame;

    Instance() {
        if (module == nullptr || !reinterpret_cast<bool (*)(void*)>(dlsym(module, "ModuleEntry"))(module)) return;
        parts = vst3host::createParts(reinterpret_cast<IPluginFactory* (*)()>(dlsym(module, "GetPluginFactory"))());
        if (parts.controller == nullptr) return;
        parts.component->initialize(nullptr);
        parts.controller->setComponentHandler(&handler);
        view = parts.controller->createView("editor");
        frame.loop = &loop;
        if (view != nullptr) view->setFrame(&frame);
    }
    ~Instance() {
        if (view != nullptr) {
            view->removed();
            view->setFrame(nullptr);
            view->release();
        }
        if (parts.controller != nullptr) {
            parts.controller->setComponentHandler(nullptr);
            parts.component->terminate();
            parts.controller->release();
            parts.processor->release();
            parts.component->release();
        }
        if (module == nullptr) return;
        reinterpret_cast<bool (*)()>(dlsym(module, "ModuleExit"))();
        dlclose(module);
    }
    ViewRect size() const {
        ViewRect rect{};
        view->getSize(&rect);
        return rect;
    }
};

}  // namespace vst3view

TEST_F(EditorX11, Vst3ViewAttachesToTheHostWindowAndReportsADragAsAnEditGesture) {
    using namespace vst3;
    vst3view::Instance plugin;
    ASSERT_NE(plugin.view, nullptr) << dlerror();
    IPlugView* view = plugin.view;
    EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
    EXPECT_EQ(view->canResize(), kResultTrue);
    EXPECT_EQ(plugin.size().right, kEditorWidth);
    EXPECT_EQ(plugin.size().bottom, kEditorHeight);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultOk);
    ASSERT_NE(editorWindow(), 0u);
    vst3view::RunLoop& loop = plugin.loop;
    ASSERT_NE(loop.timer, nullptr);
    ASSERT_GE(loop.descriptor, 0);

    for (int turn = 0; turn < 3; ++turn) loop.turn();
    pointerTo(kDecayX, kDecayY);
    button(true);
    pointerTo(kDecayX, kDecayY - 50);
    button(false);
    const auto& calls = plugin.handler.calls;
    for (int turn = 0; turn < 200 && (calls.empty() || calls.back() != "end 0"); ++turn) loop.turn();
    EXPECT_EQ(calls, (std::vector<std::string>{"begin 0", "perform 0", "end 0"}));
    EXPECT_EQ(plugin.handler.lastValue, 0.699999988f);
    EXPECT_EQ(plugin.parts.controller->getParamNormalized(0), 0.699999988f);
    pointerTo(2000, 2000);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(loop.timer, nullptr);
    EXPECT_EQ(loop.events, nullptr);
    EXPECT_TRUE(children(parent).empty());
}

// A host's factor of 2: the view asks for twice the size, paints every
// element at the new resolution, takes a drag of twice the pixels for the
// same value, and keeps the panel's shape through the host's resizing.
TEST_F(EditorX11, Vst3ViewScalesForTheHostAndKeepsItsShapeWhenResized) {
    using namespace vst3;
    XDestroyWindow(display, parent);
    parent = createParent(1800, 1200);
    vst3view::Instance plugin;
    ASSERT_NE(plugin.view, nullptr);
    IPlugViewContentScaleSupport* scaling = nullptr;
    ASSERT_EQ(plugin.view->queryInterface(kIPlugViewContentScaleSupportIid.bytes, reinterpret_cast<void**>(&scaling)),
              kResultOk);
    EXPECT_EQ(scaling->setContentScaleFactor(2.0f), kResultTrue);
    EXPECT_EQ(plugin.size().right, 2 * kEditorWidth);
    EXPECT_EQ(plugin.size().bottom, 2 * kEditorHeight);
    ASSERT_EQ(plugin.view->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultOk);
    for (int turn = 0; turn < 12; ++turn) plugin.loop.turn();
    const Capture picture = capture(editorWindow(), 2 * kEditorWidth, 2 * kEditorHeight);
    ASSERT_EQ(picture.width, 2 * kEditorWidth);
    EXPECT_EQ(picture.misses(2), "");

    pointerTo(2 * kDecayX, 2 * kDecayY);
    button(true);
    pointerTo(2 * kDecayX, 2 * kDecayY - 100);  // 50 of the panel's units
    button(false);
    const auto& calls = plugin.handler.calls;
    for (int turn = 0; turn < 200 && (calls.empty() || calls.back() != "end 0"); ++turn) plugin.loop.turn();
    EXPECT_EQ(plugin.handler.lastValue, 0.699999988f);
    pointerTo(2000, 2000);

    // A drag of the host's window corner: the nearest size of the panel's
    // shape, then the new size, painted whole.
    ViewRect proposed{0, 0, 1000, 1000};
    EXPECT_EQ(plugin.view->checkSizeConstraint(&proposed), kResultTrue);
    EXPECT_EQ(proposed.right, 1000);
    EXPECT_EQ(proposed.bottom, 619);  // 1000 · 520 / 840, rounded
    ASSERT_EQ(plugin.view->onSize(&proposed), kResultTrue);
    EXPECT_EQ(plugin.size().right, 1000);
    for (int turn = 0; turn < 5; ++turn) plugin.loop.turn();
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, editorWindow(), &attributes);
    EXPECT_EQ(attributes.width, 1000);
    EXPECT_EQ(attributes.height, 619);
    const Capture resized = capture(editorWindow(), 1000, 619);
    const double scale = 1000.0 / kEditorWidth;
    EXPECT_NEAR(int(resized.at(int(823 * scale), int(503 * scale)) >> 16), 0x28, 4) << "the far stud";

    // A new factor from the host while attached: the view asks its frame.
    EXPECT_EQ(scaling->setContentScaleFactor(1.0f), kResultTrue);
    ASSERT_FALSE(plugin.frame.requests.empty());
    EXPECT_EQ(plugin.frame.requests.back().right, 500);  // the user's zoom kept: half of 1000
    scaling->release();
}

// The LV2 UI binary, as an LV2 host shows it: a child of the parent the host
// gives, idled through its idle interface, writing a drag to the control
// port in the unit the port shows, with the host's touch notification.
namespace lv2view {

struct Host {
    std::vector<std::pair<uint32_t, float>> writes;
    std::vector<std::pair<uint32_t, bool>> touches;
};

void write(void* controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (size == sizeof(float) && format == 0)
        static_cast<Host*>(controller)->writes.push_back({port, *static_cast<const float*>(buffer)});
}

void touch(void* handle, uint32_t port, bool grabbed) { static_cast<Host*>(handle)->touches.push_back({port, grabbed}); }

std::vector<std::string>& uris() {
    static std::vector<std::string> mapped;
    return mapped;
}
LV2_URID map(LV2_URID_Map_Handle, const char* uri) {
    auto found = std::find(uris().begin(), uris().end(), uri);
    if (found == uris().end()) found = uris().insert(uris().end(), uri);
    return static_cast<LV2_URID>(found - uris().begin() + 1);
}
int resize(LV2UI_Feature_Handle handle, int width, int height) {
    static_cast<std::vector<std::pair<int, int>>*>(handle)->push_back({width, height});
    return 0;
}

}  // namespace lv2view

TEST_F(EditorX11, Lv2UiOpensInTheParentAndWritesADragToItsPort) {
    void* module = dlopen(ORBELUNE_LV2_UI_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto descriptorAt = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2ui_descriptor"));
    const LV2UI_Descriptor* descriptor = descriptorAt(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(descriptorAt(1), nullptr);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    lv2view::Host host;
    LV2UI_Touch touch{&host, lv2view::touch};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch};
    const LV2_Feature* features[] = {&parentFeature, &touchFeature, nullptr};
    const LV2_Feature* noParent[] = {&touchFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    EXPECT_EQ(descriptor->instantiate(descriptor, "urn:drevon:orbelune", "", lv2view::write, &host, &widget, noParent),
              nullptr);
    LV2UI_Handle ui =
        descriptor->instantiate(descriptor, "urn:drevon:orbelune", "", lv2view::write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    ASSERT_NE(editorWindow(), 0u);
    EXPECT_EQ(reinterpret_cast<Window>(widget), editorWindow());

    // The host says "Decay" is at 3.24 s (0.2): a drag of 50 pixels up from there.
    const float decay = 14.7f * 0.2f + 0.3f;
    descriptor->port_event(ui, 4, sizeof(float), 0, &decay);
    for (int call = 0; call < 3; ++call) idle->idle(ui);
    pointerTo(kDecayX, kDecayY);
    button(true);
    pointerTo(kDecayX, kDecayY - 50);
    button(false);
    for (int call = 0; call < 200 && (host.touches.size() < 2); ++call) {
        idle->idle(ui);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(host.writes.empty());
    EXPECT_EQ(host.writes.back().first, 4u);
    EXPECT_EQ(host.writes.back().second, 14.7f * 0.45f + 0.3f);  // 0.2 + 50·0.005, shown in seconds
    EXPECT_EQ(host.touches, (std::vector<std::pair<uint32_t, bool>>{{4, true}, {4, false}}));
    pointerTo(2000, 2000);

    descriptor->cleanup(ui);
    EXPECT_TRUE(children(parent).empty());
    dlclose(module);
}

// The host's ui:scaleFactor of 2 at instantiation: the UI opens at twice the
// size, asks the host's container for it, and paints at that resolution; a
// resize from the host scales the panel to fill it.
TEST_F(EditorX11, Lv2UiTakesTheHostsScaleFactor) {
    XDestroyWindow(display, parent);
    parent = createParent(1800, 1200);
    void* module = dlopen(ORBELUNE_LV2_UI_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto descriptorAt = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(module, "lv2ui_descriptor"));
    const LV2UI_Descriptor* descriptor = descriptorAt(0);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    const auto* resizing = static_cast<const LV2UI_Resize*>(descriptor->extension_data(LV2_UI__resize));
    ASSERT_NE(resizing, nullptr);

    lv2view::Host host;
    LV2_URID_Map map{nullptr, lv2view::map};
    const float factor = 2.0f;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, lv2view::map(nullptr, LV2_UI__scaleFactor), sizeof(float),
         lv2view::map(nullptr, LV2_ATOM__Float), &factor},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    std::vector<std::pair<int, int>> asked;
    LV2UI_Resize hostResize{&asked, lv2view::resize};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature resizeFeature{LV2_UI__resize, &hostResize};
    const LV2_Feature* features[] = {&parentFeature, &mapFeature, &optionsFeature, &resizeFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui =
        descriptor->instantiate(descriptor, "urn:drevon:orbelune", "", lv2view::write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), std::make_pair(2 * kEditorWidth, 2 * kEditorHeight));
    for (int call = 0; call < 12; ++call) idle->idle(ui);
    EXPECT_EQ(capture(editorWindow(), 2 * kEditorWidth, 2 * kEditorHeight).misses(2), "");

    EXPECT_EQ(resizing->ui_resize(ui, 1260, 780), 0);
    for (int call = 0; call < 3; ++call) idle->idle(ui);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, editorWindow(), &attributes);
    EXPECT_EQ(attributes.width, 1260);
    EXPECT_EQ(attributes.height, 780);
    descriptor->cleanup(ui);
    dlclose(module);
}

// Where the host gives no factor, the desktop's Xft.dpi decides: at 192 the
// VST 2 editor opens at twice the size and asks the host's window to follow.
TEST_F(EditorX11, Vst2EditorFollowsTheDesktopsDensity) {
    XDestroyWindow(display, parent);
    parent = createParent(1800, 1200);
    const Atom resources = XInternAtom(display, "RESOURCE_MANAGER", False);
    const char* desktop = "Xft.dpi:\t192\n";
    XChangeProperty(display, DefaultRootWindow(display), resources, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(desktop), static_cast<int>(std::strlen(desktop)));
    XSync(display, False);
    ASSERT_EQ(openIn(parent), 1);
    XDeleteProperty(display, DefaultRootWindow(display), resources);
    XSync(display, False);
    vst::ERect* rect = nullptr;
    dispatch(vst::effEditGetRect, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 2 * kEditorWidth);
    EXPECT_EQ(rect->bottom, 2 * kEditorHeight);
    ASSERT_EQ(stubhost::sizeRequests().size(), 1u);
    EXPECT_EQ(stubhost::sizeRequests()[0], std::make_pair(2 * kEditorWidth, 2 * kEditorHeight));
    idleFor(12);
    const Capture picture = capture(editorWindow(), 2 * kEditorWidth, 2 * kEditorHeight);
    EXPECT_EQ(picture.misses(2), "");
    if (const char* path = std::getenv("ORBELUNE_EDITOR_PNG_2X")) {
        EXPECT_TRUE(picture.savePng(path));
    }
}

// The .clap's editor, as a Linux CLAP host shows it: embedded in the host's
// window, idled by the host's timer, its X connection watched by the host's
// loop, and a drag sent as a gesture of events the next flush hands over.
namespace clapview {

struct Parts {
    const clap::Plugin* plugin;
    const clap::PluginTimerSupport* timer;
    const clap::PluginPosixFdSupport* descriptors;
};

// One turn of the host's loop: what the descriptor has, then the timers.
void turn(const Parts& parts, const claphost::Host& host) {
    pollfd watch{host.descriptor, POLLIN, 0};
    if (host.descriptor >= 0 && poll(&watch, 1, 2) > 0)
        parts.descriptors->onFd(parts.plugin, host.descriptor, clap::kFdRead);
    for (clap::Id id : host.timerIds) parts.timer->onTimer(parts.plugin, id);
}

}  // namespace clapview

TEST_F(EditorX11, ClapGuiEmbedsInTheParentAndSendsADragAsGestureEvents) {
    using claphost::extension;
    void* module = dlopen(ORBELUNE_CLAP_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto* entry = static_cast<const clap::PluginEntry*>(dlsym(module, "clap_entry"));
    ASSERT_TRUE(entry != nullptr && entry->init(ORBELUNE_CLAP_BINARY));
    const auto* factory = static_cast<const clap::PluginFactory*>(entry->getFactory(clap::kPluginFactoryId));
    claphost::Host host;
    auto create = [&] {
        const clap::Plugin* made = factory->createPlugin(factory, &host.record, "com.drevon.orbelune");
        return made != nullptr && made->init(made) ? made : nullptr;
    };
    const clap::Plugin* plugin = create();
    ASSERT_NE(plugin, nullptr);
    const auto* gui = extension<clap::PluginGui>(plugin, clap::kExtGui);
    const auto* params = extension<clap::PluginParams>(plugin, clap::kExtParams);
    const auto* state = extension<clap::PluginState>(plugin, clap::kExtState);
    const clapview::Parts parts{plugin, extension<clap::PluginTimerSupport>(plugin, clap::kExtTimerSupport),
                                extension<clap::PluginPosixFdSupport>(plugin, clap::kExtPosixFdSupport)};
    ASSERT_TRUE(gui != nullptr && params != nullptr && parts.timer != nullptr && parts.descriptors != nullptr);

    EXPECT_TRUE(gui->isApiSupported(plugin, "x11", false));
    EXPECT_FALSE(gui->isApiSupported(plugin, "x11", true));
    EXPECT_FALSE(gui->isApiSupported(plugin, "win32", false));
    ASSERT_TRUE(gui->create(plugin, "x11", false));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->getSize(plugin, &width, &height));
    EXPECT_EQ(width, static_cast<std::uint32_t>(kEditorWidth));
    EXPECT_EQ(height, static_cast<std::uint32_t>(kEditorHeight));
    clap::Window window{"x11", {}};
    window.x11 = parent;
    ASSERT_TRUE(gui->setParent(plugin, &window));
    ASSERT_TRUE(gui->show(plugin));
    ASSERT_NE(editorWindow(), 0u);
    ASSERT_EQ(host.timerIds.size(), 1u);
    ASSERT_GE(host.descriptor, 0);

    for (int turn = 0; turn < 3; ++turn) clapview::turn(parts, host);
    pointerTo(kDecayX, kDecayY);
    button(true);
    pointerTo(kDecayX, kDecayY - 50);
    button(false);
    double decay = 0.45f;
    for (int turn = 0; turn < 200 && decay == 0.45f; ++turn) {
        clapview::turn(parts, host);
        params->getValue(plugin, 0, &decay);
    }
    EXPECT_EQ(decay, 0.699999988f);
    EXPECT_GT(host.flushRequests, 0);
    // Saved before the host has heard of the edit, the state holds it.
    claphost::Stream saved;
    ASSERT_TRUE(state->save(plugin, &saved.out));
    const clap::Plugin* reopened = create();
    ASSERT_TRUE(extension<clap::PluginState>(reopened, clap::kExtState)->load(reopened, &saved.in));
    double reopenedDecay = 0.0;
    params->getValue(reopened, 0, &reopenedDecay);
    EXPECT_EQ(reopenedDecay, 0.699999988f);
    reopened->destroy(reopened);

    claphost::InputList none;
    claphost::OutputList out;
    for (int turn = 0; turn < 200 && (out.calls.empty() || out.calls.back() != "end 0"); ++turn) {
        clapview::turn(parts, host);
        params->flush(plugin, &none.record, &out.record);
    }
    EXPECT_EQ(out.calls, (std::vector<std::string>{"begin 0", "value 0", "end 0"}));
    EXPECT_EQ(out.values.back(), 0.699999988f);
    pointerTo(2000, 2000);

    EXPECT_TRUE(gui->hide(plugin));  // hidden, it stops animating
    EXPECT_TRUE(host.timerIds.empty());
    EXPECT_TRUE(gui->show(plugin));
    EXPECT_EQ(host.timerIds.size(), 1u);
    gui->destroy(plugin);
    EXPECT_TRUE(host.timerIds.empty());
    EXPECT_EQ(host.descriptor, -1);
    EXPECT_TRUE(children(parent).empty());
    plugin->destroy(plugin);
    entry->deinit();
    dlclose(module);
}
