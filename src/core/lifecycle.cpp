// Creation and destruction of instances and the library's load and unload
// steps. All of these run on the host's calling thread (normally its main one).
#include <new>

#include "editor/editor.h"
#include "editor/fonts.h"
#include "engine/preparation.h"
#include "vst2/dispatcher.h"
#include "core/instance.h"
#include "core/parameters.h"
#include "vst2/processing.h"

namespace orbelune {

ModuleState module;

namespace {

constexpr vst::int32 kUniqueId = vst::fourCharacters('O', 'R', 'B', 'L');
constexpr vst::int32 kPluginVersion = 1000;

void startGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    // A failed start leaves the token null; the editor then paints nothing.
    Gdiplus::GdiplusStartup(&module.gdiplusToken, &input, nullptr);
}

void stopGdiplus() {
    if (module.gdiplusToken == 0) return;
    releaseEditorFonts();
    Gdiplus::GdiplusShutdown(module.gdiplusToken);
    module.gdiplusToken = 0;
}

void fillHeader(PluginInstance& instance) {
    vst::AEffect& header = instance.header;
    header = vst::AEffect{};
    header.magic = vst::kEffectMagic;
    header.dispatcher = dispatcher;
    header.process = processReplacing;  // the old entry replaces the output too
    header.setParameter = setParameter;
    header.getParameter = getParameter;
    header.numPrograms = 1;
    header.numParams = kParamCount;
    header.numInputs = 2;
    header.numOutputs = 2;
    header.flags = vst::effFlagsCanReplacing | (editorAvailable() ? vst::effFlagsHasEditor : 0);
    header.object = &instance;
    header.uniqueID = kUniqueId;
    header.version = kPluginVersion;
    header.processReplacing = processReplacing;
}

// Undoes the count and the GDI+ start of a creation whose buffers could not be
// obtained, so that the host's null result leaves the module as it was.
void abandonCreation(PluginInstance* instance, bool startedGdiplus) {
    --module.instanceCount;
    if (startedGdiplus) stopGdiplus();
    delete instance;
}

}  // namespace

vst::AEffect* createInstance(vst::audioMasterCallback hostCallback) noexcept {
    if (hostCallback == nullptr) return nullptr;

    auto* instance = new (std::nothrow) PluginInstance;
    if (instance == nullptr) return nullptr;
    instance->hostCallback = hostCallback;

    const bool firstInstance = module.instanceCount == 0;
    ++module.instanceCount;
    if (firstInstance) startGdiplus();

    const float size = instance->params[kParamSize].load(std::memory_order_relaxed);
    if (!prepareEngine(instance->engine, instance->sampleRate, instance->sampleRate, size)) {
        abandonCreation(instance, firstInstance);
        return nullptr;
    }

    fillHeader(*instance);
    return &instance->header;
}

namespace {

vst::intptr noVst2Host(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

}  // namespace

PluginInstance* createAdapterInstance() noexcept { return instanceOf(createInstance(noVst2Host)); }

void destroyInstance(PluginInstance* instance) noexcept {
    closeEditor(*instance);
    --module.instanceCount;
    if (module.instanceCount == 0) stopGdiplus();
    // The record's destructor releases the lines (the last first) and then the rings.
    delete instance;
}

void setSampleRate(PluginInstance& instance, float rate) noexcept {
    // Zero, negative and NaN rates mean the host has none to give: assume 44100 Hz.
    const double requested = rate > 0.0f ? static_cast<double>(rate) : 44100.0;
    const float size = instance.params[kParamSize].load(std::memory_order_relaxed);
    prepareEngine(instance.engine, instance.sampleRate, requested, size);
}

void processAttach(HINSTANCE moduleHandle) noexcept {
    module.moduleHandle = moduleHandle;
    DisableThreadLibraryCalls(moduleHandle);
}

void processDetach() noexcept {
    if (module.windowClassRegistered && module.moduleHandle != nullptr) {
        UnregisterClassA(kEditorClassName, module.moduleHandle);
        module.windowClassRegistered = false;
    }
    stopGdiplus();
}

}  // namespace orbelune
