// Our declarations of the VST 3 binary interface: the few interfaces, records
// and constants the plug-in and our test host use, laid out as the format's
// binaries expect on 64-bit Windows and Linux. Interfaces are classes of pure
// virtual methods in vtable order, with no data and no virtual destructor.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vst3 {

using int8 = char;
using int16 = std::int16_t;
using int32 = std::int32_t;
using int64 = std::int64_t;
using uint32 = std::uint32_t;
using uint64 = std::uint64_t;
using tresult = std::int32_t;
using TBool = std::uint8_t;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using String128 = TChar[128];
using FIDString = const char8*;
using TUID = std::uint8_t[16];
using ParamID = std::uint32_t;
using ParamValue = double;
using SampleRate = double;
using SpeakerArrangement = std::uint64_t;
using MediaType = std::int32_t;
using BusDirection = std::int32_t;
using BusType = std::int32_t;
using IoMode = std::int32_t;
using UnitID = std::int32_t;

// Result codes: COM's values on Windows, small numbers elsewhere.
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002);
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFF);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000E);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;

// An interface or class ID from its four words, in the platform's byte order:
// on Windows the first word is stored least significant byte first and the
// second as two 16-bit halves, each least significant byte first.
struct Uid {
    std::uint8_t bytes[16];
};
constexpr Uid makeUid(uint32 first, uint32 second, uint32 third, uint32 fourth) {
    Uid id{};
    const uint32 words[4] = {first, second, third, fourth};
    for (int word = 0; word < 4; ++word)
        for (int byte = 0; byte < 4; ++byte) id.bytes[word * 4 + byte] = static_cast<std::uint8_t>(words[word] >> (24 - 8 * byte));
#if defined(_WIN32)
    for (int byte = 0; byte < 4; ++byte) id.bytes[byte] = static_cast<std::uint8_t>(first >> (8 * byte));
    id.bytes[4] = static_cast<std::uint8_t>(second >> 16);
    id.bytes[5] = static_cast<std::uint8_t>(second >> 24);
    id.bytes[6] = static_cast<std::uint8_t>(second);
    id.bytes[7] = static_cast<std::uint8_t>(second >> 8);
#endif
    return id;
}
inline bool sameUid(const void* id, const Uid& other) {
    return id != nullptr && std::memcmp(id, other.bytes, sizeof(other.bytes)) == 0;
}

