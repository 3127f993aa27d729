// The plug-in as VST 3: a factory with one class, and one object that is the
// processing component, the audio processor and the edit controller at once
// (the form the widest range of hosts loads: they find the controller on the
// component and need no connection between two parts). Underneath is the same
// core, engine and parameter table as every other format.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "core/identity.h"
#include "core/parameters.h"
#include "core/plugin.h"
#include "core/presets.h"
#include "editor/editor.h"
#include "platform/export.h"
#include "vst3/abi.h"
#include "vst3/view.h"

namespace orbelune::vst3adapter {

namespace {

using namespace vst3;

constexpr Uid kClassId = makeUid(identity::kClassIdWords[0], identity::kClassIdWords[1], identity::kClassIdWords[2],
                                 identity::kClassIdWords[3]);

void copyText(char* destination, std::size_t size, const char* text) {
    std::strncpy(destination, text, size - 1);
    destination[size - 1] = '\0';
}

void copyWide(TChar* destination, std::size_t size, const char* text) {
    std::size_t index = 0;
    for (; index + 1 < size && text[index] != '\0'; ++index)
        destination[index] = static_cast<TChar>(static_cast<unsigned char>(text[index]));
    destination[index] = 0;
}

bool isParamId(ParamID id) { return id < static_cast<ParamID>(kParamCount); }

// The factory presets as a program list on the root unit, chosen through one
// more parameter that hosts show as a preset menu. Program 0 is the plug-in
// as it starts, so a new instance names the program it sounds like.
constexpr ParamID kProgramId = kParamCount;
constexpr ProgramListID kProgramListId = static_cast<ProgramListID>(kProgramId);
constexpr int kProgramCount = kPresetCount + 1;
constexpr const char* kStartProgramName = "Default";

bool isProgramId(ParamID id) { return id == kProgramId; }

// A program's index from its normalized value, as stepped parameters map it.
int programOf(ParamValue value) {
    constexpr int steps = kProgramCount - 1;
    if (!(value > 0.0)) return 0;
    if (value >= 1.0) return steps;
    return std::min(steps, static_cast<int>(value * (steps + 1)));
}
ParamValue programValue(int program) { return static_cast<ParamValue>(program) / (kProgramCount - 1); }
const char* programName(int program) { return program == 0 ? kStartProgramName : presetTable[program - 1].name; }
// What choosing a program sets: the six values a preset holds; "Bypass" stays.
float programParameter(int program, int index) {
    return program == 0 ? parameterTable[index].defaultValue : presetTable[program - 1].values[index];
}
bool setByProgram(int index) { return !parameterTable[index].toggle; }

// Reads exactly `bytes`, however the stream delivers them.
bool readAll(IBStream* stream, void* buffer, int32 bytes) {
    auto* cursor = static_cast<unsigned char*>(buffer);
    while (bytes > 0) {
        int32 got = 0;
        if (stream->read(cursor, bytes, &got) != kResultOk || got <= 0 || got > bytes) return false;
        cursor += got;
        bytes -= got;
    }
    return true;
}

bool writeAll(IBStream* stream, const void* buffer, int32 bytes) {
    int32 written = 0;
    return stream->write(const_cast<void*>(buffer), bytes, &written) == kResultOk && written == bytes;
}

// A state record of either version, however the stream delivers it.
bool readState(IBStream* stream, SavedState& state) {
    unsigned char record[kStateBytes];
    if (stream == nullptr || !readAll(stream, record, kStateHeaderBytes)) return false;
    const std::size_t bytes = stateBytesFor(record);
    return bytes != 0 &&
           readAll(stream, record + kStateHeaderBytes, static_cast<int32>(bytes - kStateHeaderBytes)) &&
           decodeState(record, bytes, state);
}

class Vst3Plugin final : public IComponent,
                         public IAudioProcessor,
                         public IEditController,
                         public IProcessContextRequirements,
                         public IUnitInfo {
  public:
    explicit Vst3Plugin(Plugin* plugin) : plugin_(plugin) {
        for (int index = 0; index < kParamCount; ++index) controllerValues_[index] = pluginParameter(*plugin_, index);
        // The editor shows the controller's values and reports its gestures to
        // the host; the host then delivers the values to `process`.
        editor_.host = EditorHost{this,          editorParameter, editorOutputLevel, editorBeginEdit, editorPerformEdit,
                                  editorEndEdit, editorResize};
        editor_.formatName = L"VST3";
        countEditorInstanceIn();
    }
    Vst3Plugin(const Vst3Plugin&) = delete;
    Vst3Plugin& operator=(const Vst3Plugin&) = delete;

    // FUnknown
    tresult queryInterface(const TUID iid, void** object) override {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (sameUid(iid, kFUnknownIid) || sameUid(iid, kIPluginBaseIid) || sameUid(iid, kIComponentIid))
            *object = static_cast<IComponent*>(this);
        else if (sameUid(iid, kIAudioProcessorIid))
            *object = static_cast<IAudioProcessor*>(this);
        else if (sameUid(iid, kIEditControllerIid))
            *object = static_cast<IEditController*>(this);
        else if (sameUid(iid, kIProcessContextRequirementsIid))
            *object = static_cast<IProcessContextRequirements*>(this);
        else if (sameUid(iid, kIUnitInfoIid))
            *object = static_cast<IUnitInfo*>(this);
        if (*object == nullptr) return kNoInterface;
        addRef();
        return kResultOk;
    }
    uint32 addRef() override { return references_.add(); }
    uint32 release() override {
        const uint32 left = references_.drop();
        if (left == 0) delete this;
        return left;
    }

    // IPluginBase, once for the object: hosts find the controller on the component.
    tresult initialize(FUnknown* context) override {
        context_ = context;
        return kResultOk;
    }
    tresult terminate() override {
        handler_ = nullptr;
        context_ = nullptr;
        return kResultOk;
    }

    // IComponent
    tresult getControllerClassId(TUID) override { return kResultFalse; }
    tresult setIoMode(IoMode) override { return kResultOk; }
    int32 getBusCount(MediaType type, BusDirection) override { return type == kAudio ? 1 : 0; }
    tresult getBusInfo(MediaType type, BusDirection direction, int32 index, BusInfo* bus) override {
        if (type != kAudio || index != 0 || bus == nullptr || (direction != kInput && direction != kOutput))
            return kInvalidArgument;
        std::memset(bus, 0, sizeof(*bus));
        bus->mediaType = kAudio;
        bus->direction = direction;
        bus->channelCount = 2;
        copyWide(bus->name, 128, direction == kInput ? "Stereo In" : "Stereo Out");
        bus->busType = kMain;
        bus->flags = kDefaultActive;
        return kResultOk;
    }
    tresult getRoutingInfo(RoutingInfo*, RoutingInfo*) override { return kNotImplemented; }
    tresult activateBus(MediaType type, BusDirection, int32 index, TBool) override {
        return type == kAudio && index == 0 ? kResultOk : kInvalidArgument;
    }
    tresult setActive(TBool) override { return kResultOk; }
    // The record restores the values and the program the user had chosen,
    // without loading that program again over values edited since.
    tresult setState(IBStream* stream) override {
        SavedState state;
        if (!readState(stream, state)) return kResultFalse;  // the current state stays
        for (int index = 0; index < kParamCount; ++index) {
            setPluginParameter(*plugin_, index, state.values[index]);
            audioStamps_[index].store(stamp(), std::memory_order_release);
        }
        audioProgram_.store(state.preset + 1, std::memory_order_relaxed);
        audioStamps_[kProgramId].store(stamp(), std::memory_order_release);
        return kResultOk;
    }
    tresult getState(IBStream* stream) override {
        if (stream == nullptr) return kInvalidArgument;
        SavedState state;
        for (int index = 0; index < kParamCount; ++index) state.values[index] = savedValue(index);
        state.preset = savedProgram() - 1;
        unsigned char record[kStateBytes];
        encodeState(state, record);
        return writeAll(stream, record, kStateBytes) ? kResultOk : kResultFalse;
    }

    // IAudioProcessor
    tresult setBusArrangements(SpeakerArrangement* inputs, int32 inputCount, SpeakerArrangement* outputs,
                               int32 outputCount) override {
        const bool stereo = inputCount == 1 && outputCount == 1 && inputs != nullptr && outputs != nullptr &&
                            inputs[0] == kStereo && outputs[0] == kStereo;
        return stereo ? kResultOk : kResultFalse;  // refused, the stereo pair stays
    }
    tresult getBusArrangement(BusDirection direction, int32 index, SpeakerArrangement* arrangement) override {
        if (index != 0 || arrangement == nullptr || (direction != kInput && direction != kOutput))
            return kInvalidArgument;
        *arrangement = kStereo;
        return kResultOk;
    }
    tresult canProcessSampleSize(int32 size) override { return size == kSample32 ? kResultOk : kResultFalse; }
    uint32 getLatencySamples() override { return kLatencyFrames; }
    tresult setupProcessing(ProcessSetup* setup) override {
        if (setup == nullptr) return kInvalidArgument;
        if (setup->symbolicSampleSize != kSample32) return kResultFalse;
        // The rate goes through the same clamp as the other formats, and a
        // change clears the tail as theirs does.
        if (setup->sampleRate != rate_) {
            rate_ = setup->sampleRate;
            setPluginSampleRate(*plugin_, setup->sampleRate);
        }
        return kResultOk;
    }
    tresult setProcessing(TBool) override { return kResultOk; }
    tresult process(ProcessData* data) override {
        if (data == nullptr) return kInvalidArgument;
        if (data->symbolicSampleSize != kSample32) return kResultFalse;
        // Each point of the host's automation holds from its own frame: the
        // block is processed in pieces split there, and a new "Size" rebuilds
        // the lines at its frame. Without audio (a flush) the points only set
        // the values.
        ChangeCursor cursor(*this, data->inputParameterChanges);
        const bool hasOutputs = data->numSamples > 0 && data->numOutputs >= 1 && data->outputs != nullptr &&
                                data->outputs[0].numChannels >= 2 && data->outputs[0].channelBuffers != nullptr;
        if (!hasOutputs) {
            for (ParameterChange change{}; ChangeCursor::next(&cursor, change);)
                setPluginParameter(*plugin_, change.index, change.value);
            return kResultOk;
        }
        AudioBusBuffers& out = data->outputs[0];
        float* outputs[2] = {static_cast<float*>(out.channelBuffers[0]), static_cast<float*>(out.channelBuffers[1])};
        // A host that switched the input bus off may pass no buffers for it;
        // the core then takes silence and the tail still rings.
        const float* inputs[2] = {nullptr, nullptr};
        if (data->numInputs >= 1 && data->inputs != nullptr && data->inputs[0].numChannels >= 2 &&
            data->inputs[0].channelBuffers != nullptr) {
            inputs[0] = static_cast<const float*>(data->inputs[0].channelBuffers[0]);
            inputs[1] = static_cast<const float*>(data->inputs[0].channelBuffers[1]);
        }
        processPluginAutomated(*plugin_, inputs, outputs, data->numSamples, ChangeCursor::next, &cursor);
        // A channel of exact zeros is flagged so hosts may skip it; any tail
        // above zero is not, nor a channel the host gave no buffer.
        out.silenceFlags = 0;
        for (int channel = 0; channel < 2; ++channel) {
            const float* samples = outputs[channel];
            if (samples != nullptr &&
                std::all_of(samples, samples + data->numSamples, [](float x) { return x == 0.0f; }))
                out.silenceFlags |= std::uint64_t{1} << channel;
        }
        return kResultOk;
    }
    uint32 getTailSamples() override { return pluginTailFrames(*plugin_); }
    // IProcessContextRequirements: a reverb needs no transport.
    uint32 getProcessContextRequirements() override { return 0; }

    // IEditController
    tresult setComponentState(IBStream* stream) override {
        SavedState state;
        if (!readState(stream, state)) return kResultFalse;
        for (int index = 0; index < kParamCount; ++index) controllerValues_[index] = state.values[index];
        controllerProgram_ = state.preset + 1;
        requestEditorRepaint(editor_);
        return kResultOk;
    }
    tresult setControllerState(IBStream*) override { return kResultOk; }  // all state is the component's
    tresult getControllerState(IBStream*) override { return kResultOk; }
    int32 getParameterCount() override { return kParamCount + 1; }
    tresult getParameterInfo(int32 index, vst3::ParameterInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        if (isProgramId(static_cast<ParamID>(index))) return describeProgramParameter(*info);
        if (!isParameterIndex(index)) return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        info->id = static_cast<ParamID>(index);
        copyWide(info->title, 128, parameterTable[index].name);
        copyWide(info->shortTitle, 128, parameterTable[index].name);
        copyWide(info->units, 128, parameterTable[index].label);
        const bool toggle = parameterTable[index].toggle;
        info->stepCount = toggle ? 1 : 0;
        info->defaultNormalizedValue = parameterTable[index].defaultValue;
        info->flags = kCanAutomate | (toggle ? kIsBypass : 0);
        return kResultOk;
    }
    tresult getParamStringByValue(ParamID id, ParamValue value, TChar* text) override {
        announceNewValues();
        if (isProgramId(id) && text != nullptr) {
            copyWide(text, 128, programName(programOf(value)));
            return kResultOk;
        }
        if (!isParamId(id) || text == nullptr) return kInvalidArgument;
        char shown[kParamDisplayBytes];
        formatParameterValue(static_cast<int>(id), steppedValue(static_cast<int>(id), value), shown);
        copyWide(text, 128, shown);
        return kResultOk;
    }
    tresult getParamValueByString(ParamID id, TChar* text, ParamValue* value) override {
        if ((!isParamId(id) && !isProgramId(id)) || text == nullptr || value == nullptr) return kInvalidArgument;
        char narrow[64];
        std::size_t length = 0;
        for (; text[length] != 0; ++length) {
            if (length + 1 >= sizeof(narrow) || text[length] > 0x7F) return kResultFalse;
            narrow[length] = static_cast<char>(text[length]);
        }
        narrow[length] = '\0';
        if (isProgramId(id)) {
            for (int program = 0; program < kProgramCount; ++program)
                if (std::strcmp(narrow, programName(program)) == 0) {
                    *value = programValue(program);
                    return kResultOk;
                }
            return kResultFalse;
        }
        float parsed = 0.0f;
        if (!parseParameterText(static_cast<int>(id), narrow, parsed)) return kResultFalse;
        *value = steppedValue(static_cast<int>(id), parsed);
        return kResultOk;
    }
    ParamValue normalizedParamToPlain(ParamID id, ParamValue value) override {
        announceNewValues();
        if (isProgramId(id)) return programOf(value);
        if (!isParamId(id)) return value;
        const int index = static_cast<int>(id);
        if (parameterTable[index].toggle) return steppedValue(index, value);
        return displayNumber(index, clampParameter(static_cast<float>(value)));
    }
    ParamValue plainParamToNormalized(ParamID id, ParamValue plain) override {
        if (isProgramId(id)) return programValue(programOf(plain / kProgramCount));
        if (!isParamId(id)) return plain;
        const int index = static_cast<int>(id);
        if (parameterTable[index].toggle) return steppedValue(index, plain);
        return valueFromShown(index, plain);
    }
    ParamValue getParamNormalized(ParamID id) override {
        announceNewValues();
        if (isProgramId(id)) return programValue(controllerProgram_);
        return isParamId(id) ? controllerValues_[id] : 0.0;
    }
    tresult setParamNormalized(ParamID id, ParamValue value) override {
        if (isProgramId(id) && value >= 0.0 && value <= 1.0) return chooseProgram(programOf(value));
        if (!isParamId(id) || !(value >= 0.0 && value <= 1.0)) return kInvalidArgument;
        controllerValues_[id] = parameterTable[id].toggle ? steppedValue(static_cast<int>(id), value) : value;
        controllerChanged(static_cast<int>(id));
        requestEditorRepaint(editor_);
        return kResultOk;
    }
    tresult setComponentHandler(IComponentHandler* handler) override {
        handler_ = handler;
        return kResultOk;
    }
    IPlugView* createView(FIDString name) override {
        if (name == nullptr || std::strcmp(name, "editor") != 0) return nullptr;
        return createEditorView(editor_, static_cast<IEditController*>(this), handler_, context_, &attachedView_);
    }

    // IUnitInfo: the root unit, holding the one list of factory programs.
    int32 getUnitCount() override { return 1; }
    tresult getUnitInfo(int32 unitIndex, UnitInfo* info) override {
        if (unitIndex != 0 || info == nullptr) return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        info->id = kRootUnitId;
        info->parentUnitId = kNoParentUnitId;
        copyWide(info->name, 128, "Root");
        info->programListId = kProgramListId;
        return kResultOk;
    }
    int32 getProgramListCount() override { return 1; }
    tresult getProgramListInfo(int32 listIndex, ProgramListInfo* info) override {
        if (listIndex != 0 || info == nullptr) return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        info->id = kProgramListId;
        copyWide(info->name, 128, "Factory");
        info->programCount = kProgramCount;
        return kResultOk;
    }
    tresult getProgramName(ProgramListID listId, int32 program, TChar* name) override {
        if (listId != kProgramListId || program < 0 || program >= kProgramCount || name == nullptr)
            return kResultFalse;
        copyWide(name, 128, programName(program));
        return kResultOk;
    }
    tresult getProgramInfo(ProgramListID, int32, FIDString, TChar*) override { return kResultFalse; }
    tresult hasProgramPitchNames(ProgramListID, int32) override { return kResultFalse; }
    tresult getProgramPitchName(ProgramListID, int32, int16, TChar*) override { return kResultFalse; }
    UnitID getSelectedUnit() override { return kRootUnitId; }
    tresult selectUnit(UnitID unit) override { return unit == kRootUnitId ? kResultOk : kResultFalse; }
    tresult getUnitByBus(MediaType, BusDirection, int32, int32, UnitID*) override { return kResultFalse; }
    tresult setUnitProgramData(int32, int32, IBStream*) override { return kNotImplemented; }

  private:
    static tresult describeProgramParameter(vst3::ParameterInfo& info) {
        std::memset(&info, 0, sizeof(info));
        info.id = kProgramId;
        copyWide(info.title, 128, "Program");
        copyWide(info.shortTitle, 128, "Program");
        info.stepCount = kProgramCount - 1;
        info.unitId = kRootUnitId;
        // Not automatable: the values it sets are, and automating both would fight.
        info.flags = kIsProgramChange | kIsList;
        return kResultOk;
    }

    // The host's menu chose a program: the controller takes its values
    // itself and asks the host to read them all again (see
    // announceNewValues); the host sends the choice to the audio side, which
    // loads the same program. Choosing the
    // program already chosen changes nothing, so a host that sends it again
    // after restoring a project keeps the values the user edited.
    tresult chooseProgram(int program) {
        if (program == controllerProgram_) return kResultOk;
        controllerProgram_ = program;
        controllerChanged(kProgramId);
        for (int index = 0; index < kParamCount; ++index) {
            if (!setByProgram(index)) continue;
            controllerValues_[index] = programParameter(program, index);
            controllerChanged(index);
        }
        restartPending_ = true;
        requestEditorRepaint(editor_);
        return kResultOk;
    }

    // The host learns of the new values when it next asks the controller for
    // one, not from inside its own setParamNormalized: a host may hold a lock
    // there that its restart handling takes again (Ardour 7 does, and would
    // hang).
    void announceNewValues() {
        if (!restartPending_ || handler_ == nullptr) return;
        restartPending_ = false;
        handler_->restartComponent(kParamValuesChanged);
    }

    ~Vst3Plugin() {
        closeEditor(editor_);
        countEditorInstanceOut();
        destroyPlugin(plugin_);
    }

    static float editorParameter(void* context, int index) {
        return static_cast<float>(static_cast<Vst3Plugin*>(context)->controllerValues_[index]);
    }
    static float editorOutputLevel(void* context) {
        return static_cast<Vst3Plugin*>(context)->plugin_->outputMeter.load(std::memory_order_relaxed);
    }
    static void editorBeginEdit(void* context, int index) {
        if (IComponentHandler* handler = static_cast<Vst3Plugin*>(context)->handler_) handler->beginEdit(index);
    }
    static void editorPerformEdit(void* context, int index, float value) {
        auto* plugin = static_cast<Vst3Plugin*>(context);
        plugin->controllerValues_[index] = value;
        plugin->controllerChanged(index);
        if (plugin->handler_ != nullptr) plugin->handler_->performEdit(static_cast<ParamID>(index), value);
    }
    static void editorEndEdit(void* context, int index) {
        if (IComponentHandler* handler = static_cast<Vst3Plugin*>(context)->handler_) handler->endEdit(index);
    }
    static void editorResize(void* context, int width, int height) {
        if (IPlugView* view = static_cast<Vst3Plugin*>(context)->attachedView_) requestViewSize(view, width, height);
    }

    // The host's parameter queues as one stream of changes in frame order:
    // each queue's points come sorted, so the next change is the earliest
    // next point among the queues. A program change comes first among
    // changes at its frame, so automation there still wins, and stands for
    // the values of its program. Nothing is copied or allocated; queues
    // beyond one per parameter, and unknown ids, are passed over.
    class ChangeCursor {
      public:
        ChangeCursor(Vst3Plugin& plugin, IParameterChanges* changes) : plugin_(plugin) {
            const int32 count = changes != nullptr ? changes->getParameterCount() : 0;
            for (int32 index = 0; index < count && queueCount_ < kQueueCapacity; ++index) {
                IParamValueQueue* queue = changes->getParameterData(index);
                if (queue == nullptr || queue->getPointCount() <= 0) continue;
                const ParamID id = queue->getParameterId();
                if (isParamId(id) || isProgramId(id))
                    queues_[queueCount_++] = Queue{queue, id, queue->getPointCount(), 0};
            }
        }
        static bool next(void* context, ParameterChange& change) {
            auto& cursor = *static_cast<ChangeCursor*>(context);
            while (true) {
                if (cursor.loadNextProgramValue(change)) return true;
                Queue* earliest = nullptr;
                int32 earliestOffset = 0;
                ParamValue value = 0.0;
                for (int index = 0; index < cursor.queueCount_; ++index) {
                    Queue& queue = cursor.queues_[index];
                    int32 offset = 0;
                    ParamValue pointValue = 0.0;
                    if (queue.next >= queue.points ||
                        queue.queue->getPoint(queue.next, &offset, &pointValue) != kResultOk) {
                        queue.next = queue.points;  // a point that cannot be read ends its queue
                        continue;
                    }
                    if (earliest == nullptr || offset < earliestOffset ||
                        (offset == earliestOffset && isProgramId(queue.id))) {
                        earliest = &queue;
                        earliestOffset = offset;
                        value = pointValue;
                    }
                }
                if (earliest == nullptr) return false;
                ++earliest->next;
                Vst3Plugin& plugin = cursor.plugin_;
                if (isProgramId(earliest->id)) {
                    cursor.startProgram(programOf(value), earliestOffset);
                    continue;
                }
                const int index = static_cast<int>(earliest->id);
                change = ParameterChange{earliestOffset, index, steppedValue(index, value)};
                plugin.audioStamps_[index].store(plugin.stamp(), std::memory_order_release);
                return true;
            }
        }

      private:
        static constexpr int kQueueCapacity = kParamCount + 1;
        struct Queue {
            IParamValueQueue* queue;
            ParamID id;
            int32 points;
            int32 next;
        };

        // The program already loaded is not loaded again (see chooseProgram).
        void startProgram(int program, int32 frame) {
            if (program == plugin_.audioProgram_.load(std::memory_order_relaxed)) return;
            plugin_.audioProgram_.store(program, std::memory_order_relaxed);
            plugin_.audioStamps_[kProgramId].store(plugin_.stamp(), std::memory_order_release);
            program_ = program;
            programFrame_ = frame;
            programIndex_ = 0;
        }
        bool loadNextProgramValue(ParameterChange& change) {
            while (program_ >= 0 && programIndex_ < kParamCount) {
                const int index = programIndex_++;
                if (!setByProgram(index)) continue;
                change = ParameterChange{programFrame_, index, programParameter(program_, index)};
                plugin_.audioStamps_[index].store(plugin_.stamp(), std::memory_order_release);
                return true;
            }
            program_ = -1;
            return false;
        }

        Vst3Plugin& plugin_;
        Queue queues_[kQueueCapacity] = {};
        int queueCount_ = 0;
        int program_ = -1;  // a program whose values are being handed out
        int32 programFrame_ = 0;
        int programIndex_ = 0;
    };

    // One clock orders the changes of both sides, so the state can hold the
    // newer of each value. A host may save while it processes nothing (a
    // track switched off), when an edit has reached the controller but not
    // yet the audio side; the saved state must still hold that edit.
    std::uint64_t stamp() { return clock_.fetch_add(1, std::memory_order_relaxed) + 1; }
    void controllerChanged(int index) { controllerStamps_[index] = stamp(); }
    bool controllerIsNewer(int index) const {
        return controllerStamps_[index] > audioStamps_[index].load(std::memory_order_acquire);
    }
    float savedValue(int index) const {
        // Stored as the audio side would store it, so a saved -0 reads back as it was saved.
        if (controllerIsNewer(index)) return clampParameter(static_cast<float>(controllerValues_[index]));
        return pluginParameter(*plugin_, index);
    }
    int savedProgram() const {
        return controllerIsNewer(kProgramId) ? controllerProgram_ : audioProgram_.load(std::memory_order_relaxed);
    }

    ReferenceCount references_;
    Plugin* plugin_;
    Editor editor_;
    double rate_ = 0.0;
    // The controller's side of each value, apart from what the audio side
    // processes with, which comes only through `process` and the state.
    ParamValue controllerValues_[kParamCount] = {};
    int controllerProgram_ = 0;
    std::atomic<int> audioProgram_{0};
    // Stamped per parameter, the program last.
    std::atomic<std::uint64_t> clock_{0};
    std::uint64_t controllerStamps_[kParamCount + 1] = {};  // the user-interface thread's alone
    std::atomic<std::uint64_t> audioStamps_[kParamCount + 1] = {};
    IComponentHandler* handler_ = nullptr;
    FUnknown* context_ = nullptr;
    IPlugView* attachedView_ = nullptr;
    bool restartPending_ = false;  // the user-interface thread's alone
};

// The fields both class records begin with.
template <typename ClassInfo>
void describeClass(ClassInfo& info) {
    std::memset(&info, 0, sizeof(info));
    std::memcpy(info.cid, kClassId.bytes, sizeof(info.cid));
    info.cardinality = kManyInstances;
    copyText(info.category, sizeof(info.category), "Audio Module Class");
    copyText(info.name, sizeof(info.name), identity::kEffectName);
}

class Factory final : public IPluginFactory2 {
  public:
    tresult queryInterface(const TUID iid, void** object) override {
        if (object == nullptr) return kInvalidArgument;
        const bool known = sameUid(iid, kFUnknownIid) || sameUid(iid, kIPluginFactoryIid) ||
                           sameUid(iid, kIPluginFactory2Iid);
        *object = known ? static_cast<IPluginFactory2*>(this) : nullptr;
        return known ? kResultOk : kNoInterface;
    }
    // One factory for the module's lifetime: counting is not needed.
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }

