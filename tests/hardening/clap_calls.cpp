#include "hardening/clap_calls.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "clap/host_objects.h"
#include "clap/instance.h"
#include "hardening/byte_reader.h"

extern "C" const clap::PluginEntry clap_entry;

namespace hardening {

namespace {

using namespace claphost;

constexpr int kMaxInstances = 2;
constexpr std::uint32_t kMaxFrames = 2048;
constexpr std::uint32_t kParams = 7;

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "CLAP call invariant violated: %s\n", what);
    std::abort();
}

void require(bool holds, const char* what) {
    if (!holds) violated(what);
}

// What the host hears from one instance: every event well formed, gestures
// never nested and each end closing the open begin.
struct Heard {
    std::size_t room = 0;
    int open = -1;
    double last[kParams] = {};  // the last value pushed for each parameter in a call, or -1
    clap::OutputEvents record{this, push};

    static bool push(const clap::OutputEvents* list, const clap::EventHeader* event) {
        auto& heard = *static_cast<Heard*>(list->context);
        if (heard.room == 0) return false;
        --heard.room;
        require(event->spaceId == clap::kCoreEventSpace && event->time == 0, "an event out of place");
        const auto* value = reinterpret_cast<const clap::EventParamValue*>(event);
        require(value->paramId < kParams, "an event for no parameter");
        const int id = static_cast<int>(value->paramId);
        if (event->type == clap::kEventParamValue) {
            require(event->size == sizeof(clap::EventParamValue) && value->noteId == -1 && value->portIndex == -1 &&
                        value->channel == -1 && value->key == -1,
                    "a value event not global");
            require(value->value >= 0.0 && value->value <= 1.0, "a value out of range");
            heard.last[id] = value->value;
        } else if (event->type == clap::kEventParamGestureBegin) {
            require(event->size == sizeof(clap::EventParamGesture) && heard.open == -1, "a gesture begun inside another");
            heard.open = id;
        } else {
            require(event->type == clap::kEventParamGestureEnd && event->size == sizeof(clap::EventParamGesture) &&
                        heard.open == id,
                    "an end of no open gesture, or an event of another kind");
            heard.open = -1;
        }
        return true;
    }
};

struct Slot {
    Host host;
    const clap::Plugin* plugin = nullptr;
    bool active = false;
    bool processing = false;
    Heard heard;
};

// The extensions the plug-in offers every host: never missing.
template <typename Table>
const Table* table(const Slot& slot, const char* id) {
    return extension<Table>(slot.plugin, id);
}

std::vector<unsigned char> stateOf(const Slot& slot) {
    Stream stream;
    stream.chunk = 7;
    require(table<clap::PluginState>(slot, clap::kExtState)->save(slot.plugin, &stream.out), "a save failed");
    return stream.bytes;
}

// Events as hosts send them, and as they should not: any id, time, value,
// type, space and size, in any order.
InputList anyEvents(ByteReader& reader) {
    InputList list;
    for (int count = reader.byte() % 8; count > 0; --count) {
        const std::uint8_t kind = reader.byte();
        const std::uint8_t id = reader.byte();
        const std::uint32_t time = (kind & 0x80) != 0 ? reader.word() : reader.byte();
        if ((kind & 3) == 3) {
            list.events.push_back(gestureEvent(time, (kind & 4) != 0 ? clap::kEventParamGestureBegin : 0, id % 9));
        } else {
            list.events.push_back(valueEvent(time, id < 240 ? id % 9 : reader.word(), reader.anyDouble()));
        }
        if ((kind & 0x30) == 0x30) list.events.back().header.spaceId = reader.byte();
        if ((kind & 0x48) == 0x48) list.events.back().header.size = reader.byte();
    }
    return list;
}

void process(Slot& slot, ByteReader& reader) {
    const std::uint8_t shape = reader.byte();
    const std::uint32_t frames = 1 + reader.word() % kMaxFrames;
    // Ordinary audio in, and NaN sentinels out, which must all be overwritten.
    std::vector<float> samples[4];
    for (int channel = 0; channel < 4; ++channel)
        samples[channel].assign(frames, channel < 2 ? 0.0f : std::nanf(""));
    const std::uint8_t pattern = reader.byte();
    for (std::uint32_t frame = 0; frame < frames; ++frame)
        samples[0][frame] = samples[1][frame] =
            pattern % 3 == 0 ? 0.0f : pattern % 3 == 1 ? static_cast<float>(std::sin(0.01 * frame)) : 1.0f;
    const bool inPlace = (shape & 1) != 0;
    float* in[2] = {samples[0].data(), samples[1].data()};
    float* out[2] = {inPlace ? in[0] : samples[2].data(), inPlace ? in[1] : samples[3].data()};
    clap::AudioBuffer input{(shape & 2) != 0 ? nullptr : in, nullptr, (shape & 4) != 0 ? 1u : 2u, 0, 0};
    clap::AudioBuffer output{(shape & 8) != 0 ? nullptr : out, nullptr, (shape & 0x10) != 0 ? 1u : 2u, 0, 0};
    const InputList events = anyEvents(reader);
    slot.heard.room = reader.byte() % 8;
    const clap::Process block{-1,      frames, nullptr, &input, &output, (shape & 0x20) != 0 ? 0u : 1u,
                              1u,      &events.record, &slot.heard.record};
    const bool wellFormed = (shape & 0x18) == 0;
    const std::int32_t status = slot.plugin->process(slot.plugin, &block);
    require(status == (wellFormed ? clap::kProcessContinue : clap::kProcessError), "the wrong status");
    if (!wellFormed) return;
    for (float* channel : out)
        for (std::uint32_t frame = 0; frame < frames; ++frame)
            require(std::isfinite(channel[frame]) && std::fabs(channel[frame]) <= 1.0f, "an output sample");
}

