// What an open editor costs its host: the real plug-in's editor in a window of
// ours, timed per frame. An idle frame (the host's timer: the panel animates)
// and a frame after a parameter change (automation: the whole editor repaints)
// alternate in one run, so the machine's drift falls on both alike. At a
// SCALE other than 1 the host gives that factor before the editor opens.
//
// Linux:   editor_frame_bench PLUGIN.so [FRAMES [SCALE]]     (under an X display)
// Windows: editor_frame_bench.exe PLUGIN.dll [FRAMES [SCALE]] (Wine and a display will do)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vst2/aeffect.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <dlfcn.h>
#endif

namespace {

vst::intptr hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

#if defined(_WIN32)
struct HostWindow {
    HWND window = nullptr;
    explicit HostWindow(int scale) {
        WNDCLASSEXA hostClass{};
        hostClass.cbSize = sizeof(hostClass);
        hostClass.lpfnWndProc = DefWindowProcA;
        hostClass.hInstance = GetModuleHandleA(nullptr);
        hostClass.lpszClassName = "OrbeluneBenchHost";
        RegisterClassExA(&hostClass);
        window = CreateWindowExA(0, hostClass.lpszClassName, "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 900 * scale, 600 * scale, nullptr, nullptr, hostClass.hInstance, nullptr);
    }
    ~HostWindow() { DestroyWindow(window); }
    void* handle() const { return window; }
    // The host's message loop runs after each idle call, as a host's would;
    // the editor paints inside it.
    void afterIdle() const {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        UpdateWindow(FindWindowExA(window, nullptr, nullptr, nullptr));
    }
};

vst::PluginEntryProc loadEntry(const char* path) {
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) return nullptr;
    return reinterpret_cast<vst::PluginEntryProc>(reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
}
#else
struct HostWindow {
    Display* display = XOpenDisplay(nullptr);
    Window window = 0;
    explicit HostWindow(int scale) {
        if (display == nullptr) return;
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900 * scale, 600 * scale, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    }
    ~HostWindow() {
        if (display == nullptr) return;
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    void* handle() const { return reinterpret_cast<void*>(window); }
    void afterIdle() const {}  // the editor paints inside the idle call
};

vst::PluginEntryProc loadEntry(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return library != nullptr ? reinterpret_cast<vst::PluginEntryProc>(dlsym(library, "VSTPluginMain")) : nullptr;
}
#endif

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount < 2) {
        std::fprintf(stderr, "usage: %s PLUGIN [FRAMES]\n", arguments[0]);
        return 2;
    }
    const int frames = argumentCount > 2 ? std::max(1, std::atoi(arguments[2])) : 200;
    const int scale = argumentCount > 3 ? std::max(1, std::atoi(arguments[3])) : 1;
    vst::PluginEntryProc entry = loadEntry(arguments[1]);
    if (entry == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", arguments[1]);
        return 1;
    }
    vst::AEffect* effect = entry(hostCallback);
    HostWindow host(scale);
    // The scale hint some hosts give: 'PreS', 'AeCs' and the factor.
    constexpr vst::int32 kScaleVendor = vst::fourCharacters('P', 'r', 'e', 'S');
    constexpr vst::intptr kScaleRequest = vst::fourCharacters('A', 'e', 'C', 's');
    if (effect != nullptr && scale != 1)
        effect->dispatcher(effect, vst::effVendorSpecific, kScaleVendor, kScaleRequest, nullptr, static_cast<float>(scale));
    if (effect == nullptr || host.handle() == nullptr ||
        effect->dispatcher(effect, vst::effEditOpen, 0, 0, host.handle(), 0.0f) != 1) {
        std::fprintf(stderr, "cannot open the editor\n");
        return 1;
    }
    auto frame = [&](bool changeParameter, int index) {
        const auto start = std::chrono::steady_clock::now();
        if (changeParameter) effect->setParameter(effect, 0, (index % 2 == 0) ? 0.40f : 0.50f);
        effect->dispatcher(effect, vst::effEditIdle, 0, 0, nullptr, 0.0f);
        host.afterIdle();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    for (int warm = 0; warm < 10; ++warm) frame(warm % 2 == 0, warm);
    std::vector<double> idle;
    std::vector<double> changed;
    for (int index = 0; index < frames; ++index) {
        idle.push_back(frame(false, index));
        changed.push_back(frame(true, index));
    }
    effect->dispatcher(effect, vst::effEditClose, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    const double idleMs = medianOf(idle);
    const double changedMs = medianOf(changed);
    std::printf("editor frames at %dx (median of %d each): idle %.2f ms, after a parameter change %.2f ms, ratio %.2f\n",
                scale, frames, idleMs, changedMs, idleMs / changedMs);
    return 0;
}
