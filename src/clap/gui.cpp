// The editor as a CLAP gui: embedded in the host's window ("x11" on Linux,
// "win32" on Windows), at the host's scale and any size of its shape. CLAP hosts make no idle calls: on
// Linux the host's timer idles the editor and the host's loop watches the
// editor's X connection; on Windows a timer on the editor window idles it.
// The editor's gestures reach the host as events, through the ring.
#include <algorithm>
#include <cstring>

#include "clap/instance.h"
#include "core/parameters.h"
#include "platform/win32.h"

namespace orbelune::clapadapter {

namespace {

#if defined(_WIN32)
constexpr const char* kApi = clap::kWindowApiWin32;
constexpr UINT_PTR kIdleTimer = 1;
#else
constexpr const char* kApi = clap::kWindowApiX11;
#endif
constexpr unsigned kIdleMilliseconds = 30;  // about 33 frames a second

// ---- the editor's host: values from the core, gestures out as events ----------------

Instance& editorInstance(void* context) { return *static_cast<Instance*>(context); }

float editorParameter(void* context, int index) { return currentValue(editorInstance(context), index); }

float editorOutputLevel(void* context) {
    return editorInstance(context).core->outputMeter.load(std::memory_order_relaxed);
}

// Asked for each edit, never from the audio thread: the host then runs
// process or flush, which hands it the events.
void requestFlush(Instance& instance) {
    if (!instance.destroying && instance.hostParams != nullptr && instance.hostParams->requestFlush != nullptr)
        instance.hostParams->requestFlush(instance.host);
}

void pushGestureEnd(Instance& instance) {
    if (instance.openGesture < 0) return;
    pushEdit(instance.edits, {clap::kEventParamGestureEnd, static_cast<std::uint16_t>(instance.openGesture), 0.0f, 0});
    instance.openGesture = -1;
}

// A gesture is announced only with room for its end, and each value keeps one
// slot free for that end, so an announced gesture always closes. Without room
// the values go out later, as the newest of each parameter. Gestures never
// nest: a press that comes before the last one's release closes it first.
void editorBeginEdit(void* context, int index) {
    Instance& instance = editorInstance(context);
    pushGestureEnd(instance);
    if (freeSlots(instance.edits) >= 3) {
        pushEdit(instance.edits, {clap::kEventParamGestureBegin, static_cast<std::uint16_t>(index), 0.0f, 0});
        instance.openGesture = index;
    }
    requestFlush(instance);
}

// The host does not echo the value back: the core takes it when it is handed
// over, and until then the editor, the host's reads and a saved state have it.
void editorPerformEdit(void* context, int index, float value) {
    Instance& instance = editorInstance(context);
    const float stored = steppedValue(index, value);
    instance.editorValue[index].store(stored, std::memory_order_relaxed);
    const std::uint32_t sequence = instance.editorSequence[index].fetch_add(1, std::memory_order_release) + 1;
    if (instance.openGesture == index && freeSlots(instance.edits) >= 2)
        pushEdit(instance.edits, {clap::kEventParamValue, static_cast<std::uint16_t>(index), stored, sequence});
    else
        instance.unsentValue[index].store(true, std::memory_order_release);
    requestFlush(instance);
}

void editorEndEdit(void* context, int index) {
    Instance& instance = editorInstance(context);
    if (instance.openGesture == index) pushGestureEnd(instance);
    requestFlush(instance);
}

// ---- idling -----------------------------------------------------------------------------

HWND editorWindow(const Instance& instance) { return instance.editor.window.load(std::memory_order_relaxed); }

void startIdling(Instance& instance) {
    const HWND window = editorWindow(instance);
    if (instance.idling || window == nullptr) return;
#if defined(_WIN32)
    instance.idling = SetTimer(window, kIdleTimer, kIdleMilliseconds, nullptr) != 0;
#else
    instance.idling = instance.hostTimers->registerTimer(instance.host, kIdleMilliseconds, &instance.timer);
#endif
}

void stopIdling(Instance& instance) {
    if (!instance.idling) return;
#if defined(_WIN32)
    const HWND window = editorWindow(instance);
    if (window != nullptr && IsWindow(window)) KillTimer(window, kIdleTimer);
#else
    instance.hostTimers->unregisterTimer(instance.host, instance.timer);
    instance.timer = clap::kInvalidId;
#endif
    instance.idling = false;
}

// Before the window and its connection go, so no callback reaches them.
void closeWindow(Instance& instance) {
    stopIdling(instance);
#if !defined(_WIN32)
    if (instance.descriptor >= 0) instance.hostFds->unregisterFd(instance.host, instance.descriptor);
    instance.descriptor = -1;
#endif
    closeEditor(instance.editor);
}

// ---- gui --------------------------------------------------------------------------------

// Without the host's timer a Linux editor would never see its events.
bool hostCanIdle(const Instance& instance) {
#if defined(_WIN32)
    (void)instance;
    return true;
#else
    return instance.hostTimers != nullptr && instance.hostTimers->registerTimer != nullptr &&
           instance.hostTimers->unregisterTimer != nullptr;
#endif
}

bool guiIsApiSupported(const clap::Plugin* plugin, const char* api, bool isFloating) {
    return !isFloating && api != nullptr && std::strcmp(api, kApi) == 0 && hostCanIdle(instanceOf(plugin));
}

bool guiGetPreferredApi(const clap::Plugin*, const char** api, bool* isFloating) {
    if (api == nullptr || isFloating == nullptr) return false;
    *api = kApi;
    *isFloating = false;
    return true;
}

bool guiCreate(const clap::Plugin* plugin, const char* api, bool isFloating) {
    Instance& instance = instanceOf(plugin);
    if (instance.guiCreated || !guiIsApiSupported(plugin, api, isFloating)) return false;
    instance.guiCreated = true;  // the window comes with the parent
    return true;
}

void guiDestroy(const clap::Plugin* plugin) { destroyGui(instanceOf(plugin)); }

// The host's factor is the whole scale.
bool guiSetScale(const clap::Plugin* plugin, double scale) {
    if (!(scale > 0.0)) return false;
    setEditorHostScale(instanceOf(plugin).editor, static_cast<float>(scale));
    return true;
}

bool guiGetSize(const clap::Plugin* plugin, std::uint32_t* width, std::uint32_t* height) {
    if (width == nullptr || height == nullptr) return false;
    *width = static_cast<std::uint32_t>(editorWidth(instanceOf(plugin).editor));
    *height = static_cast<std::uint32_t>(editorHeight(instanceOf(plugin).editor));
    return true;
}

bool guiCanResize(const clap::Plugin*) { return true; }

bool guiGetResizeHints(const clap::Plugin*, clap::GuiResizeHints* hints) {
    if (hints == nullptr) return false;
    *hints = {true, true, true, static_cast<std::uint32_t>(kEditorWidth), static_cast<std::uint32_t>(kEditorHeight)};
    return true;
}

// The nearest size of the panel's shape within its scales.
bool guiAdjustSize(const clap::Plugin*, std::uint32_t* width, std::uint32_t* height) {
    if (width == nullptr || height == nullptr) return false;
    int adjustedWidth = static_cast<int>(std::min<std::uint32_t>(*width, 1u << 20));
    int adjustedHeight = static_cast<int>(std::min<std::uint32_t>(*height, 1u << 20));
    constrainEditorSize(adjustedWidth, adjustedHeight);
    *width = static_cast<std::uint32_t>(adjustedWidth);
    *height = static_cast<std::uint32_t>(adjustedHeight);
    return true;
}

// The panel scales to fill the size the host gives it.
bool guiSetSize(const clap::Plugin* plugin, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0 || width > (1u << 20) || height > (1u << 20)) return false;
    resizeEditor(instanceOf(plugin).editor, static_cast<int>(width), static_cast<int>(height));
    return true;
}

// The editor chose its own size (the screen's density, where the host gives
// no factor): the host is asked to follow.
void editorResize(void* context, int width, int height) {
    Instance& instance = editorInstance(context);
    if (instance.hostGui != nullptr && instance.hostGui->requestResize != nullptr)
        instance.hostGui->requestResize(instance.host, static_cast<std::uint32_t>(width),
                                        static_cast<std::uint32_t>(height));
}

bool guiSetParent(const clap::Plugin* plugin, const clap::Window* window) {
    Instance& instance = instanceOf(plugin);
    if (!instance.guiCreated || window == nullptr || (window->api != nullptr && std::strcmp(window->api, kApi) != 0))
        return false;
    closeWindow(instance);  // a second parent replaces the first
#if defined(_WIN32)
    const HWND parent = static_cast<HWND>(window->win32);
#else
    const HWND parent = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window->x11));