    tresult getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        copyText(info->vendor, sizeof(info->vendor), identity::kVendorName);
        info->flags = kFactoryUnicode;
        return kResultOk;
    }
    int32 countClasses() override { return 1; }
    tresult getClassInfo(int32 index, PClassInfo* info) override {
        if (index != 0 || info == nullptr) return kInvalidArgument;
        describeClass(*info);
        return kResultOk;
    }
    tresult getClassInfo2(int32 index, PClassInfo2* info) override {
        if (index != 0 || info == nullptr) return kInvalidArgument;
        describeClass(*info);
        info->classFlags = 0;
        copyText(info->subCategories, sizeof(info->subCategories), "Fx|Reverb");
        copyText(info->vendor, sizeof(info->vendor), identity::kVendorName);
        copyText(info->version, sizeof(info->version), identity::kVersionText);
        copyText(info->sdkVersion, sizeof(info->sdkVersion), "VST 3.7.14");
        return kResultOk;
    }
    tresult createInstance(FIDString cid, FIDString iid, void** object) override {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (!sameUid(cid, kClassId)) return kNoInterface;
        Plugin* core = createPlugin();
        if (core == nullptr) return kOutOfMemory;
        auto* plugin = new (std::nothrow) Vst3Plugin(core);
        if (plugin == nullptr) {
            destroyPlugin(core);
            return kOutOfMemory;
        }
        const tresult found = plugin->queryInterface(reinterpret_cast<const std::uint8_t*>(iid), object);
        plugin->release();  // the creation's reference; the asked interface holds its own
        return found;
    }
};

Factory factory;

}  // namespace

vst3::IPluginFactory* pluginFactory() { return &factory; }

}  // namespace orbelune::vst3adapter

// The module's entry points, plain C names. Entry and exit may come more than
// once; there is nothing to set up beyond what loading the module did.
extern "C" ORBELUNE_EXPORT vst3::IPluginFactory* GetPluginFactory() { return orbelune::vst3adapter::pluginFactory(); }
#if defined(_WIN32)
extern "C" ORBELUNE_EXPORT bool InitDll() { return true; }
extern "C" ORBELUNE_EXPORT bool ExitDll() { return true; }
#else
extern "C" ORBELUNE_EXPORT bool ModuleEntry(void*) { return true; }
extern "C" ORBELUNE_EXPORT bool ModuleExit() { return true; }
#endif
