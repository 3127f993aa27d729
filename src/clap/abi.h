// Our declarations of the CLAP binary interface: the records, tables and
// constants the plug-in and our test hosts use, laid out as CLAP hosts expect
// them on 64-bit Windows and Linux (natural alignment, no packing). CLAP is
// plain C: records of data and function pointers, each function taking first
// the record it was read from. Fields are named in this project's style; only
// their order, types and offsets matter to a host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clap {

using Id = std::uint32_t;
constexpr Id kInvalidId = 0xFFFFFFFF;

struct Version {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
};
// The release these declarations follow; any 1.x host loads a 1.y plug-in.
constexpr Version kVersion = {1, 2, 10};

struct Host;
struct Plugin;
struct Process;

// ---- entry and factory --------------------------------------------------------

struct PluginEntry {
    Version version;
    bool (*init)(const char* pluginPath);
    void (*deinit)();
    const void* (*getFactory)(const char* factoryId);
};

constexpr const char* kPluginFactoryId = "clap.plugin-factory";

struct PluginDescriptor {
    Version version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manualUrl;
    const char* supportUrl;
    const char* versionText;
    const char* description;
    const char* const* features;  // ended by a null pointer
};

struct PluginFactory {
    std::uint32_t (*getPluginCount)(const PluginFactory* factory);
    const PluginDescriptor* (*getPluginDescriptor)(const PluginFactory* factory, std::uint32_t index);
    const Plugin* (*createPlugin)(const PluginFactory* factory, const Host* host, const char* pluginId);
};

// ---- plug-in and host -----------------------------------------------------------

struct Plugin {
    const PluginDescriptor* descriptor;
    void* pluginData;
    bool (*init)(const Plugin* plugin);
    void (*destroy)(const Plugin* plugin);
    bool (*activate)(const Plugin* plugin, double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames);
    void (*deactivate)(const Plugin* plugin);
    bool (*startProcessing)(const Plugin* plugin);
    void (*stopProcessing)(const Plugin* plugin);
    void (*reset)(const Plugin* plugin);
    std::int32_t (*process)(const Plugin* plugin, const Process* process);
    const void* (*getExtension)(const Plugin* plugin, const char* id);
    void (*onMainThread)(const Plugin* plugin);
};

struct Host {
    Version version;
    void* hostData;
    const char* name;
    const char* vendor;
    const char* url;
    const char* versionText;
    const void* (*getExtension)(const Host* host, const char* extensionId);
    void (*requestRestart)(const Host* host);
    void (*requestProcess)(const Host* host);
    void (*requestCallback)(const Host* host);
};

// ---- processing and events --------------------------------------------------------

constexpr std::int32_t kProcessError = 0;
constexpr std::int32_t kProcessContinue = 1;

struct AudioBuffer {
    float** data32;
    double** data64;
    std::uint32_t channelCount;
    std::uint32_t latency;
    std::uint64_t constantMask;
};

struct EventHeader {
    std::uint32_t size;  // bytes, the header included
    std::uint32_t time;  // frame in the block
    std::uint16_t spaceId;
    std::uint16_t type;
    std::uint32_t flags;
};

constexpr std::uint16_t kCoreEventSpace = 0;
constexpr std::uint16_t kEventParamValue = 5;
constexpr std::uint16_t kEventParamGestureBegin = 7;
constexpr std::uint16_t kEventParamGestureEnd = 8;

struct EventParamValue {
    EventHeader header;
    Id paramId;
    void* cookie;
    std::int32_t noteId;  // -1 in these four: every voice
    std::int16_t portIndex;
    std::int16_t channel;
    std::int16_t key;
    double value;
};

struct EventParamGesture {
    EventHeader header;
    Id paramId;
};

struct InputEvents {
    void* context;
    std::uint32_t (*size)(const InputEvents* list);
    const EventHeader* (*get)(const InputEvents* list, std::uint32_t index);
};

struct OutputEvents {
    void* context;
    bool (*tryPush)(const OutputEvents* list, const EventHeader* event);
};

struct EventTransport;  // never read: a reverb needs no transport

