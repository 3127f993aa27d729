// What the CLAP adapter's parts share: the record behind each instance a host
// holds, the ring that carries the editor's edits to the host, and the tables
// each part hands out.
#pragma once

#include <atomic>
#include <cstdint>

#include "clap/abi.h"
#include "core/plugin.h"
#include "editor/editor.h"

namespace orbelune::clapadapter {

// One edit of the plug-in's own editor on its way to the host: a gesture's
// begin or end, or a value with the number of the edit it was.
struct Edit {
    std::uint16_t type;  // the CLAP event type it becomes
    std::uint16_t index;
    float value;
    std::uint32_t sequence;
};

// Single producer (the editor, on the main thread), single consumer (process
// or flush, which never run at once): no lock and no allocation on either side.
struct EditRing {
    static constexpr std::uint32_t kCapacity = 256;
    Edit slots[kCapacity] = {};
    std::atomic<std::uint32_t> written{0};  // advanced by the producer only
    std::atomic<std::uint32_t> read{0};     // advanced by the consumer only
};

// The producer's view: slots it may still fill. The consumer may free more meanwhile.
inline std::uint32_t freeSlots(const EditRing& ring) {
    return EditRing::kCapacity - (ring.written.load(std::memory_order_relaxed) -
                                  ring.read.load(std::memory_order_acquire));
}
inline void pushEdit(EditRing& ring, const Edit& edit) {
    const std::uint32_t at = ring.written.load(std::memory_order_relaxed);
    ring.slots[at % EditRing::kCapacity] = edit;
    ring.written.store(at + 1, std::memory_order_release);
}
// The oldest edit, left in the ring until popped, so one the host refused is offered again.
inline const Edit* peekEdit(const EditRing& ring) {
    const std::uint32_t at = ring.read.load(std::memory_order_relaxed);
    if (at == ring.written.load(std::memory_order_acquire)) return nullptr;
    return &ring.slots[at % EditRing::kCapacity];
}
inline void popEdit(EditRing& ring) {
    ring.read.store(ring.read.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

struct Instance {
    clap::Plugin record{};  // what the host holds; its pluginData leads back here
    const clap::Host* host = nullptr;
    // The host's extensions, fetched in init; any may be missing.
    const clap::HostParams* hostParams = nullptr;
    const clap::HostTail* hostTail = nullptr;
    const clap::HostTimerSupport* hostTimers = nullptr;
    const clap::HostPosixFdSupport* hostFds = nullptr;
    const clap::HostGui* hostGui = nullptr;
    const clap::HostPresetLoad* hostPresetLoad = nullptr;

    Plugin* core = nullptr;
    std::int32_t preset = -1;      // the factory preset last loaded, for the state (main thread only)
    std::uint32_t tailFrames = 0;  // as the host was last told, audio thread only
    bool initialized = false;      // counted among the editor's instances
    bool destroying = false;

    Editor editor;
    bool guiCreated = false;
    bool idling = false;
    clap::Id timer = clap::kInvalidId;
    int descriptor = -1;
    // The parameter whose gesture the host was told has begun, or -1 (main thread only).
    int openGesture = -1;
    EditRing edits;
    // A value the ring had no room for: the host is sent the newest one later.
    std::atomic<bool> unsentValue[kParamCount] = {};
    // The editor's edits reach the core only as they are handed to the host,
    // after the host's own changes of the same call, so both end up agreeing.
    // Each edit is numbered; a parameter whose last edit the core has not
    // taken yet has that edit as its value.
    std::atomic<float> editorValue[kParamCount] = {};
    std::atomic<std::uint32_t> editorSequence[kParamCount] = {};
    std::atomic<std::uint32_t> appliedSequence[kParamCount] = {};
};

// A parameter's value as the host and the editor see it and a state saves it:
// an edit not yet handed over included.
inline float currentValue(const Instance& instance, int index) {
    if (instance.editorSequence[index].load(std::memory_order_acquire) !=
        instance.appliedSequence[index].load(std::memory_order_acquire))
        return instance.editorValue[index].load(std::memory_order_relaxed);
    return pluginParameter(*instance.core, index);
}

inline Instance& instanceOf(const clap::Plugin* plugin) { return *static_cast<Instance*>(plugin->pluginData); }

extern const clap::PluginFactory pluginFactory;

// The factory presets (presets.cpp).
extern const clap::PresetDiscoveryFactory presetDiscoveryFactory;
extern const clap::PluginPresetLoad presetLoadExtension;

// The editor's part (gui.cpp).
extern const clap::PluginGui guiExtension;
extern const clap::PluginTimerSupport timerExtension;
extern const clap::PluginPosixFdSupport descriptorExtension;
// Points the editor at the instance; its edits go to the ring.
void attachEditor(Instance& instance);
// Closes the editor and gives back the timer and descriptor, if it was created.
void destroyGui(Instance& instance);

}  // namespace orbelune::clapadapter
