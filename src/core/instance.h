// The instance record and the values the whole module shares.
#pragma once

#include <atomic>
#include <cstdint>

#include "editor/editor_host.h"
#include "engine/engine_state.h"
#include "platform/win32.h"
#include "vst2/aeffect.h"

namespace orbelune {

struct PluginInstance;
// The editor's way to a VST 2 host, for an instance (with the parameters).
EditorHost vst2EditorHost(PluginInstance& instance);

// One allocation per instance; the host sees its head as the AEffect, whose
// `object` points back here.
struct PluginInstance {
    vst::AEffect header;
    vst::audioMasterCallback hostCallback = nullptr;
    ParameterValues params = {0.45f, 0.6f, 0.4f, 0.85f, 0.15f, 0.35f, 0.0f};
    double sampleRate = 44100.0;
    std::atomic<std::uint8_t> hostBypass{0};  // set by effSetBypass, read by the audio thread

    // Editor state, owned by the UI thread. The window handle is also read by
    // setParameter on whatever thread the host calls it from.
    std::atomic<HWND> editorWindow{nullptr};
    HWND editorParent = nullptr;
    vst::ERect editorRect = {0, 0, 520, 840};
    std::int32_t dragParam = -1;
    std::int32_t dragStartY = 0;
    float dragStartValue = 0.0f;
    float idlePhase = 0.0f;
    // Raised by setParameter where the window system must not be called from
    // the host's other threads; the editor's idle step consumes it.
    std::atomic<bool> repaintRequested{false};
    // The editor's way to its host: VST 2's own unless another format's
    // adapter puts its answers here.
    EditorHost editorHost = vst2EditorHost(*this);

    std::atomic<float> outputMeter{0.0f};  // written per block by the audio thread, read by painting

    EngineState engine;
};

// Module-wide values: one set per loaded library, shared by every instance. The
// host creates and closes instances from one thread, so no lock guards them.
struct ModuleState {
    HINSTANCE moduleHandle = nullptr;
    bool windowClassRegistered = false;
    std::int32_t instanceCount = 0;
    ULONG_PTR gdiplusToken = 0;
    // The editor's fonts, registered with GDI+ on the first paint.
    Gdiplus::GpFontCollection* fontCollection = nullptr;
    bool fontCollectionTried = false;
};

extern ModuleState module;

inline PluginInstance* instanceOf(vst::AEffect* effect) {
    return effect != nullptr ? static_cast<PluginInstance*>(effect->object) : nullptr;
}

// Creation and destruction of instances, and the library's load and unload steps.
vst::AEffect* createInstance(vst::audioMasterCallback hostCallback) noexcept;
// An instance for the other formats' adapters, whose hosts speak to them in
// their own terms: the VST 2 callback it holds answers nothing.
PluginInstance* createAdapterInstance() noexcept;
void destroyInstance(PluginInstance* instance) noexcept;
void processAttach(HINSTANCE moduleHandle) noexcept;
void processDetach() noexcept;

// The rate change a host asks for with effSetSampleRate.
void setSampleRate(PluginInstance& instance, float rate) noexcept;

}  // namespace orbelune
