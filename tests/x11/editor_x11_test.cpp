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
#include <lv2/ui/ui.h>
#include <poll.h>

#include <chrono>
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
        effect = entry(hostCallback);
        ASSERT_NE(effect, nullptr);
        dispatch(vst::effOpen);
    }
    void TearDown() override {
        if (effect != nullptr) dispatch(vst::effClose);
        if (parent != 0) XDestroyWindow(display, parent);
        XSync(display, False);
    }

    Window createParent() {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;  // placed exactly where we say
        Window window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 900, 600, 0, CopyFromParent,
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

    struct Capture {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> rgb;  // 0xRRGGBB, top row first

        std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
        int ink(const editorpixels::TextBox& box) const {
            int count = 0;
            for (int y = box.top; y < box.bottom; ++y)
                for (int x = box.left; x < box.right; ++x) {
                    const std::uint32_t pixel = at(x, y);
                    const int sum = int(pixel >> 16 & 0xFF) + int(pixel >> 8 & 0xFF) + int(pixel & 0xFF);
                    count += sum > editorpixels::kInkLevel ? 1 : 0;
                }
            return count;
        }
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

    Capture capture(Window window) const {
        Capture result;
        XImage* image = XGetImage(display, window, 0, 0, kEditorWidth, kEditorHeight, AllPlanes, ZPixmap);
        if (image == nullptr) return result;
        result.width = kEditorWidth;
        result.height = kEditorHeight;
        result.rgb.resize(static_cast<std::size_t>(kEditorWidth) * kEditorHeight);
        for (int y = 0; y < kEditorHeight; ++y)
            for (int x = 0; x < kEditorWidth; ++x)
                result.rgb[static_cast<std::size_t>(y) * kEditorWidth + x] =
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
    for (const editorpixels::Spot& spot : editorpixels::kFixedSpots) {
        const std::uint32_t pixel = picture.at(spot.x, spot.y);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(int(pixel >> shift & 0xFF), int(spot.rgb >> shift & 0xFF), spot.tolerance)
                << spot.what << std::hex << ": " << pixel;
    }
    for (const editorpixels::TextBox& box : editorpixels::kTextBoxes)
        EXPECT_GT(picture.ink(box), editorpixels::kLeastInk) << box.what;

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

struct Frame final : IPlugFrame {
    RunLoop* loop = nullptr;
    tresult queryInterface(const TUID iid, void** object) override { return loop->queryInterface(iid, object); }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
};

}  // namespace vst3view

TEST_F(EditorX11, Vst3ViewAttachesToTheHostWindowAndReportsADragAsAnEditGesture) {
    using namespace vst3;
    void* module = dlopen(ORBELUNE_VST3_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    ASSERT_TRUE(reinterpret_cast<bool (*)(void*)>(dlsym(module, "ModuleEntry"))(module));
    auto* factory = reinterpret_cast<IPluginFactory* (*)()>(dlsym(module, "GetPluginFactory"))();
    const vst3host::Parts parts = vst3host::createParts(factory);
    ASSERT_NE(parts.controller, nullptr);
    IComponent* component = parts.component;
    IEditController* controller = parts.controller;
    component->initialize(nullptr);
    vst3host::EditRecorder handler;
    controller->setComponentHandler(&handler);

    IPlugView* view = controller->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
    EXPECT_EQ(view->canResize(), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, kEditorWidth);
    EXPECT_EQ(size.bottom - size.top, kEditorHeight);
    vst3view::RunLoop loop;
    vst3view::Frame frame;
    frame.loop = &loop;
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultOk);
    ASSERT_NE(editorWindow(), 0u);
    ASSERT_NE(loop.timer, nullptr);
    ASSERT_GE(loop.descriptor, 0);

    for (int turn = 0; turn < 3; ++turn) loop.turn();
    pointerTo(kDecayX, kDecayY);
    button(true);
    pointerTo(kDecayX, kDecayY - 50);
    button(false);
    for (int turn = 0; turn < 200 && (handler.calls.empty() || handler.calls.back() != "end 0"); ++turn) loop.turn();
    EXPECT_EQ(handler.calls, (std::vector<std::string>{"begin 0", "perform 0", "end 0"}));
    EXPECT_EQ(handler.lastValue, 0.699999988f);
    EXPECT_EQ(controller->getParamNormalized(0), 0.699999988f);
    pointerTo(2000, 2000);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(loop.timer, nullptr);
    EXPECT_EQ(loop.events, nullptr);
    EXPECT_TRUE(children(parent).empty());
    view->setFrame(nullptr);
    view->release();
    controller->setComponentHandler(nullptr);
    component->terminate();
    controller->release();
    parts.processor->release();
    component->release();
    reinterpret_cast<bool (*)()>(dlsym(module, "ModuleExit"))();
    dlclose(module);
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
    EXPECT_FALSE(gui->canResize(plugin));
    EXPECT_FALSE(gui->setScale(plugin, 2.0));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->getSize(plugin, &width, &height));
    EXPECT_EQ(width, static_cast<std::uint32_t>(kEditorWidth));
    EXPECT_EQ(height, static_cast<std::uint32_t>(kEditorHeight));
    EXPECT_FALSE(gui->setSize(plugin, 900, 600));
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
