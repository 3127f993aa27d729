#include "hardening/vst3_calls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "hardening/byte_reader.h"
#include "vst2/instance.h"
#include "vst3/abi.h"
#include "vst3/host_objects.h"

extern "C" vst3::IPluginFactory* GetPluginFactory();

namespace hardening {

namespace {

using namespace vst3;
using vst3host::Changes;
using vst3host::MemoryStream;
using vst3host::Queue;

constexpr int kMaxInstances = 2;
constexpr int kMaxFrames = 4096;
constexpr int kMaxChannels = 3;
constexpr double kOutputLimit = 0.99000001;  // the output stage's ±0.99, with a float's rounding
constexpr int kOff = 0, kOn = 1, kUnknown = -1;

const Uid kKnownIids[] = {
    kFUnknownIid,         kIPluginBaseIid,      kIPluginFactoryIid,    kIPluginFactory2Iid,
    kIPluginFactory3Iid,  kIComponentIid,       kIAudioProcessorIid,   kIProcessContextRequirementsIid,
    kIEditControllerIid,  kIEditController2Iid, kIComponentHandlerIid, kIConnectionPointIid,
    kIHostApplicationIid, kIBStreamIid,         kIParameterChangesIid, kIParamValueQueueIid,
    kIPlugViewIid,        kIPlugFrameIid};

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "VST 3 call invariant violated: %s\n", what);
    std::abort();
}

void require(bool holds, const char* what) {
    if (!holds) violated(what);
}

// Interface IDs we know, near misses of them, and noise.
Uid anyUid(ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    Uid id = kKnownIids[reader.byte() % std::size(kKnownIids)];
    if (kind >= 192) {
        for (auto& byte : id.bytes) byte = reader.byte();
    } else if (kind >= 128) {
        const std::uint8_t at = reader.byte() % 16;
        id.bytes[at] ^= reader.byte() | 1;
    }
    return id;
}

// Mostly the parameters and a few past them, sometimes any 32 bits.
ParamID anyId(ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    return kind < 192 ? kind % 10 : reader.word();
}

int32 anyIndex(ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    return kind < 192 ? static_cast<int32>(kind % 11) - 1 : static_cast<int32>(reader.word());
}

bool terminated(const TChar* text, std::size_t size) { return std::find(text, text + size, TChar(0)) != text + size; }
bool normalized(ParamValue value) { return value >= 0.0 && value <= 1.0; }

// The least a host may pass to initialize: an object that offers nothing.
class EmptyContext final : public FUnknown {
  public:
    tresult queryInterface(const TUID, void** object) override {
        if (object != nullptr) *object = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
};

// One instance as the host holds it, and what the host knows of it from the
// calls the plug-in accepted.
struct Instance {
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    FUnknown* identity = nullptr;  // for comparison only: no reference is held through it
    bool initialized = false;
    bool setUp = false;
    bool active = false;
    bool processing = false;
    int32 sampleSize = kSample32;
    bool busActive[2] = {false, false};  // the main input and output
    // The bypass the audio side was last given, through a block or a state:
    // the controller's edits reach it only when the host sends them.
    int audioBypass = kOff;
};

// What a call may change, and where a change would show.
struct Snapshot {
    std::vector<unsigned char> state;
    std::vector<ParamValue> values;
    SpeakerArrangement arrangements[2] = {};
};

struct Allowed {
    bool state = false;
    bool values = false;
    bool arrangements = false;
};

struct Session {
    IPluginFactory* factory = GetPluginFactory();
    Uid classId{};
    EmptyContext context;
    Instance slots[kMaxInstances];
    // An instance of its own that reads values out of state records through its
    // controller, as a host learns them; it never processes.
    Instance probe;
    std::vector<ParamID> ids;
    std::vector<int32> steps;
    int bypass = -1;  // index into ids
    bool bypassedAtFirst = false;
    int live = 0;