// The editor's calls, and its gestures as its knobs make them (a press, as
// many moves as the bytes ask, a release or none), between flushes or none.
// Fuzzing runs with no display, so a parent never gets a window.
void edit(Slot& slot, ByteReader& reader) {
    const auto* gui = table<clap::PluginGui>(slot, clap::kExtGui);
    const std::uint8_t kind = reader.byte();
    switch (kind % 6) {
        case 0:
            gui->create(slot.plugin, (kind & 8) != 0 ? "win32" : "x11", (kind & 0x10) != 0);
            break;
        case 1: {
            clap::Window window{(kind & 8) != 0 ? "cocoa" : "x11", {}};
            window.x11 = reader.word();
            gui->setParent(slot.plugin, &window);
            break;
        }
        case 2:
            (kind & 8) != 0 ? gui->hide(slot.plugin) : gui->show(slot.plugin);
            break;
        case 3:
            gui->destroy(slot.plugin);
            break;
        case 4: {
            const orbelune::EditorHost& host = orbelune::clapadapter::instanceOf(slot.plugin).editor.host;
            const int knob = reader.byte() % 6;
            host.beginEdit(host.context, knob);
            for (int move = reader.byte() * 2; move > 0; --move)
                host.performEdit(host.context, knob, static_cast<float>(reader.byte()) / 255.0f);
            if ((kind & 8) != 0) host.endEdit(host.context, knob);
            break;
        }
        default: {  // the host's loop: its timers, one it never made, a descriptor it never watched
            const auto* timers = table<clap::PluginTimerSupport>(slot, clap::kExtTimerSupport);
            for (clap::Id timer : std::vector<clap::Id>(slot.host.timerIds)) timers->onTimer(slot.plugin, timer);
            timers->onTimer(slot.plugin, reader.word());
            table<clap::PluginPosixFdSupport>(slot, clap::kExtPosixFdSupport)->onFd(slot.plugin, reader.byte(), 1);
            break;
        }
    }
}

void parameters(Slot& slot, ByteReader& reader) {
    const auto* params = table<clap::PluginParams>(slot, clap::kExtParams);
    const std::uint8_t kind = reader.byte();
    const clap::Id id = kind < 240 ? kind % 9 : reader.word();
    clap::ParamInfo info{};
    require(params->getInfo(slot.plugin, id, &info) == (id < kParams), "info for a parameter not counted");
    char text[32];
    std::memset(text, '#', sizeof(text));
    const std::uint32_t capacity = reader.byte() % 24;
    if (params->valueToText(slot.plugin, id, reader.anyDouble(), text, capacity))
        require(capacity > 0 && std::memchr(text, '\0', capacity) != nullptr && text[capacity] == '#',
                "a text past its room");
    static const char* const typed[] = {"6.91", "40 ms", "100", "0", "-0", "nan", "inf", "1e999", " 5 %", "", "x"};
    char mixed[8];
    for (char& c : mixed) c = static_cast<char>(reader.byte());
    mixed[7] = '\0';
    double value = -1.0;
    const bool parsed = params->textToValue(slot.plugin, id, (kind & 1) != 0 ? mixed : typed[reader.byte() % 11], &value);
    require(!parsed || (value >= 0.0 && value <= 1.0), "a text read out of range");
}

// Now and then a flush that takes everything: the host then holds, for each
// parameter it was told of, the value the plug-in holds.
void flush(Slot& slot, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    const bool drain = (kind & 1) != 0;
    const InputList events = drain ? InputList{} : anyEvents(reader);
    slot.heard.room = drain ? static_cast<std::size_t>(-1) : kind / 2 % 8;
    for (double& value : slot.heard.last) value = -1.0;
    const auto* params = table<clap::PluginParams>(slot, clap::kExtParams);
    params->flush(slot.plugin, &events.record, &slot.heard.record);
    for (clap::Id id = 0; drain && id < kParams; ++id) {
        double value = -1.0;
        params->getValue(slot.plugin, id, &value);
        require(slot.heard.last[id] < 0.0 || slot.heard.last[id] == value, "the host told a value the plug-in lacks");
    }
}