struct Process {
    std::int64_t steadyTime;
    std::uint32_t framesCount;
    const EventTransport* transport;
    const AudioBuffer* audioInputs;
    AudioBuffer* audioOutputs;
    std::uint32_t audioInputsCount;
    std::uint32_t audioOutputsCount;
    const InputEvents* inEvents;
    const OutputEvents* outEvents;
};

// ---- extensions -------------------------------------------------------------------

constexpr const char* kExtAudioPorts = "clap.audio-ports";
constexpr const char* kExtParams = "clap.params";
constexpr const char* kExtState = "clap.state";
constexpr const char* kExtLatency = "clap.latency";
constexpr const char* kExtTail = "clap.tail";
constexpr const char* kExtGui = "clap.gui";
constexpr const char* kExtTimerSupport = "clap.timer-support";
constexpr const char* kExtPosixFdSupport = "clap.posix-fd-support";

constexpr std::size_t kNameSize = 256;
constexpr std::size_t kPathSize = 1024;

constexpr std::uint32_t kAudioPortIsMain = 1;
constexpr const char* kPortStereo = "stereo";

struct AudioPortInfo {
    Id id;
    char name[kNameSize];
    std::uint32_t flags;
    std::uint32_t channelCount;
    const char* portType;
    Id inPlacePair;
};

struct PluginAudioPorts {
    std::uint32_t (*count)(const Plugin* plugin, bool isInput);
    bool (*get)(const Plugin* plugin, std::uint32_t index, bool isInput, AudioPortInfo* info);
};

constexpr std::uint32_t kParamIsStepped = 1;
constexpr std::uint32_t kParamIsBypass = 16;
constexpr std::uint32_t kParamIsAutomatable = 32;

struct ParamInfo {
    Id id;
    std::uint32_t flags;
    void* cookie;
    char name[kNameSize];
    char module[kPathSize];
    double minValue;
    double maxValue;
    double defaultValue;
};

struct PluginParams {
    std::uint32_t (*count)(const Plugin* plugin);
    bool (*getInfo)(const Plugin* plugin, std::uint32_t index, ParamInfo* info);
    bool (*getValue)(const Plugin* plugin, Id paramId, double* value);
    bool (*valueToText)(const Plugin* plugin, Id paramId, double value, char* text, std::uint32_t capacity);
    bool (*textToValue)(const Plugin* plugin, Id paramId, const char* text, double* value);
    void (*flush)(const Plugin* plugin, const InputEvents* in, const OutputEvents* out);
};

constexpr std::uint32_t kParamRescanValues = 1;

struct HostParams {
    void (*rescan)(const Host* host, std::uint32_t flags);
    void (*clear)(const Host* host, Id paramId, std::uint32_t flags);
    void (*requestFlush)(const Host* host);
};

struct InputStream {
    void* context;
    std::int64_t (*read)(const InputStream* stream, void* buffer, std::uint64_t size);
};

struct OutputStream {
    void* context;
    std::int64_t (*write)(const OutputStream* stream, const void* buffer, std::uint64_t size);
};

struct PluginState {
    bool (*save)(const Plugin* plugin, const OutputStream* stream);
    bool (*load)(const Plugin* plugin, const InputStream* stream);
};

struct PluginLatency {
    std::uint32_t (*get)(const Plugin* plugin);
};

struct PluginTail {
    std::uint32_t (*get)(const Plugin* plugin);
};

struct HostTail {
    void (*changed)(const Host* host);
};

constexpr const char* kWindowApiWin32 = "win32";
constexpr const char* kWindowApiX11 = "x11";

struct Window {
    const char* api;
    union {
        void* win32;
        void* ptr;
        unsigned long x11;
    };
};

struct GuiResizeHints {
    bool canResizeHorizontally;
    bool canResizeVertically;
    bool preserveAspectRatio;
    std::uint32_t aspectRatioWidth;
    std::uint32_t aspectRatioHeight;
};