    Session();
    ~Session();
};

template <typename Interface>
Interface* ask(FUnknown* object, const Uid& iid) {
    void* found = nullptr;
    if (object->queryInterface(iid.bytes, &found) != kResultOk) return nullptr;
    require(found != nullptr, "query succeeded without an object");
    return static_cast<Interface*>(found);
}

FUnknown* identityOf(FUnknown* object) {
    FUnknown* unknown = ask<FUnknown>(object, kFUnknownIid);
    require(unknown != nullptr, "an interface without FUnknown");
    unknown->release();
    return unknown;
}

// The sequence hosts open an instance with, each step required to succeed.
void bringUp(Session& session, Instance& instance) {
    ProcessSetup setup{0, kSample32, 1024, 48000.0};
    require(instance.component->initialize(&session.context) == kResultOk &&
                instance.processor->setupProcessing(&setup) == kResultOk &&
                instance.component->setActive(1) == kResultOk && instance.processor->setProcessing(1) == kResultOk,
            "the ordinary opening sequence refused");
    instance.initialized = instance.setUp = instance.active = instance.processing = true;
    instance.sampleSize = kSample32;
}

// Creates through the factory, asking for `iid`; false, with nothing held,
// when the factory refused.
bool create(Session& session, Instance& instance, const Uid& cid, const Uid& iid, bool withPlace) {
    void* object = nullptr;
    const tresult result = session.factory->createInstance(
        reinterpret_cast<FIDString>(cid.bytes), reinterpret_cast<FIDString>(iid.bytes), withPlace ? &object : nullptr);
    if (result != kResultOk || !withPlace) {
        require(result != kResultOk, "creation with no place for the object succeeded");
        require(object == nullptr, "refused creation left an object");
        return false;
    }
    require(object != nullptr, "creation succeeded without an object");
    auto* created = static_cast<FUnknown*>(object);
    instance.component = ask<IComponent>(created, kIComponentIid);
    instance.processor = ask<IAudioProcessor>(created, kIAudioProcessorIid);
    instance.controller = ask<IEditController>(created, kIEditControllerIid);
    require(instance.component != nullptr && instance.processor != nullptr && instance.controller != nullptr,
            "the object is not component, processor and controller at once");
    instance.identity = identityOf(created);
    require(identityOf(instance.component) == instance.identity &&
                identityOf(instance.processor) == instance.identity &&
                identityOf(instance.controller) == instance.identity,
            "interfaces of one object with different identities");
    created->release();
    ++session.live;
    instance.audioBypass = session.bypassedAtFirst ? kOn : kOff;
    // Hosts switch on the buses that ask to be on.
    for (BusDirection direction : {kInput, kOutput}) {
        BusInfo bus{};
        if (instance.component->getBusCount(kAudio, direction) > 0 &&
            instance.component->getBusInfo(kAudio, direction, 0, &bus) == kResultOk &&
            (bus.flags & kDefaultActive) != 0)
            instance.busActive[direction] = instance.component->activateBus(kAudio, direction, 0, 1) == kResultOk;
    }
    return true;
}

// Gives back every reference, in any order; what is still held must answer
// until the last one goes.
void release(Session& session, Instance& instance, std::uint8_t how) {
    if ((how & 1) != 0) {
        instance.processor->setProcessing(0);
        instance.component->setActive(0);
        instance.component->terminate();
    }
    FUnknown* held[3] = {instance.component, instance.processor, instance.controller};
    static const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    const int* order = orders[(how >> 1) % 6];
    for (int step = 0; step < 3; ++step) {
        held[order[step]]->release();
        if (step < 2) require(identityOf(held[order[step + 1]]) == instance.identity, "identity changed on release");
    }
    instance = Instance{};
    --session.live;
}

Session::Session() {
    PClassInfo info{};
    require(factory != nullptr && factory->countClasses() >= 1 && factory->getClassInfo(0, &info) == kResultOk,
            "no class in the factory");
    std::memcpy(classId.bytes, info.cid, sizeof(classId.bytes));
    if (!create(*this, probe, classId, kIComponentIid, true)) violated("the factory refused its own class");
    require(probe.component->initialize(&context) == kResultOk, "initialize refused");
    const int32 count = probe.controller->getParameterCount();
    for (int32 index = 0; index < count; ++index) {
        vst3::ParameterInfo parameter{};
        require(probe.controller->getParameterInfo(index, &parameter) == kResultOk, "a counted parameter without info");
        if ((parameter.flags & kIsBypass) != 0) {
            bypass = index;
            bypassedAtFirst = parameter.defaultNormalizedValue >= 0.5;
        }
        ids.push_back(parameter.id);
        steps.push_back(parameter.stepCount);
    }
}

Session::~Session() {
    for (Instance& instance : slots)
        if (instance.component != nullptr) release(*this, instance, 1);
    release(*this, probe, 1);
}

int indexOf(const Session& session, ParamID id) {
    const auto found = std::find(session.ids.begin(), session.ids.end(), id);
    return found == session.ids.end() ? -1 : static_cast<int>(found - session.ids.begin());
}

std::vector<unsigned char> stateOf(Instance& instance) {
    MemoryStream stream;
    require(instance.component->getState(&stream) == kResultOk && !stream.bytes.empty(), "getState failed");
    return stream.bytes;
}

Snapshot snapshot(Session& session, Instance& instance) {
    Snapshot shot;
    shot.state = stateOf(instance);
    for (ParamID id : session.ids) {
        shot.values.push_back(instance.controller->getParamNormalized(id));
        require(normalized(shot.values.back()), "a controller value out of 0..1");
    }
    for (BusDirection direction : {kInput, kOutput})
        if (instance.component->getBusCount(kAudio, direction) > 0)
            require(instance.processor->getBusArrangement(direction, 0, &shot.arrangements[direction]) == kResultOk,
                    "a main bus without an arrangement");
    return shot;
}

// The bypass a state record holds, read as a host reads it: the record handed
// to a controller, the toggle on from one half.
int recordBypass(Session& session, const std::vector<unsigned char>& record) {
    if (session.bypass < 0) return kOff;
    MemoryStream stream;
    stream.bytes = record;
    if (session.probe.controller->setComponentState(&stream) != kResultOk) return kUnknown;
    return session.probe.controller->getParamNormalized(session.ids[session.bypass]) >= 0.5 ? kOn : kOff;
}

// ---- processing ------------------------------------------------------------

template <typename Sample>
Sample sentinel() {
    // A NaN no arithmetic produces: the host's stale contents, recognisable.
    if constexpr (sizeof(Sample) == sizeof(float)) {
        const std::uint32_t bits = 0x7FC00BADu;
        float value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    } else {
        const std::uint64_t bits = 0x7FF8000000000BADull;
        double value;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
}

template <typename Sample>
void fillInput(ByteReader& reader, std::vector<Sample>& channel) {
    const std::uint8_t pattern = reader.byte();
    Sample value;
    if constexpr (sizeof(Sample) == sizeof(float))
        value = reader.anyFloat();
    else
        value = reader.anyDouble();
    for (std::size_t frame = 0; frame < channel.size(); ++frame) {
        switch (pattern % 4) {
            case 0:
                channel[frame] = value;
                break;  // constant, maybe NaN
            case 1:
                channel[frame] = frame == 0 ? value : Sample(0);
                break;  // one bad sample
            case 2:
                channel[frame] = static_cast<Sample>(std::sin(0.01 * frame));
                break;  // ordinary audio
            default:
                channel[frame] = static_cast<Sample>(static_cast<int>(frame * 7919 % 2001) - 1000) / 1000;
                break;
        }
    }
}

template <typename Sample>
bool sameSamples(const Sample* samples, const std::vector<Sample>& other) {
    return other.empty() || std::memcmp(samples, other.data(), other.size() * sizeof(Sample)) == 0;
}

// Frame by frame either within the limit or the input's sample: a block whose
// bypass turns at a frame inside it passes some frames on and reverberates others.
template <typename Sample>
bool withinLimitOrPassed(const Sample* samples, const std::vector<Sample>& input, std::size_t frames) {
    for (std::size_t frame = 0; frame < frames; ++frame)
        if (!(std::isfinite(samples[frame]) && std::fabs(static_cast<double>(samples[frame])) <= kOutputLimit) &&
            (input.empty() || std::memcmp(&samples[frame], &input[frame], sizeof(Sample)) != 0))
            return false;
    return true;
}

template <typename Sample>
bool withinLimit(const Sample* samples, std::size_t frames) {
    for (std::size_t frame = 0; frame < frames; ++frame)
        if (!std::isfinite(samples[frame]) || std::fabs(static_cast<double>(samples[frame])) > kOutputLimit)
            return false;
    return true;
}

Changes anyChanges(ByteReader& reader, int queues) {
    Changes changes;
    for (int count = 0; count < queues; ++count) {
        Queue queue;
        queue.id = anyId(reader);
        for (int points = reader.byte() % 4; points > 0; --points) {
            const std::uint8_t offset = reader.byte();  // unsorted, and now and then outside the block
            const int32 at = offset < 200 ? offset : static_cast<int32>(reader.word());
            queue.points.push_back({at, reader.anyDouble()});
        }
        changes.queues.push_back(queue);
    }
    return changes;
}

// One block as a host may hand it: mostly the stereo pair the plug-in
// announced, otherwise any shape of buses, channels and null pointers.
template <typename Sample>
void processBlock(Session& session, Instance& instance, ByteReader& reader, int32 sampleSize) {
    const std::uint8_t shape = reader.byte();
    const std::uint8_t length = reader.byte();
    static const int32 oddLengths[] = {0, -1, -kMaxFrames, std::numeric_limits<int32>::min(), 1};
    const int32 numSamples =
        length < 224 ? static_cast<int32>(reader.word() % (kMaxFrames + 1)) : oddLengths[length % 5];
    const std::size_t frames = numSamples > 0 ? static_cast<std::size_t>(numSamples) : 0;
    const bool ordinary = (shape & 0x80) == 0;

    std::vector<Sample> samples[2][2][kMaxChannels], before[2][2][kMaxChannels];  // direction, bus, channel
    void* pointers[2][2][kMaxChannels] = {};
    AudioBusBuffers buses[2][2] = {};
    int32 busCount[2] = {1, 1};
    bool busArray[2] = {true, true};
    for (int direction = 0; direction < 2; ++direction) {
        if (!ordinary) {
            const std::uint8_t layout = reader.byte();
            busCount[direction] = static_cast<int32>(layout & 3) - 1;
            busArray[direction] = (layout & 4) == 0;
        }
        for (int bus = 0; bus < 2; ++bus) {
            // Bits 0-1 the channel count, bit 2 no channel array, bits 3-5 null channels.
            std::uint8_t layout = bus == 0 ? 0x02 : 0x00;
            if (!ordinary)
                layout = reader.byte();
            else if (bus == 0 && direction == kInput && !instance.busActive[kInput] && (shape & 1) != 0)
                layout = 0x1A;  // an inactive input's channels may be null
            AudioBusBuffers& buffers = buses[direction][bus];
            buffers.numChannels = layout & 3;
            buffers.channelBuffers = (layout & 4) != 0 ? nullptr : pointers[direction][bus];
            for (int channel = 0; channel < buffers.numChannels; ++channel) {
                if (((layout >> (3 + channel)) & 1) != 0) continue;
                std::vector<Sample>& storage = samples[direction][bus][channel];
                storage.resize(frames);
                if (direction == kInput)
                    fillInput(reader, storage);
                else
                    std::fill(storage.begin(), storage.end(), sentinel<Sample>());
                pointers[direction][bus][channel] = storage.data();
            }
        }
    }
    if (ordinary && (shape & 0x40) != 0)  // in place, where the input has channels
        for (int channel = 0; channel < 2; ++channel)
            if (pointers[kInput][0][channel] != nullptr) pointers[kOutput][0][channel] = pointers[kInput][0][channel];
    for (int direction = 0; direction < 2; ++direction)
        for (int bus = 0; bus < 2; ++bus)
            for (int channel = 0; channel < kMaxChannels; ++channel)
                if (pointers[direction][bus][channel] != nullptr) {
                    const auto* first = static_cast<const Sample*>(pointers[direction][bus][channel]);
                    before[direction][bus][channel].assign(first, first + frames);
                }

    const std::uint8_t queues = reader.byte();
    Changes changes = anyChanges(reader, queues % 4);
    ProcessData data{};
    data.processMode = (shape >> 4) & 3;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = numSamples;
    data.numInputs = busCount[kInput];
    data.numOutputs = busCount[kOutput];
    data.inputs = busArray[kInput] ? buses[kInput] : nullptr;
    data.outputs = busArray[kOutput] ? buses[kOutput] : nullptr;
    data.inputParameterChanges = (queues & 0x80) != 0 ? nullptr : &changes;

    // What the host promises in an ordinary block, past which the plug-in must
    // fill its outputs: an open, set-up, processing instance; one bus each way
    // with the announced channels; the output's present; an active input's too.
    auto channelsOf = [&](BusDirection direction) {
        SpeakerArrangement arrangement = 0;
        instance.processor->getBusArrangement(direction, 0, &arrangement);
        return static_cast<int32>(__builtin_popcountll(arrangement));
    };
    auto present = [&](BusDirection direction) {
        const AudioBusBuffers& buffers = buses[direction][0];
        if (buffers.channelBuffers == nullptr || buffers.numChannels != channelsOf(direction)) return false;
        for (int channel = 0; channel < buffers.numChannels; ++channel)
            if (pointers[direction][0][channel] == nullptr) return false;
        return true;
    };
    const bool wellFormed =
        instance.initialized && instance.setUp && instance.active && instance.processing &&
        sampleSize == instance.sampleSize && numSamples > 0 && busCount[kInput] == 1 && busCount[kOutput] == 1 &&
        busArray[kInput] && busArray[kOutput] && instance.busActive[kOutput] && present(kOutput) &&
        buses[kInput][0].channelBuffers != nullptr && buses[kInput][0].numChannels == channelsOf(kInput) &&
        (!instance.busActive[kInput] || present(kInput));

    const tresult result = instance.processor->process(&data);
    require(!wellFormed || result == kResultOk, "an ordinary block refused");
    // A value outside 0..1, or one the block was refused with, leaves it open.
    // Points hold from their frames, so a bypass that turns inside the block
    // leaves the block's own frames open, and its last point the state after.
    int queuesForBypass = 0;
    bool bypassTurns = false;
    for (const Queue& queue : changes.queues) {
        if (data.inputParameterChanges == nullptr || session.bypass < 0 || queue.id != session.ids[session.bypass] ||
            queue.points.empty())
            continue;
        const ParamValue value = queue.points.back().second;
        const bool another = ++queuesForBypass > 1;
        const bool open = result != kResultOk || !normalized(value) || another;
        bypassTurns |= queue.points.size() > 1 || queue.points.front().first > 0;
        instance.audioBypass = open ? kUnknown : value >= 0.5 ? kOn : kOff;
    }
    const int bypass = bypassTurns ? kUnknown : instance.audioBypass;

    for (int bus = 0; bus < 2; ++bus)
        for (int channel = 0; channel < kMaxChannels; ++channel) {
            const auto* input = static_cast<const Sample*>(pointers[kInput][bus][channel]);
            bool shared = false;
            for (int other = 0; other < kMaxChannels; ++other) shared |= input == pointers[kOutput][bus][other];
            if (input != nullptr && !shared)
                require(sameSamples(input, before[kInput][bus][channel]), "an input buffer written");
        }
    for (int bus = 0; bus < 2; ++bus)
        for (int channel = 0; channel < buses[kOutput][bus].numChannels; ++channel) {
            const auto* output = static_cast<const Sample*>(pointers[kOutput][bus][channel]);
            if (output == nullptr) continue;
            const bool valid = withinLimit(output, frames);
            const bool fromInput = bus == 0 && channel < 2 && pointers[kInput][0][channel] != nullptr;
            const bool passedThrough = fromInput && sameSamples(output, before[kInput][0][channel]);
            if ((buses[kOutput][bus].silenceFlags >> channel & 1) != 0)
                require(std::all_of(output, output + frames, [](Sample sample) { return sample == 0; }),
                        "a channel flagged silent is not");
            if (wellFormed && bus == 0 && channel < 2)
                require(bypass == kOn && fromInput     ? passedThrough
                        : bypass == kOff || !fromInput ? valid
                                                       : withinLimitOrPassed(output, before[kInput][0][channel], frames),
                        bypass == kOn && fromInput ? "bypassed sample" : "output sample");
            else
                require(sameSamples(output, before[kOutput][bus][channel]) || valid ||
                            (bypass != kOff && (passedThrough || (fromInput && withinLimitOrPassed(
                                                                                  output, before[kInput][0][channel],
                                                                                  frames)))),
                        "output sample");
        }
}

void process(Session& session, Instance& instance, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    if (kind == 0xFF)
        instance.processor->process(nullptr);
    else if (kind >= 224)
        processBlock<double>(session, instance, reader, kSample64);
    else
        processBlock<float>(session, instance, reader, kSample32);
}

// ---- state -----------------------------------------------------------------

// A record for setState or setComponentState: none, noise, or one of ours as
// getState wrote it, alone, followed by other bytes, cut short, or altered.
void restore(Session& session, Instance& instance, ByteReader& reader, Allowed& allowed) {
    const std::uint8_t kind = reader.byte();
    const bool component = (kind & 0x80) == 0;
    Instance& source = session.slots[reader.byte() % kMaxInstances];
    const std::vector<unsigned char> original = stateOf(source.component != nullptr ? source : instance);
    MemoryStream stream;
    switch (kind % 6) {
        case 0:
            break;
        case 1:
            for (int count = reader.byte() % 48; count > 0; --count) stream.bytes.push_back(reader.byte());
            break;
        default:
            stream.bytes = original;
            break;
    }
    if (kind % 6 == 3)  // a host's stream may hold more than our record
        for (int count = reader.byte() % 8 + 1; count > 0; --count) stream.bytes.push_back(reader.byte());
    if (kind % 6 == 4) stream.bytes.resize(reader.byte() % stream.bytes.size());
    if (kind % 6 == 5)
        for (int count = reader.byte() % 4 + 1; count > 0; --count) {
            const std::size_t at = reader.byte() % stream.bytes.size();
            if ((reader.byte() & 1) != 0) {
                stream.bytes[at] = reader.byte();
            } else if (at + sizeof(float) <= stream.bytes.size()) {
                const float value = reader.anyFloat();
                std::memcpy(stream.bytes.data() + at, &value, sizeof(value));
            }
        }
    IBStream* given = kind % 6 == 0 ? nullptr : &stream;
    const tresult result =
        component ? instance.component->setState(given) : instance.controller->setComponentState(given);
    const bool ours = kind % 6 == 2 || kind % 6 == 3;
    require(!ours || result == kResultOk, "its own state record refused");
    if (result != kResultOk) return;
    // The controller's values may reach the saved state as well as the record's.
    allowed.values = allowed.state = true;
    if (!component) return;
    const std::vector<unsigned char> now = stateOf(instance);
    require(!ours || now == original, "a restored state differs from its record");
    MemoryStream again;
    again.bytes = now;
    require(instance.component->setState(&again) == kResultOk && stateOf(instance) == now,
            "a state does not restore itself");
    instance.audioBypass = recordBypass(session, now);
}

void controllerState(Instance& instance, ByteReader& reader) {
    MemoryStream own;
    require(instance.controller->getControllerState(&own) == kResultOk, "getControllerState failed");
    require(instance.controller->setControllerState(&own) == kResultOk, "its own controller state refused");
    MemoryStream noise;
    for (int count = reader.byte() % 32; count > 0; --count) noise.bytes.push_back(reader.byte());
    instance.controller->setControllerState(&noise);
    instance.controller->setControllerState(nullptr);
    instance.controller->getControllerState(nullptr);
    instance.component->getState(nullptr);
}

// ---- parameters ------------------------------------------------------------

// A value's text reads back as a value with the same text, as when a user
// types what the host showed.
void readBack(Instance& instance, ParamID id, ParamValue value, bool mustShow) {
    String128 shown;
    std::fill(std::begin(shown), std::end(shown), TChar(0xFFFF));
    const tresult result = instance.controller->getParamStringByValue(id, value, shown);
    require(!mustShow || result == kResultOk, "a parameter without a text for its value");
    if (result != kResultOk) return;
    require(terminated(shown, 128), "a value text without an end");
    ParamValue parsed = -1.0;
    require(instance.controller->getParamValueByString(id, shown, &parsed) == kResultOk,
            "a value text that does not read back");
    require(normalized(parsed), "a text read as a value out of 0..1");
    String128 again{};
    require(instance.controller->getParamStringByValue(id, parsed, again) == kResultOk &&
                std::equal(shown, std::find(shown, shown + 128, TChar(0)) + 1, again),
            "a value text reads back as another value");
}

void describe(Instance& instance, ByteReader& reader) {
    const int32 count = instance.controller->getParameterCount();
    const int32 index = anyIndex(reader);
    vst3::ParameterInfo info;
    std::memset(&info, 0xA5, sizeof(info));
    const tresult result = instance.controller->getParameterInfo(index, &info);
    instance.controller->getParameterInfo(index, nullptr);
    require((result == kResultOk) == (index >= 0 && index < count), "parameter info disagrees with the count");
    if (result != kResultOk) return;
    require(terminated(info.title, 128) && terminated(info.shortTitle, 128) && terminated(info.units, 128),
            "a parameter text without an end");
    require(normalized(info.defaultNormalizedValue), "a default out of 0..1");
    readBack(instance, info.id, info.defaultNormalizedValue, true);
}

void texts(Instance& instance, ByteReader& reader) {
    const ParamID id = anyId(reader);
    readBack(instance, id, reader.anyDouble(), false);
    // What a user may type, ended as hosts end it.
    static const char alphabet[] = "0123456789.-+eE %msinfa";
    std::vector<TChar> typed;
    for (int count = reader.byte() % 80; count > 0; --count) {
        const std::uint8_t kind = reader.byte();
        if (kind < 200) {
            typed.push_back(static_cast<TChar>(alphabet[kind % (sizeof(alphabet) - 1)]));
        } else {
            const std::uint8_t low = reader.byte();
            typed.push_back(static_cast<TChar>(low | reader.byte() << 8));
        }
    }
    typed.push_back(0);
    ParamValue value = -1.0;
    if (instance.controller->getParamValueByString(id, typed.data(), &value) == kResultOk)
        require(normalized(value), "a text read as a value out of 0..1");
    instance.controller->getParamValueByString(id, typed.data(), nullptr);
    instance.controller->getParamValueByString(id, nullptr, &value);
    instance.controller->getParamStringByValue(id, 0.5, nullptr);
}

void convert(Session& session, Instance& instance, ByteReader& reader, Allowed& allowed) {
    const ParamID id = anyId(reader);
    const ParamValue value = reader.anyDouble();
    const ParamValue plain = instance.controller->normalizedParamToPlain(id, value);
    const ParamValue back = instance.controller->plainParamToNormalized(id, plain);
    const ParamValue other = instance.controller->plainParamToNormalized(id, reader.anyDouble());
    instance.controller->getParamNormalized(id);
    const int index = indexOf(session, id);
    if (index >= 0) {
        require(std::isfinite(plain), "a plain value not finite");
        require(normalized(back) && normalized(other), "a plain value converts to a value out of 0..1");
        if (session.steps[index] == 0 && normalized(value))
            require(std::fabs(back - value) <= 1e-5, "a plain value does not convert back");
    }
    const ParamValue wanted = reader.anyDouble();
    const tresult result = instance.controller->setParamNormalized(id, wanted);
    require(index < 0 || !normalized(wanted) || result == kResultOk, "a value in 0..1 refused");
    // An accepted edit may reach the saved state too: hosts save what the user last set.
    allowed.values = allowed.state = result == kResultOk;
}

// ---- buses, set-up, lifecycle ----------------------------------------------

void buses(Instance& instance, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    static const MediaType types[] = {kAudio, kAudio, kEvent};
    static const BusDirection directions[] = {kInput, kOutput, kOutput};
    const MediaType type = kind % 4 < 3 ? types[kind % 4] : static_cast<MediaType>(reader.word());
    const BusDirection direction =
        kind / 4 % 4 < 3 ? directions[kind / 4 % 4] : static_cast<BusDirection>(reader.word());
    const bool known = (type == kAudio || type == kEvent) && (direction == kInput || direction == kOutput);
    const int32 count = instance.component->getBusCount(type, direction);
    require(count >= 0, "a negative bus count");
    const int32 index = anyIndex(reader);
    const bool listed = index >= 0 && index < count;
    switch (kind / 16 % 4) {
        case 0: {
            BusInfo bus;
            std::memset(&bus, 0xA5, sizeof(bus));
            const tresult result = instance.component->getBusInfo(type, direction, index, &bus);
            instance.component->getBusInfo(type, direction, index, nullptr);
            if (known) require((result == kResultOk) == listed, "bus info disagrees with the count");
            if (result != kResultOk) break;
            require(bus.mediaType == type && bus.direction == direction && terminated(bus.name, 128),
                    "bus info of another bus");
            SpeakerArrangement arrangement = 0;
            if (type == kAudio)
                require(instance.processor->getBusArrangement(direction, index, &arrangement) == kResultOk &&
                            __builtin_popcountll(arrangement) == bus.channelCount,
                        "a bus's channels differ from its arrangement");
            break;
        }
        case 1: {
            SpeakerArrangement arrangement = 0;
            const tresult result = instance.processor->getBusArrangement(direction, index, &arrangement);
            instance.processor->getBusArrangement(direction, index, nullptr);
            if (result == kResultOk && (direction == kInput || direction == kOutput))
                require(index >= 0 && index < instance.component->getBusCount(kAudio, direction),
                        "an arrangement for a bus not counted");
            break;
        }
        case 2: {
            const TBool state = reader.byte();
            if (instance.component->activateBus(type, direction, index, state) == kResultOk && type == kAudio &&
                index == 0 && (direction == kInput || direction == kOutput))
                instance.busActive[direction] = state != 0;
            break;
        }
        default: {
            RoutingInfo in{type, index, static_cast<int32>(reader.word())};
            RoutingInfo out{};
            instance.component->getRoutingInfo(&in, &out);
            instance.component->getRoutingInfo(nullptr, nullptr);
            break;
        }
    }
}

void arrange(Instance& instance, ByteReader& reader, Allowed& allowed) {
    static const SpeakerArrangement common[] = {0, 1ull << 19, kStereo, 7, 0x3F, 0x33, ~0ull};
    const std::uint8_t layout = reader.byte();
    SpeakerArrangement wanted[2][2] = {};
    int32 counts[2];
    bool none[2];
    bool asItIs = true;
    for (int direction = 0; direction < 2; ++direction) {
        counts[direction] = static_cast<int32>(layout >> (3 * direction) & 3) - 1;
        none[direction] = (layout >> (3 * direction + 2) & 1) != 0;
        for (auto& arrangement : wanted[direction]) {
            const std::uint8_t kind = reader.byte();
            arrangement = kind < 128 ? common[kind % std::size(common)] : reader.longWord();
        }
        const int32 has = instance.component->getBusCount(kAudio, direction);
        asItIs = asItIs && !none[direction] && counts[direction] == has && has <= 2;
        for (int32 bus = 0; asItIs && bus < has; ++bus) {
            SpeakerArrangement current = 0;
            asItIs = instance.processor->getBusArrangement(direction, bus, &current) == kResultOk &&
                     current == wanted[direction][bus];
        }
    }
    const tresult result = instance.processor->setBusArrangements(none[0] ? nullptr : wanted[0], counts[0],
                                                                  none[1] ? nullptr : wanted[1], counts[1]);
    require(!asItIs || result == kResultOk, "the arrangement it has refused");
    if (result != kResultOk) return;
    allowed.arrangements = true;
    for (BusDirection direction : {kInput, kOutput}) {
        SpeakerArrangement now = 0;
        if (!none[direction] && counts[direction] >= 1)
            require(
                instance.processor->getBusArrangement(direction, 0, &now) == kResultOk && now == wanted[direction][0],
                "an accepted arrangement not kept");
    }
}

void setUp(Instance& instance, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    ProcessSetup setup{};
    setup.processMode = kind % 4;
    setup.symbolicSampleSize = (kind & 0x30) == 0x30   ? kSample64
                               : (kind & 0x30) == 0x20 ? static_cast<int32>(reader.word())
                                                       : kSample32;
    setup.maxSamplesPerBlock = (kind & 0x40) != 0 ? static_cast<int32>(reader.word()) : kMaxFrames;
    setup.sampleRate = reader.anyDouble();
    const bool none = kind == 0xFF;
    if (instance.processor->setupProcessing(none ? nullptr : &setup) == kResultOk && !none) {
        require(instance.processor->canProcessSampleSize(setup.symbolicSampleSize) == kResultOk,
                "set up for a sample size it cannot process");
        instance.setUp = true;
        instance.sampleSize = setup.symbolicSampleSize;
    }
    instance.processor->getTailSamples();
    instance.processor->getLatencySamples();
}

void lifecycle(Session& session, Instance& instance, ByteReader& reader, int which) {
    const std::uint8_t value = reader.byte();
    switch (which) {
        case 0:
            if (instance.component->initialize((value & 1) != 0 ? nullptr : &session.context) == kResultOk)
                instance.initialized = true;
            break;
        case 1:
            if (instance.component->terminate() == kResultOk)
                instance.initialized = instance.setUp = instance.active = instance.processing = false;
            break;
        case 2:
            if (instance.component->setActive(value) == kResultOk) {
                instance.active = value != 0;
                instance.processing = instance.processing && instance.active;
            }
            break;
        default:
            if (instance.processor->setProcessing(value) == kResultOk)
                instance.processing = value != 0 && instance.active;
            break;
    }
}

// ---- interfaces, views, the factory ----------------------------------------

void query(Session& session, Instance& instance, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    FUnknown* through[] = {instance.component, instance.processor, instance.controller};
    FUnknown* via = through[kind % 3];
    const Uid iid = anyUid(reader);
    void* object = &session;  // anything but null, so that a refusal has to clear it
    const tresult result =
        via->queryInterface((kind & 0x80) != 0 ? nullptr : iid.bytes, (kind & 0x40) != 0 ? nullptr : &object);
    if ((kind & 0x40) != 0) {
        require(result != kResultOk, "a query with no place for the object succeeded");
    } else if (result != kResultOk) {
        require(object == nullptr, "a refused query left an object");
    } else {
        require(object != nullptr && identityOf(static_cast<FUnknown*>(object)) == instance.identity,
                "a query answered with another object");
        static_cast<FUnknown*>(object)->release();
    }
    via->addRef();
    via->release();
}

void others(Session& session, Instance& instance, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    static const char* const names[] = {"editor", nullptr, "", "Editor", "editor "};
    if (IPlugView* view = instance.controller->createView(names[kind % std::size(names)]))
        reinterpret_cast<FUnknown*>(view)->release();  // every interface begins with FUnknown's three
    instance.processor->canProcessSampleSize(static_cast<int32>(reader.word()));
    instance.processor->getTailSamples();
    instance.component->setIoMode(kind / 8 % 4);
    TUID controllerClass{};
    instance.component->getControllerClassId(controllerClass);
    instance.controller->setComponentHandler(nullptr);
    if (auto* requirements = ask<IProcessContextRequirements>(instance.component, kIProcessContextRequirementsIid)) {
        requirements->getProcessContextRequirements();
        requirements->release();
    }

    // The factory's records, at any index.
    const int32 index = anyIndex(reader);
    const bool listed = index >= 0 && index < session.factory->countClasses();
    PClassInfo info;
    require((session.factory->getClassInfo(index, &info) == kResultOk) == listed,
            "class info disagrees with the count");
    if (auto* factory = ask<IPluginFactory2>(session.factory, kIPluginFactory2Iid)) {
        PClassInfo2 more;
        require((factory->getClassInfo2(index, &more) == kResultOk) == listed, "class info disagrees with the count");
        factory->release();
    }
}

void make(Session& session, Instance& instance, ByteReader& reader, std::uint8_t how) {
    static const Uid* const asked[] = {&kIComponentIid, &kIAudioProcessorIid, &kIEditControllerIid, &kFUnknownIid};
    const Uid iid = (how & 0x18) == 0x18 ? anyUid(reader) : *asked[how % 4];
    const Uid cid = (how & 0x60) == 0x60 ? anyUid(reader) : session.classId;
    const bool withPlace = how != 0x80;
    if (create(session, instance, cid, iid, withPlace) && (how & 4) != 0) bringUp(session, instance);
}

}  // namespace

void runVst3Calls(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    const int instancesBefore = orbelune::module.instanceCount;
    {
        Session session;
        for (int call = 0; call < 256 && !reader.done(); ++call) {
            const std::uint8_t action = reader.byte();
            Instance& instance = session.slots[reader.byte() % kMaxInstances];
            Snapshot before[kMaxInstances];
            bool wasLive[kMaxInstances];
            for (int slot = 0; slot < kMaxInstances; ++slot) {
                wasLive[slot] = session.slots[slot].component != nullptr;
                if (wasLive[slot]) before[slot] = snapshot(session, session.slots[slot]);
            }
            Allowed allowed;
            if (instance.component == nullptr) {
                make(session, instance, reader, action);
            } else {
                switch (action % 17) {
                    case 0:
                    case 1:
                    case 2:
                    case 3:
                        lifecycle(session, instance, reader, action % 17);
                        break;
                    case 4:
                        setUp(instance, reader);
                        break;
                    case 5:
                        arrange(instance, reader, allowed);
                        break;
                    case 6:
                        buses(instance, reader);
                        break;
                    case 7:
                    case 8:
                    case 9:
                        process(session, instance, reader);
                        allowed.state = true;  // through the block's parameter changes
                        break;
                    case 10:
                        restore(session, instance, reader, allowed);
                        break;
                    case 11:
                        controllerState(instance, reader);
                        break;
                    case 12:
                        describe(instance, reader);
                        texts(instance, reader);
                        break;
                    case 13:
                        convert(session, instance, reader, allowed);
                        break;
                    case 14:
                        query(session, instance, reader);
                        break;
                    case 15:
                        others(session, instance, reader);
                        break;
                    default:
                        release(session, instance, reader.byte());
                        break;
                }
            }
            // Only what the call may change has changed, and only on its own instance.
            for (int slot = 0; slot < kMaxInstances; ++slot) {
                Instance& other = session.slots[slot];
                if (!wasLive[slot] || other.component == nullptr) continue;
                const Snapshot now = snapshot(session, other);
                const bool target = &other == &instance;
                require(now.state == before[slot].state || (target && allowed.state), "the state changed");
                require(now.values == before[slot].values || (target && allowed.values), "a controller value changed");
                require(std::equal(std::begin(now.arrangements), std::end(now.arrangements),
                                   std::begin(before[slot].arrangements)) ||
                            (target && allowed.arrangements),
                        "a bus arrangement changed");
            }
            require(orbelune::module.instanceCount == instancesBefore + session.live, "instances counted wrongly");
        }
    }
    require(orbelune::module.instanceCount == instancesBefore, "instances left after the session");
}

}  // namespace hardening