constexpr Uid kFUnknownIid = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
constexpr Uid kIPluginBaseIid = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
constexpr Uid kIPluginFactoryIid = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
constexpr Uid kIPluginFactory2Iid = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
constexpr Uid kIPluginFactory3Iid = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
constexpr Uid kIComponentIid = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
constexpr Uid kIAudioProcessorIid = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
constexpr Uid kIProcessContextRequirementsIid = makeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
constexpr Uid kIEditControllerIid = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
constexpr Uid kIEditController2Iid = makeUid(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
constexpr Uid kIComponentHandlerIid = makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
constexpr Uid kIConnectionPointIid = makeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
constexpr Uid kIHostApplicationIid = makeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
constexpr Uid kIBStreamIid = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
constexpr Uid kIParameterChangesIid = makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
constexpr Uid kIParamValueQueueIid = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
constexpr Uid kIPlugViewIid = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
constexpr Uid kIPlugFrameIid = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

class FUnknown;

// The count behind an object's addRef and release: it starts at one, owned by
// its creator, and the object goes when it reaches zero.
class ReferenceCount {
  public:
    uint32 add() { return count_.fetch_add(1) + 1; }
    uint32 drop() { return count_.fetch_sub(1) - 1; }

  private:
    std::atomic<uint32> count_{1};
};

class FUnknown {
  public:
    virtual tresult queryInterface(const TUID iid, void** object) = 0;
    virtual uint32 addRef() = 0;
    virtual uint32 release() = 0;
};

class IBStream : public FUnknown {
  public:
    virtual tresult read(void* buffer, int32 bytes, int32* bytesRead) = 0;
    virtual tresult write(void* buffer, int32 bytes, int32* bytesWritten) = 0;
    virtual tresult seek(int64 position, int32 mode, int64* result) = 0;
    virtual tresult tell(int64* position) = 0;
};

class IPluginBase : public FUnknown {
  public:
    virtual tresult initialize(FUnknown* context) = 0;
    virtual tresult terminate() = 0;
};

struct PFactoryInfo {
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};
constexpr int32 kFactoryUnicode = 16;

struct PClassInfo {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};
constexpr int32 kManyInstances = 0x7FFFFFFF;

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

class IPluginFactory : public FUnknown {
  public:
    virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 countClasses() = 0;
    virtual tresult getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult createInstance(FIDString cid, FIDString iid, void** object) = 0;
};

class IPluginFactory2 : public IPluginFactory {
  public:
    virtual tresult getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

struct BusInfo {
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

constexpr MediaType kAudio = 0;
constexpr MediaType kEvent = 1;
constexpr BusDirection kInput = 0;
constexpr BusDirection kOutput = 1;
constexpr BusType kMain = 0;
constexpr uint32 kDefaultActive = 1;
constexpr SpeakerArrangement kStereo = 3;
constexpr int32 kSample32 = 0;
constexpr int32 kSample64 = 1;
constexpr uint32 kNoTail = 0;

class IComponent : public IPluginBase {
  public:
    virtual tresult getControllerClassId(TUID classId) = 0;
    virtual tresult setIoMode(IoMode mode) = 0;
    virtual int32 getBusCount(MediaType type, BusDirection direction) = 0;
    virtual tresult getBusInfo(MediaType type, BusDirection direction, int32 index, BusInfo* bus) = 0;
    virtual tresult getRoutingInfo(RoutingInfo* in, RoutingInfo* out) = 0;
    virtual tresult activateBus(MediaType type, BusDirection direction, int32 index, TBool state) = 0;
    virtual tresult setActive(TBool state) = 0;
    virtual tresult setState(IBStream* state) = 0;
    virtual tresult getState(IBStream* state) = 0;
};

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    SampleRate sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;
    void** channelBuffers;  // float** for 32-bit samples, double** for 64-bit
};

class IParamValueQueue : public FUnknown {
  public:
    virtual ParamID getParameterId() = 0;
    virtual int32 getPointCount() = 0;
    virtual tresult getPoint(int32 index, int32* sampleOffset, ParamValue* value) = 0;
    virtual tresult addPoint(int32 sampleOffset, ParamValue value, int32* index) = 0;
};

class IParameterChanges : public FUnknown {
  public:
    virtual int32 getParameterCount() = 0;
    virtual IParamValueQueue* getParameterData(int32 index) = 0;
    virtual IParamValueQueue* addParameterData(const ParamID* id, int32* index) = 0;
};

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    void* inputEvents;
    void* outputEvents;
    void* processContext;
};

class IAudioProcessor : public FUnknown {
  public:
    virtual tresult setBusArrangements(SpeakerArrangement* inputs, int32 inputCount, SpeakerArrangement* outputs,
                                       int32 outputCount) = 0;
    virtual tresult getBusArrangement(BusDirection direction, int32 index, SpeakerArrangement* arrangement) = 0;
    virtual tresult canProcessSampleSize(int32 size) = 0;
    virtual uint32 getLatencySamples() = 0;
    virtual tresult setupProcessing(ProcessSetup* setup) = 0;
    virtual tresult setProcessing(TBool state) = 0;
    virtual tresult process(ProcessData* data) = 0;
    virtual uint32 getTailSamples() = 0;
};

class IProcessContextRequirements : public FUnknown {
  public:
    virtual uint32 getProcessContextRequirements() = 0;
};

struct ParameterInfo {
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};
constexpr int32 kCanAutomate = 1;
constexpr int32 kIsList = 8;
constexpr int32 kIsProgramChange = 0x8000;
constexpr int32 kIsBypass = 0x10000;
constexpr int32 kParamValuesChanged = 4;

class IComponentHandler : public FUnknown {
  public:
    virtual tresult beginEdit(ParamID id) = 0;
    virtual tresult performEdit(ParamID id, ParamValue value) = 0;
    virtual tresult endEdit(ParamID id) = 0;
    virtual tresult restartComponent(int32 flags) = 0;
};

class IPlugView;

// Its state calls are named apart from the component's, whose slots they
// would otherwise share in one object.
class IEditController : public IPluginBase {
  public:
    virtual tresult setComponentState(IBStream* state) = 0;
    virtual tresult setControllerState(IBStream* state) = 0;
    virtual tresult getControllerState(IBStream* state) = 0;
    virtual int32 getParameterCount() = 0;
    virtual tresult getParameterInfo(int32 index, ParameterInfo* info) = 0;
    virtual tresult getParamStringByValue(ParamID id, ParamValue value, TChar* text) = 0;
    virtual tresult getParamValueByString(ParamID id, TChar* text, ParamValue* value) = 0;
    virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue value) = 0;
    virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plain) = 0;
    virtual ParamValue getParamNormalized(ParamID id) = 0;
    virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* createView(FIDString name) = 0;
};

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