#endif
    if (parent == nullptr || !openEditor(instance.editor, parent)) return false;
#if !defined(_WIN32)
    const int descriptor = platform::windowEventDescriptor(editorWindow(instance));
    if (descriptor >= 0 && instance.hostFds != nullptr && instance.hostFds->registerFd != nullptr &&
        instance.hostFds->unregisterFd != nullptr && instance.hostFds->registerFd(instance.host, descriptor, clap::kFdRead))
        instance.descriptor = descriptor;
#endif
    startIdling(instance);
    return true;
}

bool guiSetTransient(const clap::Plugin*, const clap::Window*) { return false; }  // embedded only
void guiSuggestTitle(const clap::Plugin*, const char*) {}

// The window is the host's child and shows with it; hidden, it stops animating.
bool guiShow(const clap::Plugin* plugin) {
    Instance& instance = instanceOf(plugin);
    startIdling(instance);
    return editorWindow(instance) != nullptr;
}

bool guiHide(const clap::Plugin* plugin) {
    Instance& instance = instanceOf(plugin);
    stopIdling(instance);
    return editorWindow(instance) != nullptr;
}

// ---- the host's loop calls back --------------------------------------------------------

void onTimer(const clap::Plugin* plugin, clap::Id timer) {
    Instance& instance = instanceOf(plugin);
    if (instance.idling && timer == instance.timer) idleEditor(instance.editor);
}

void onDescriptor(const clap::Plugin* plugin, int descriptor, std::uint32_t) {
    Instance& instance = instanceOf(plugin);
    const HWND window = editorWindow(instance);
    if (descriptor == instance.descriptor && window != nullptr) platform::deliverWindowEvents(window);
}

}  // namespace

const clap::PluginGui guiExtension = {guiIsApiSupported, guiGetPreferredApi, guiCreate,    guiDestroy,
                                      guiSetScale,       guiGetSize,         guiCanResize, guiGetResizeHints,
                                      guiAdjustSize,     guiSetSize,         guiSetParent, guiSetTransient,
                                      guiSuggestTitle,   guiShow,            guiHide};
const clap::PluginTimerSupport timerExtension = {onTimer};
const clap::PluginPosixFdSupport descriptorExtension = {onDescriptor};

void attachEditor(Instance& instance) {
    instance.editor.host = EditorHost{&instance,         editorParameter, editorOutputLevel, editorBeginEdit,
                                      editorPerformEdit, editorEndEdit,   editorResize};
    instance.editor.formatName = L"CLAP";
}

void destroyGui(Instance& instance) {
    if (!instance.guiCreated) return;
    closeWindow(instance);
    instance.guiCreated = false;
}

}  // namespace orbelune::clapadapter