// A record of fuzz bytes, or a real one with bytes changed, through a stream
// that may fail; refused, it changes nothing.
void load(Slot& slot, ByteReader& reader) {
    Stream stream;
    stream.bytes = stateOf(slot);
    const std::uint8_t kind = reader.byte();
    if ((kind & 1) != 0) stream.bytes.assign(reader.byte() % 48, 0);
    for (int change = kind / 2 % 8; change > 0; --change)
        if (!stream.bytes.empty()) stream.bytes[reader.byte() % stream.bytes.size()] = reader.byte();
    stream.chunk = 1 + reader.byte() % 40;
    const std::vector<unsigned char> before = stateOf(slot);
    if (table<clap::PluginState>(slot, clap::kExtState)->load(slot.plugin, &stream.in)) {
        Stream again;
        again.bytes = stateOf(slot);
        require(table<clap::PluginState>(slot, clap::kExtState)->load(slot.plugin, &again.in) &&
                    stateOf(slot) == again.bytes,
                "a saved state does not load back as itself");
    } else {
        require(stateOf(slot) == before, "a refused state changed the values");
    }
}

void create(Slot& slot, ByteReader& reader) {
    const std::uint8_t kind = reader.byte();
    const auto* factory = static_cast<const clap::PluginFactory*>(clap_entry.getFactory(clap::kPluginFactoryId));
    slot.host.offersGuiSupport = (kind & 1) == 0;
    slot.host.record.version.major = (kind & 2) != 0 ? 0 : 1;
    const char* id = (kind & 4) != 0 ? "com.drevon.orbelune " : factory->getPluginDescriptor(factory, 0)->id;
    slot.plugin = factory->createPlugin(factory, &slot.host.record, id);
    require((slot.plugin != nullptr) == ((kind & 6) == 0), "creation disagrees with the host and id");
    if (slot.plugin != nullptr) require(slot.plugin->init(slot.plugin), "init refused");
}

void destroy(Slot& slot) {
    if (slot.processing) slot.plugin->stopProcessing(slot.plugin);
    if (slot.active) slot.plugin->deactivate(slot.plugin);
    slot.plugin->destroy(slot.plugin);
    require(slot.host.timerIds.empty() && slot.host.descriptor == -1, "a timer or descriptor left registered");
    slot.plugin = nullptr;
    slot.active = slot.processing = false;
    slot.heard.open = -1;  // a host forgets an instance's gestures with it
}

}  // namespace

void runClapCalls(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    const int instancesBefore = orbelune::module.instanceCount;
    require(clap_entry.init("fuzz.clap"), "init refused");
    {
        Slot slots[kMaxInstances];
        for (int call = 0; call < 256 && !reader.done(); ++call) {
            const std::uint8_t action = reader.byte();
            const int which = reader.byte() % kMaxInstances;
            Slot& slot = slots[which];
            Slot& other = slots[1 - which];
            const std::vector<unsigned char> otherBefore = other.plugin != nullptr ? stateOf(other) : std::vector<unsigned char>{};
            if (slot.plugin == nullptr) {
                create(slot, reader);
                continue;
            }
            switch (action % 12) {
                case 0:
                    if (!slot.active) slot.active = slot.plugin->activate(slot.plugin, reader.anyDouble(), 1, kMaxFrames);
                    else if (!slot.processing) slot.plugin->deactivate(slot.plugin), slot.active = false;
                    break;
                case 1:
                    if (slot.active && !slot.processing) slot.processing = slot.plugin->startProcessing(slot.plugin);
                    else if (slot.processing) slot.plugin->stopProcessing(slot.plugin), slot.processing = false;
                    if (slot.active && (action & 0x10) != 0) slot.plugin->reset(slot.plugin);
                    break;
                case 2:
                case 3:
                case 4:
                    if (slot.processing) process(slot, reader);
                    break;
                case 5:
                    if (!slot.processing) flush(slot, reader);
                    break;
                case 6:
                    parameters(slot, reader);
                    break;
                case 7:
                    load(slot, reader);
                    break;
                case 8:
                case 9:
                    edit(slot, reader);
                    break;
                case 10:
                    table<clap::PluginTail>(slot, clap::kExtTail)->get(slot.plugin);
                    require(slot.plugin->getExtension(slot.plugin, reader.byte() < 128 ? "clap.params " : "") == nullptr,
                            "an extension under a name not its own");
                    break;
                default:
                    destroy(slot);
                    break;
            }
            // The values stay in range, and nothing reaches the other instance.
            for (const Slot& live : slots) {
                if (live.plugin == nullptr) continue;
                for (clap::Id id = 0; id < kParams; ++id) {
                    double value = -1.0;
                    table<clap::PluginParams>(live, clap::kExtParams)->getValue(live.plugin, id, &value);
                    require(value >= 0.0 && value <= 1.0 && (id != 6 || value == 0.0 || value == 1.0),
                            "a parameter value out of range or between steps");
                }
            }
            if (other.plugin != nullptr) require(stateOf(other) == otherBefore, "another instance changed");
        }
        for (Slot& slot : slots)
            if (slot.plugin != nullptr) destroy(slot);
    }
    require(orbelune::module.instanceCount == instancesBefore, "instances left after the session");
    clap_entry.deinit();
}

}  // namespace hardening