class IPlugFrame;

class IPlugView : public FUnknown {
  public:
    virtual tresult isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult attached(void* parent, FIDString type) = 0;
    virtual tresult removed() = 0;
    virtual tresult onWheel(float distance) = 0;
    virtual tresult onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult getSize(ViewRect* size) = 0;
    virtual tresult onSize(ViewRect* newSize) = 0;
    virtual tresult onFocus(TBool state) = 0;
    virtual tresult setFrame(IPlugFrame* frame) = 0;
    virtual tresult canResize() = 0;
    virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugFrame : public FUnknown {
  public:
    virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

// Scaling: the host's factor for a view, physical pixels per logical one.
constexpr Uid kIPlugViewContentScaleSupportIid = makeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);

class IPlugViewContentScaleSupport : public FUnknown {
  public:
    virtual tresult setContentScaleFactor(float factor) = 0;
};

// Units and program lists: how hosts find a plug-in's factory presets.
using ProgramListID = int32;
constexpr UnitID kRootUnitId = 0;
constexpr UnitID kNoParentUnitId = -1;
constexpr Uid kIUnitInfoIid = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);

struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

class IUnitInfo : public FUnknown {
  public:
    virtual int32 getUnitCount() = 0;
    virtual tresult getUnitInfo(int32 unitIndex, UnitInfo* info) = 0;
    virtual int32 getProgramListCount() = 0;
    virtual tresult getProgramListInfo(int32 listIndex, ProgramListInfo* info) = 0;
    virtual tresult getProgramName(ProgramListID listId, int32 programIndex, TChar* name) = 0;
    virtual tresult getProgramInfo(ProgramListID listId, int32 programIndex, FIDString attributeId, TChar* value) = 0;
    virtual tresult hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
    virtual tresult getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch, TChar* name) = 0;
    virtual UnitID getSelectedUnit() = 0;
    virtual tresult selectUnit(UnitID unitId) = 0;
    virtual tresult getUnitByBus(MediaType type, BusDirection direction, int32 busIndex, int32 channel,
                                 UnitID* unitId) = 0;
    virtual tresult setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;
};

// Linux hosts lend the editor their event loop: a timer, and a watch on the
// descriptor of the editor's own X connection.
constexpr Uid kIRunLoopIid = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
constexpr Uid kIEventHandlerIid = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
constexpr Uid kITimerHandlerIid = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

class IEventHandler : public FUnknown {
  public:
    virtual void onFDIsSet(int descriptor) = 0;
};

class ITimerHandler : public FUnknown {
  public:
    virtual void onTimer() = 0;
};

class IRunLoop : public FUnknown {
  public:
    virtual tresult registerEventHandler(IEventHandler* handler, int descriptor) = 0;
    virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult registerTimer(ITimerHandler* handler, uint64 milliseconds) = 0;
    virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
};

// The layouts hosts rely on, checked where both targets compile.
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116);
static_assert(sizeof(PClassInfo2) == 440 && offsetof(PClassInfo2, subCategories) == 120);
static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, busType) == 268);
static_assert(sizeof(RoutingInfo) == 12);
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(AudioBusBuffers) == 24 && offsetof(AudioBusBuffers, channelBuffers) == 16);
static_assert(sizeof(ProcessData) == 80 && offsetof(ProcessData, inputs) == 24 &&
              offsetof(ProcessData, processContext) == 72);
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776 && offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(ViewRect) == 16);
static_assert(sizeof(UnitInfo) == 268 && offsetof(UnitInfo, programListId) == 264);
static_assert(sizeof(ProgramListInfo) == 264 && offsetof(ProgramListInfo, programCount) == 260);

}  // namespace vst3