struct PluginGui {
    bool (*isApiSupported)(const Plugin* plugin, const char* api, bool isFloating);
    bool (*getPreferredApi)(const Plugin* plugin, const char** api, bool* isFloating);
    bool (*create)(const Plugin* plugin, const char* api, bool isFloating);
    void (*destroy)(const Plugin* plugin);
    bool (*setScale)(const Plugin* plugin, double scale);
    bool (*getSize)(const Plugin* plugin, std::uint32_t* width, std::uint32_t* height);
    bool (*canResize)(const Plugin* plugin);
    bool (*getResizeHints)(const Plugin* plugin, GuiResizeHints* hints);
    bool (*adjustSize)(const Plugin* plugin, std::uint32_t* width, std::uint32_t* height);
    bool (*setSize)(const Plugin* plugin, std::uint32_t width, std::uint32_t height);
    bool (*setParent)(const Plugin* plugin, const Window* window);
    bool (*setTransient)(const Plugin* plugin, const Window* window);
    void (*suggestTitle)(const Plugin* plugin, const char* title);
    bool (*show)(const Plugin* plugin);
    bool (*hide)(const Plugin* plugin);
};

struct HostGui {
    void (*resizeHintsChanged)(const Host* host);
    bool (*requestResize)(const Host* host, std::uint32_t width, std::uint32_t height);
    bool (*requestShow)(const Host* host);
    bool (*requestHide)(const Host* host);
    void (*closed)(const Host* host, bool wasDestroyed);
};

struct PluginTimerSupport {
    void (*onTimer)(const Plugin* plugin, Id timerId);
};

struct HostTimerSupport {
    bool (*registerTimer)(const Host* host, std::uint32_t periodMs, Id* timerId);
    bool (*unregisterTimer)(const Host* host, Id timerId);
};

constexpr std::uint32_t kFdRead = 1;
constexpr std::uint32_t kFdWrite = 2;
constexpr std::uint32_t kFdError = 4;

struct PluginPosixFdSupport {
    void (*onFd)(const Plugin* plugin, int fd, std::uint32_t flags);
};

struct HostPosixFdSupport {
    bool (*registerFd)(const Host* host, int fd, std::uint32_t flags);
    bool (*modifyFd)(const Host* host, int fd, std::uint32_t flags);
    bool (*unregisterFd)(const Host* host, int fd);
};

// ---- presets ------------------------------------------------------------------------

constexpr const char* kExtPresetLoad = "clap.preset-load/2";
constexpr const char* kExtPresetLoadDraft = "clap.preset-load.draft/2";
constexpr const char* kPresetDiscoveryFactoryId = "clap.preset-discovery-factory/2";
constexpr const char* kPresetDiscoveryFactoryDraftId = "clap.preset-discovery-factory/draft-2";
constexpr std::uint32_t kPresetLocationFile = 0;
constexpr std::uint32_t kPresetLocationPlugin = 1;  // presets inside the module; no location
constexpr std::uint32_t kPresetIsFactoryContent = 1;

struct PluginPresetLoad {
    bool (*fromLocation)(const Plugin* plugin, std::uint32_t locationKind, const char* location, const char* loadKey);
};

struct HostPresetLoad {
    void (*onError)(const Host* host, std::uint32_t locationKind, const char* location, const char* loadKey,
                    std::int32_t osError, const char* message);
    void (*loaded)(const Host* host, std::uint32_t locationKind, const char* location, const char* loadKey);
};

struct UniversalPluginId {
    const char* abi;
    const char* id;
};

struct PresetDiscoveryFiletype {
    const char* name;
    const char* description;
    const char* fileExtension;
};

struct PresetDiscoveryLocation {
    std::uint32_t flags;
    const char* name;
    std::uint32_t kind;
    const char* location;
};

struct PresetDiscoverySoundpack;

