// The plug-in as CLAP: a factory with one descriptor, and per instance the
// plug-in record with its extensions (audio ports, parameters, state, latency,
// tail; the editor's in gui.cpp). Underneath is the same core, engine and
// parameter table as every other format.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "clap/instance.h"
#include "core/identity.h"
#include "core/parameters.h"

namespace orbelune::clapadapter {

namespace {

const char* const kFeatures[] = {"audio-effect", "reverb", "stereo", nullptr};

const clap::PluginDescriptor kDescriptor = {clap::kVersion, identity::kClapId, identity::kEffectName,
                                            identity::kVendorName, "", "", "", identity::kVersionText, "", kFeatures};

bool isParamId(clap::Id id) { return id < static_cast<clap::Id>(kParamCount); }

// Where the tail changes, the host is told from the audio thread, as it asks.
void reportTail(Instance& instance) {
    const std::uint32_t frames = pluginTailFrames(*instance.core);
    if (frames == instance.tailFrames) return;
    instance.tailFrames = frames;
    if (instance.hostTail != nullptr && instance.hostTail->changed != nullptr) instance.hostTail->changed(instance.host);
}

// ---- the host's events ------------------------------------------------------------

// A parameter value event, as the 0..1 value the core stores; other events
// (gestures, notes, transport, other spaces) are not changes.
bool changeOf(const clap::EventHeader* event, ParameterChange& change) {
    if (event == nullptr || event->spaceId != clap::kCoreEventSpace || event->type != clap::kEventParamValue ||
        event->size < sizeof(clap::EventParamValue))
        return false;
    const auto* value = reinterpret_cast<const clap::EventParamValue*>(event);
    if (!isParamId(value->paramId)) return false;
    const int index = static_cast<int>(value->paramId);
    const auto latest = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    change = {static_cast<std::int32_t>(std::min(event->time, latest)), index, steppedValue(index, value->value)};
    return true;
}

// Walks a block's input list for the core, which takes changes in frame order
// as hosts send them.
struct EventCursor {
    const clap::InputEvents* list;
    std::uint32_t count;
    std::uint32_t next;
    bool changed;
};

EventCursor cursorOver(const clap::InputEvents* list) {
    const bool usable = list != nullptr && list->size != nullptr && list->get != nullptr;
    return {list, usable ? list->size(list) : 0, 0, false};
}

bool nextChange(void* context, ParameterChange& change) {
    auto& cursor = *static_cast<EventCursor*>(context);
    while (cursor.next < cursor.count) {
        if (changeOf(cursor.list->get(cursor.list, cursor.next++), change)) {
            cursor.changed = true;
            return true;
        }
    }
    return false;
}

// Changes with no audio to place them in take effect at once.
void applyAll(Instance& instance, EventCursor& cursor) {
    ParameterChange change{};
    while (nextChange(&cursor, change)) setPluginParameter(*instance.core, change.index, change.value);
}

// ---- the editor's edits, out to the host ----------------------------------------------

bool pushEvent(const clap::OutputEvents* out, const Edit& edit) {
    constexpr std::uint32_t kLive = 1;  // a user's own action
    if (edit.type == clap::kEventParamValue) {
        clap::EventParamValue event{};
        event.header = {sizeof(event), 0, clap::kCoreEventSpace, edit.type, kLive};
        event.paramId = edit.index;
        event.noteId = -1;  // global: every note, port, channel and key
        event.portIndex = event.channel = event.key = -1;
        event.value = edit.value;
        return out->tryPush(out, &event.header);
    }
    clap::EventParamGesture event{};
    event.header = {sizeof(event), 0, clap::kCoreEventSpace, edit.type, kLive};
    event.paramId = edit.index;
    return out->tryPush(out, &event.header);
}

// An edit is the core's once the host has it, so the two never disagree. A
// value older than one already handed over (the newest, sent at an earlier
// gesture's end while this one waited in the ring) is dropped: the host and
// the core keep the newest.
bool handOver(Instance& instance, const clap::OutputEvents* out, const Edit& edit) {
    if (edit.type == clap::kEventParamValue &&
        static_cast<std::int32_t>(edit.sequence -
                                  instance.appliedSequence[edit.index].load(std::memory_order_acquire)) <= 0)
        return true;
    if (!pushEvent(out, edit)) return false;
    if (edit.type == clap::kEventParamValue) {
        setPluginParameter(*instance.core, edit.index, edit.value);
        instance.appliedSequence[edit.index].store(edit.sequence, std::memory_order_release);
    }
    return true;
}

// The newest edit of a parameter whose value found the ring full.
bool sendUnsent(Instance& instance, const clap::OutputEvents* out, int index) {
    if (!instance.unsentValue[index].exchange(false, std::memory_order_acquire)) return true;
    const std::uint32_t sequence = instance.editorSequence[index].load(std::memory_order_acquire);
    const Edit newest{clap::kEventParamValue, static_cast<std::uint16_t>(index),
                      instance.editorValue[index].load(std::memory_order_relaxed), sequence};
    if (handOver(instance, out, newest)) return true;
    instance.unsentValue[index].store(true, std::memory_order_relaxed);
    return false;
}

// Hands the host what the editor did, in order, after the host's own changes
// of the same call; what the host cannot take now stays for the next process
// or flush.
void sendEdits(Instance& instance, const clap::OutputEvents* out) {
    if (out == nullptr || out->tryPush == nullptr) return;
    while (const Edit* edit = peekEdit(instance.edits)) {
        // A value left out of a gesture goes before the gesture's end.
        if (edit->type == clap::kEventParamGestureEnd && !sendUnsent(instance, out, edit->index)) return;
        if (!handOver(instance, out, *edit)) return;
        popEdit(instance.edits);
    }
    for (int index = 0; index < kParamCount; ++index)
        if (!sendUnsent(instance, out, index)) return;
}

// ---- plug-in ----------------------------------------------------------------------------

bool pluginInit(const clap::Plugin* plugin) {
    Instance& instance = instanceOf(plugin);
    const clap::Host* host = instance.host;
    if (host->getExtension != nullptr) {
        instance.hostParams = static_cast<const clap::HostParams*>(host->getExtension(host, clap::kExtParams));
        instance.hostTail = static_cast<const clap::HostTail*>(host->getExtension(host, clap::kExtTail));
        instance.hostTimers = static_cast<const clap::HostTimerSupport*>(host->getExtension(host, clap::kExtTimerSupport));
        instance.hostFds =
            static_cast<const clap::HostPosixFdSupport*>(host->getExtension(host, clap::kExtPosixFdSupport));
        instance.hostGui = static_cast<const clap::HostGui*>(host->getExtension(host, clap::kExtGui));
        instance.hostPresetLoad = static_cast<const clap::HostPresetLoad*>(host->getExtension(host, clap::kExtPresetLoad));
        if (instance.hostPresetLoad == nullptr)
            instance.hostPresetLoad =
                static_cast<const clap::HostPresetLoad*>(host->getExtension(host, clap::kExtPresetLoadDraft));
    }
    // Counted here, on the main thread, rather than in the factory, which any thread may call.
    if (!instance.initialized) countEditorInstanceIn();
    instance.initialized = true;
    return true;
}

void pluginDestroy(const clap::Plugin* plugin) {
    Instance* instance = &instanceOf(plugin);
    instance->destroying = true;  // a drag the closing editor ends asks the host for nothing
    destroyGui(*instance);
    if (instance->initialized) countEditorInstanceOut();
    destroyPlugin(instance->core);
    delete instance;
}

bool pluginActivate(const clap::Plugin* plugin, double sampleRate, std::uint32_t, std::uint32_t) {
    Instance& instance = instanceOf(plugin);
    // The same clamp as the other formats, at the 32-bit rate VST 2 hosts give;
    // a fresh start clears the tail.
    setPluginSampleRate(*instance.core, static_cast<float>(sampleRate));
    instance.tailFrames = pluginTailFrames(*instance.core);
    return true;
}

void pluginDeactivate(const clap::Plugin*) {}
bool pluginStartProcessing(const clap::Plugin*) { return true; }
void pluginStopProcessing(const clap::Plugin*) {}

// At the rate the engine already runs at, its preparation reuses its lines
// and allocates nothing, so the audio thread may clear the tail this way.
void pluginReset(const clap::Plugin* plugin) {
    Plugin& core = *instanceOf(plugin).core;
    setPluginSampleRate(core, core.sampleRate);
}

std::int32_t pluginProcess(const clap::Plugin* plugin, const clap::Process* process) {
    Instance& instance = instanceOf(plugin);
    if (process == nullptr) return clap::kProcessError;
    EventCursor cursor = cursorOver(process->inEvents);

    const clap::AudioBuffer* out = process->audioOutputsCount >= 1 ? process->audioOutputs : nullptr;
    if (out == nullptr || out->data32 == nullptr || out->channelCount < 2 || out->data32[0] == nullptr ||
        out->data32[1] == nullptr) {
        applyAll(instance, cursor);  // nothing to play into, but the host's changes still count
        if (cursor.changed) requestEditorRepaint(instance.editor);
        sendEdits(instance, process->outEvents);
        return clap::kProcessError;
    }
    float* outputs[2] = {out->data32[0], out->data32[1]};
    // A port without 32-bit buffers is silence; the core reads inputs before it
    // writes, so in-place buffers are safe.
    const clap::AudioBuffer* in = process->audioInputsCount >= 1 ? process->audioInputs : nullptr;
    const float* inputs[2] = {nullptr, nullptr};
    if (in != nullptr && in->data32 != nullptr && in->channelCount >= 2) {
        inputs[0] = in->data32[0];
        inputs[1] = in->data32[1];
    }
    const auto frames = static_cast<std::int32_t>(
        std::min<std::uint32_t>(process->framesCount, static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())));
    processPluginAutomated(*instance.core, inputs, outputs, frames, nextChange, &cursor);
    process->audioOutputs[0].constantMask = 0;
    if (cursor.changed) requestEditorRepaint(instance.editor);
    sendEdits(instance, process->outEvents);  // heard from the next block on
    reportTail(instance);
    return clap::kProcessContinue;  // a reverb rings on after its input
}

void pluginOnMainThread(const clap::Plugin*) {}

// ---- audio ports ------------------------------------------------------------------------

std::uint32_t portCount(const clap::Plugin*, bool) { return 1; }

bool portGet(const clap::Plugin*, std::uint32_t index, bool isInput, clap::AudioPortInfo* info) {
    if (index != 0 || info == nullptr) return false;
    std::memset(info, 0, sizeof(*info));
    info->id = 0;
    std::strcpy(info->name, isInput ? "Stereo In" : "Stereo Out");
    info->flags = clap::kAudioPortIsMain;
    info->channelCount = 2;
    info->portType = clap::kPortStereo;
    info->inPlacePair = 0;  // the other direction's port: one buffer may serve both
    return true;
}

const clap::PluginAudioPorts kAudioPorts = {portCount, portGet};

// ---- parameters ----------------------------------------------------------------------------

std::uint32_t paramCount(const clap::Plugin*) { return kParamCount; }

bool paramInfo(const clap::Plugin*, std::uint32_t index, clap::ParamInfo* info) {
    if (index >= static_cast<std::uint32_t>(kParamCount) || info == nullptr) return false;
    std::memset(info, 0, sizeof(*info));
    const ParameterInfo& row = parameterTable[index];
    info->id = index;
    // "Bypass" merges with the host's own bypass button, which then switches the
    // plug-in's bit-exact pass-through.
    info->flags = clap::kParamIsAutomatable | (row.toggle ? clap::kParamIsBypass | clap::kParamIsStepped : 0);
    std::strncpy(info->name, row.name, clap::kNameSize - 1);
    info->minValue = 0.0;
    info->maxValue = 1.0;
    info->defaultValue = row.defaultValue;
    return true;
}

bool paramValue(const clap::Plugin* plugin, clap::Id id, double* value) {
    if (!isParamId(id) || value == nullptr) return false;
    *value = currentValue(instanceOf(plugin), static_cast<int>(id));
    return true;
}

bool paramValueToText(const clap::Plugin*, clap::Id id, double value, char* text, std::uint32_t capacity) {
    if (!isParamId(id) || text == nullptr || capacity == 0) return false;
    char shown[kParamDisplayBytes];
    formatParameterValue(static_cast<int>(id), steppedValue(static_cast<int>(id), value), shown);
    const std::size_t length = std::min<std::size_t>(std::strlen(shown), capacity - 1);
    std::memcpy(text, shown, length);
    text[length] = '\0';
    return true;
}

bool paramTextToValue(const clap::Plugin*, clap::Id id, const char* text, double* value) {
    float parsed = 0.0f;
    if (!isParamId(id) || value == nullptr || !parseParameterText(static_cast<int>(id), text, parsed)) return false;
    *value = steppedValue(static_cast<int>(id), parsed);
    return true;
}

// The host's changes while nothing is processed, and the editor's edits out.
void paramFlush(const clap::Plugin* plugin, const clap::InputEvents* in, const clap::OutputEvents* out) {
    Instance& instance = instanceOf(plugin);
    EventCursor cursor = cursorOver(in);
    applyAll(instance, cursor);
    if (cursor.changed) requestEditorRepaint(instance.editor);
    sendEdits(instance, out);
}

const clap::PluginParams kParams = {paramCount, paramInfo, paramValue, paramValueToText, paramTextToValue, paramFlush};

// ---- state -------------------------------------------------------------------------------

// The newest value of each parameter, an edit the host has not had yet included.
bool stateSave(const clap::Plugin* plugin, const clap::OutputStream* stream) {
    if (stream == nullptr || stream->write == nullptr) return false;
    const Instance& instance = instanceOf(plugin);
    SavedState state;
    for (int index = 0; index < kParamCount; ++index) state.values[index] = currentValue(instance, index);
    state.preset = instance.preset;
    unsigned char record[kStateBytes];
    encodeState(state, record);
    for (std::size_t done = 0; done < kStateBytes;) {
        const std::int64_t written = stream->write(stream, record + done, kStateBytes - done);
        if (written <= 0 || static_cast<std::uint64_t>(written) > kStateBytes - done) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Reads to the stream's end, however few bytes each call brings, one byte past
// our record so that a longer one is seen as foreign.
bool stateLoad(const clap::Plugin* plugin, const clap::InputStream* stream) {
    if (stream == nullptr || stream->read == nullptr) return false;
    unsigned char record[kStateBytes + 1];
    std::size_t done = 0;
    while (done < sizeof(record)) {
        const std::int64_t got = stream->read(stream, record + done, sizeof(record) - done);
        if (got == 0) break;
        if (got < 0 || static_cast<std::uint64_t>(got) > sizeof(record) - done) return false;
        done += static_cast<std::size_t>(got);
    }
    Instance& instance = instanceOf(plugin);
    SavedState state;
    if (!loadPluginState(*instance.core, record, done, state)) return false;  // the current values stay
    instance.preset = state.preset;
    requestEditorRepaint(instance.editor);
    return true;
}

const clap::PluginState kState = {stateSave, stateLoad};

std::uint32_t latencyGet(const clap::Plugin*) { return kLatencyFrames; }
const clap::PluginLatency kLatency = {latencyGet};

std::uint32_t tailGet(const clap::Plugin* plugin) { return pluginTailFrames(*instanceOf(plugin).core); }
const clap::PluginTail kTail = {tailGet};

const void* pluginExtension(const clap::Plugin*, const char* id) {
    if (id == nullptr) return nullptr;
    struct Offer {
        const char* id;
        const void* table;
    };
    static const Offer offers[] = {
        {clap::kExtAudioPorts, &kAudioPorts}, {clap::kExtParams, &kParams}, {clap::kExtState, &kState},
        {clap::kExtLatency, &kLatency},       {clap::kExtTail, &kTail},     {clap::kExtGui, &guiExtension},
        {clap::kExtPresetLoad, &presetLoadExtension}, {clap::kExtPresetLoadDraft, &presetLoadExtension},
#if !defined(_WIN32)
        {clap::kExtTimerSupport, &timerExtension}, {clap::kExtPosixFdSupport, &descriptorExtension},
#endif
    };
    for (const Offer& offer : offers)
        if (std::strcmp(id, offer.id) == 0) return offer.table;
    return nullptr;
}

// ---- factory ------------------------------------------------------------------------------

std::uint32_t factoryCount(const clap::PluginFactory*) { return 1; }

const clap::PluginDescriptor* factoryDescriptor(const clap::PluginFactory*, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

// Nothing here calls the host: its extensions are asked for in init.
const clap::Plugin* factoryCreate(const clap::PluginFactory*, const clap::Host* host, const char* pluginId) {
    if (host == nullptr || host->version.major < 1 || pluginId == nullptr ||
        std::strcmp(pluginId, identity::kClapId) != 0)
        return nullptr;
    auto* instance = new (std::nothrow) Instance;
    if (instance == nullptr) return nullptr;
    instance->core = createPlugin();
    if (instance->core == nullptr) {
        delete instance;
        return nullptr;
    }
    instance->host = host;
    instance->record = {&kDescriptor,          instance,          pluginInit,          pluginDestroy,
                        pluginActivate,        pluginDeactivate,  pluginStartProcessing, pluginStopProcessing,
                        pluginReset,           pluginProcess,     pluginExtension,     pluginOnMainThread};
    attachEditor(*instance);
    return &instance->record;
}

}  // namespace

const clap::PluginFactory pluginFactory = {factoryCount, factoryDescriptor, factoryCreate};

}  // namespace orbelune::clapadapter
