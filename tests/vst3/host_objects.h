// The objects a VST 3 host hands to a plug-in, as small as our test hosts
// need them: a byte stream for state, and parameter changes for a block. Shared
// by the native host test and the Windows one run under Wine.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/format_equivalence.h"
#include "vst3/abi.h"

namespace vst3host {

using namespace vst3;

class MemoryStream final : public IBStream {
  public:
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
    tresult queryInterface(const TUID, void** object) override {
        *object = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    // Hands out at most 5 bytes a call, as a host's stream may.
    tresult read(void* buffer, int32 count, int32* got) override {
        const std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(count), 5, bytes.size() - position});
        if (n > 0) std::memcpy(buffer, bytes.data() + position, n);  // an empty vector's data may be null
        position += n;
        if (got != nullptr) *got = static_cast<int32>(n);
        return kResultOk;
    }
    tresult write(void* buffer, int32 count, int32* written) override {
        const auto* source = static_cast<const unsigned char*>(buffer);
        bytes.insert(bytes.end(), source, source + count);
        if (written != nullptr) *written = count;
        return kResultOk;
    }
    tresult seek(int64 to, int32, int64* result) override {
        position = static_cast<std::size_t>(to);
        if (result != nullptr) *result = to;
        return kResultOk;
    }
    tresult tell(int64* at) override {
        *at = static_cast<int64>(position);
        return kResultOk;
    }
};

class Queue final : public IParamValueQueue {
  public:
    ParamID id = 0;
    std::vector<std::pair<int32, ParamValue>> points;
    tresult queryInterface(const TUID, void** object) override {
        *object = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    ParamID getParameterId() override { return id; }
    int32 getPointCount() override { return static_cast<int32>(points.size()); }
    tresult getPoint(int32 index, int32* offset, ParamValue* value) override {
        *offset = points[index].first;
        *value = points[index].second;
        return kResultOk;
    }
    tresult addPoint(int32, ParamValue, int32*) override { return kResultFalse; }
};

class Changes final : public IParameterChanges {
  public:
    std::vector<Queue> queues;
    tresult queryInterface(const TUID, void** object) override {
        *object = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    int32 getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* getParameterData(int32 index) override { return &queues[index]; }
    IParamValueQueue* addParameterData(const ParamID*, int32*) override { return nullptr; }
};

// A block's changes as a host sends them: a queue per parameter, a point per change.
inline Changes changesOf(const equivalence::Block& block) {
    Changes changes;
    for (const equivalence::Change& change : block.changes) {
        const ParamID id = static_cast<ParamID>(change.index);
        auto queue = std::find_if(changes.queues.begin(), changes.queues.end(), [&](const Queue& q) { return q.id == id; });
        if (queue == changes.queues.end()) {
            changes.queues.emplace_back();
            queue = changes.queues.end() - 1;
            queue->id = id;
        }
        queue->points.emplace_back(change.frame, change.value);
    }
    return changes;
}

// One block of 32-bit stereo, processed in place, with the block's changes.
inline tresult processInPlace(IAudioProcessor* processor, float* left, float* right, int frames,
                              IParameterChanges* changes) {
    float* channels[2] = {left, right};
    AudioBusBuffers in{2, 0, reinterpret_cast<void**>(channels)};
    AudioBusBuffers out{2, 0, reinterpret_cast<void**>(channels)};
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = static_cast<int32>(frames);
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = changes;
    return processor->process(&data);
}
inline tresult processInPlace(IAudioProcessor* processor, std::vector<float>& left, std::vector<float>& right,
                              IParameterChanges* changes) {
    return processInPlace(processor, left.data(), right.data(), static_cast<int>(left.size()), changes);
}

// The format-equivalence harness's view of an instance: one block in place,
// its changes sent as the block's parameter changes.
inline auto blockRunner(IAudioProcessor* processor) {
    return [processor](float* left, float* right, const equivalence::Block& block) {
        Changes changes = changesOf(block);
        processInPlace(processor, left, right, block.frames, &changes);
    };
}

// The host's component handler, keeping the gestures it is told of: a run of
// performs for one parameter counts once, with its last value.
struct EditRecorder final : IComponentHandler {
    std::vector<std::string> calls;
    double lastValue = -1.0;
    tresult queryInterface(const TUID, void** object) override {
        *object = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult beginEdit(ParamID id) override {
        calls.push_back("begin " + std::to_string(id));
        return kResultOk;
    }
    tresult performEdit(ParamID id, ParamValue value) override {
        if (calls.empty() || calls.back() != "perform " + std::to_string(id)) calls.push_back("perform " + std::to_string(id));
        lastValue = value;
        return kResultOk;
    }
    tresult endEdit(ParamID id) override {
        calls.push_back("end " + std::to_string(id));
        return kResultOk;
    }
    tresult restartComponent(int32 flags) override {
        calls.push_back("restart " + std::to_string(flags));
        return kResultOk;
    }
};

// The factory's first class, made as hosts make it: the component, and the
// processor and controller found on it; members stay null where that failed.
struct Parts {
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
};

inline Parts createParts(IPluginFactory* factory) {
    Parts parts;
    PClassInfo info{};
    void* object = nullptr;
    if (factory == nullptr || factory->getClassInfo(0, &info) != kResultOk ||
        factory->createInstance(reinterpret_cast<const char*>(info.cid),
                                reinterpret_cast<const char*>(kIComponentIid.bytes), &object) != kResultOk)
        return parts;
    parts.component = static_cast<IComponent*>(object);
    parts.component->queryInterface(kIAudioProcessorIid.bytes, reinterpret_cast<void**>(&parts.processor));
    parts.component->queryInterface(kIEditControllerIid.bytes, reinterpret_cast<void**>(&parts.controller));
    return parts;
}

}  // namespace vst3host