struct PresetDiscoveryMetadataReceiver {
    void* receiverData;
    void (*onError)(const PresetDiscoveryMetadataReceiver* receiver, std::int32_t osError, const char* message);
    bool (*beginPreset)(const PresetDiscoveryMetadataReceiver* receiver, const char* name, const char* loadKey);
    void (*addPluginId)(const PresetDiscoveryMetadataReceiver* receiver, const UniversalPluginId* pluginId);
    void (*setSoundpackId)(const PresetDiscoveryMetadataReceiver* receiver, const char* soundpackId);
    void (*setFlags)(const PresetDiscoveryMetadataReceiver* receiver, std::uint32_t flags);
    void (*addCreator)(const PresetDiscoveryMetadataReceiver* receiver, const char* creator);
    void (*setDescription)(const PresetDiscoveryMetadataReceiver* receiver, const char* description);
    void (*setTimestamps)(const PresetDiscoveryMetadataReceiver* receiver, std::uint64_t created,
                          std::uint64_t modified);
    void (*addFeature)(const PresetDiscoveryMetadataReceiver* receiver, const char* feature);
    void (*addExtraInfo)(const PresetDiscoveryMetadataReceiver* receiver, const char* key, const char* value);
};

struct PresetDiscoveryIndexer {
    Version version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* versionText;
    void* indexerData;
    bool (*declareFiletype)(const PresetDiscoveryIndexer* indexer, const PresetDiscoveryFiletype* filetype);
    bool (*declareLocation)(const PresetDiscoveryIndexer* indexer, const PresetDiscoveryLocation* location);
    bool (*declareSoundpack)(const PresetDiscoveryIndexer* indexer, const PresetDiscoverySoundpack* soundpack);
    const void* (*getExtension)(const PresetDiscoveryIndexer* indexer, const char* id);
};

struct PresetDiscoveryProviderDescriptor {
    Version version;
    const char* id;
    const char* name;
    const char* vendor;
};

struct PresetDiscoveryProvider {
    const PresetDiscoveryProviderDescriptor* descriptor;
    void* providerData;
    bool (*init)(const PresetDiscoveryProvider* provider);
    void (*destroy)(const PresetDiscoveryProvider* provider);
    bool (*getMetadata)(const PresetDiscoveryProvider* provider, std::uint32_t locationKind, const char* location,
                        const PresetDiscoveryMetadataReceiver* receiver);
    const void* (*getExtension)(const PresetDiscoveryProvider* provider, const char* id);
};

struct PresetDiscoveryFactory {
    std::uint32_t (*count)(const PresetDiscoveryFactory* factory);
    const PresetDiscoveryProviderDescriptor* (*getDescriptor)(const PresetDiscoveryFactory* factory,
                                                              std::uint32_t index);
    const PresetDiscoveryProvider* (*create)(const PresetDiscoveryFactory* factory,
                                             const PresetDiscoveryIndexer* indexer, const char* providerId);
};

// The layouts hosts rely on, the same on both targets.
static_assert(sizeof(Version) == 12);
static_assert(sizeof(PluginEntry) == 40 && offsetof(PluginEntry, init) == 16 && offsetof(PluginEntry, getFactory) == 32);
static_assert(sizeof(PluginDescriptor) == 88 && offsetof(PluginDescriptor, id) == 16 &&
              offsetof(PluginDescriptor, versionText) == 64 && offsetof(PluginDescriptor, features) == 80);
static_assert(sizeof(PluginFactory) == 24 && offsetof(PluginFactory, createPlugin) == 16);
static_assert(sizeof(Plugin) == 96 && offsetof(Plugin, init) == 16 && offsetof(Plugin, process) == 72 &&
              offsetof(Plugin, onMainThread) == 88);
static_assert(sizeof(Host) == 88 && offsetof(Host, hostData) == 16 && offsetof(Host, getExtension) == 56 &&
              offsetof(Host, requestCallback) == 80);
static_assert(sizeof(AudioBuffer) == 32 && offsetof(AudioBuffer, channelCount) == 16 &&
              offsetof(AudioBuffer, constantMask) == 24);
static_assert(sizeof(EventHeader) == 16 && offsetof(EventHeader, spaceId) == 8 && offsetof(EventHeader, type) == 10);
static_assert(sizeof(EventParamValue) == 56 && offsetof(EventParamValue, paramId) == 16 &&
              offsetof(EventParamValue, cookie) == 24 && offsetof(EventParamValue, noteId) == 32 &&
              offsetof(EventParamValue, key) == 40 && offsetof(EventParamValue, value) == 48);
static_assert(sizeof(EventParamGesture) == 20 && offsetof(EventParamGesture, paramId) == 16);
static_assert(sizeof(InputEvents) == 24 && offsetof(InputEvents, get) == 16);
static_assert(sizeof(OutputEvents) == 16 && offsetof(OutputEvents, tryPush) == 8);
static_assert(sizeof(Process) == 64 && offsetof(Process, framesCount) == 8 && offsetof(Process, audioInputs) == 24 &&
              offsetof(Process, audioInputsCount) == 40 && offsetof(Process, audioOutputsCount) == 44 &&
              offsetof(Process, inEvents) == 48 && offsetof(Process, outEvents) == 56);
static_assert(sizeof(AudioPortInfo) == 288 && offsetof(AudioPortInfo, flags) == 260 &&
              offsetof(AudioPortInfo, portType) == 272 && offsetof(AudioPortInfo, inPlacePair) == 280);
static_assert(sizeof(PluginAudioPorts) == 16);
static_assert(sizeof(ParamInfo) == 1320 && offsetof(ParamInfo, cookie) == 8 && offsetof(ParamInfo, name) == 16 &&
              offsetof(ParamInfo, module) == 272 && offsetof(ParamInfo, minValue) == 1296 &&
              offsetof(ParamInfo, defaultValue) == 1312);
static_assert(sizeof(PluginParams) == 48 && offsetof(PluginParams, flush) == 40);
static_assert(sizeof(HostParams) == 24 && offsetof(HostParams, requestFlush) == 16);
static_assert(sizeof(InputStream) == 16 && sizeof(OutputStream) == 16);
static_assert(sizeof(PluginState) == 16 && sizeof(PluginLatency) == 8 && sizeof(PluginTail) == 8 &&
              sizeof(HostTail) == 8);
static_assert(sizeof(Window) == 16 && offsetof(Window, x11) == 8);
static_assert(sizeof(GuiResizeHints) == 12 && offsetof(GuiResizeHints, aspectRatioWidth) == 4);
static_assert(sizeof(PluginGui) == 120 && offsetof(PluginGui, setParent) == 80 && offsetof(PluginGui, hide) == 112);
static_assert(sizeof(PluginTimerSupport) == 8 && sizeof(HostTimerSupport) == 16);
static_assert(sizeof(HostGui) == 40 && offsetof(HostGui, requestResize) == 8);
static_assert(sizeof(PluginPresetLoad) == 8 && sizeof(HostPresetLoad) == 16);
static_assert(sizeof(UniversalPluginId) == 16 && sizeof(PresetDiscoveryFiletype) == 24);
static_assert(sizeof(PresetDiscoveryLocation) == 32 && offsetof(PresetDiscoveryLocation, kind) == 16 &&
              offsetof(PresetDiscoveryLocation, location) == 24);
static_assert(sizeof(PresetDiscoveryMetadataReceiver) == 88 && offsetof(PresetDiscoveryMetadataReceiver, beginPreset) == 16 &&
              offsetof(PresetDiscoveryMetadataReceiver, setFlags) == 40 &&
              offsetof(PresetDiscoveryMetadataReceiver, addExtraInfo) == 80);
static_assert(sizeof(PresetDiscoveryIndexer) == 88 && offsetof(PresetDiscoveryIndexer, indexerData) == 48 &&
              offsetof(PresetDiscoveryIndexer, declareLocation) == 64 && offsetof(PresetDiscoveryIndexer, getExtension) == 80);
static_assert(sizeof(PresetDiscoveryProviderDescriptor) == 40 && offsetof(PresetDiscoveryProviderDescriptor, id) == 16);
static_assert(sizeof(PresetDiscoveryProvider) == 48 && offsetof(PresetDiscoveryProvider, getMetadata) == 32);
static_assert(sizeof(PresetDiscoveryFactory) == 24 && offsetof(PresetDiscoveryFactory, create) == 16);
static_assert(sizeof(PluginPosixFdSupport) == 8 && sizeof(HostPosixFdSupport) == 24);

}  // namespace clap
