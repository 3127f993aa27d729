// What a CLAP host hands a plug-in, as small as our test hosts need it: the
// host record with the params, timer and descriptor extensions, event lists in
// and out, byte streams for state, and one block of processing. Shared by the
// native host test, the editor test, the call fuzzer, the benchmark and the
// Windows program run under Wine.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "clap/abi.h"
#include "support/format_equivalence.h"

namespace claphost {

struct Host {
    clap::Host record{};
    clap::HostParams params{};
    clap::HostTimerSupport timers{};
    clap::HostPosixFdSupport descriptors{};
    int flushRequests = 0;
    std::vector<clap::Id> timerIds;
    clap::Id nextTimer = 100;
    int descriptor = -1;
    bool offersGuiSupport = true;  // the timer and descriptor extensions

    Host() {
        record = {clap::kVersion, this, "Orbelune test host", "Drevon", "", "1.0", extension, ignore, ignore, ignore};
        params.rescan = [](const clap::Host*, std::uint32_t) {};
        params.clear = [](const clap::Host*, clap::Id, std::uint32_t) {};
        params.requestFlush = [](const clap::Host* host) { ++of(host).flushRequests; };
        timers.registerTimer = [](const clap::Host* host, std::uint32_t, clap::Id* id) {
            *id = of(host).nextTimer++;
            of(host).timerIds.push_back(*id);
            return true;
        };
        timers.unregisterTimer = [](const clap::Host* host, clap::Id id) {
            auto& ids = of(host).timerIds;
            const auto found = std::find(ids.begin(), ids.end(), id);
            if (found == ids.end()) return false;
            ids.erase(found);
            return true;
        };
        descriptors.registerFd = [](const clap::Host* host, int fd, std::uint32_t) {
            of(host).descriptor = fd;
            return true;
        };
        descriptors.modifyFd = [](const clap::Host*, int, std::uint32_t) { return true; };
        descriptors.unregisterFd = [](const clap::Host* host, int fd) {
            if (of(host).descriptor != fd) return false;
            of(host).descriptor = -1;
            return true;
        };
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static Host& of(const clap::Host* host) { return *static_cast<Host*>(host->hostData); }
    static void ignore(const clap::Host*) {}
    static const void* extension(const clap::Host* host, const char* id) {
        Host& self = of(host);
        if (std::strcmp(id, clap::kExtParams) == 0) return &self.params;
        if (!self.offersGuiSupport) return nullptr;
        if (std::strcmp(id, clap::kExtTimerSupport) == 0) return &self.timers;
        if (std::strcmp(id, clap::kExtPosixFdSupport) == 0) return &self.descriptors;
        return nullptr;
    }
};

// Any of the events the plug-in may meet, in one copyable slot.
union AnyEvent {
    clap::EventHeader header;
    clap::EventParamValue value;
    clap::EventParamGesture gesture;
};

inline AnyEvent valueEvent(std::uint32_t time, clap::Id id, double value) {
    AnyEvent event{};
    event.value.header = {sizeof(clap::EventParamValue), time, clap::kCoreEventSpace, clap::kEventParamValue, 0};
    event.value.paramId = id;
    event.value.noteId = -1;
    event.value.portIndex = event.value.channel = event.value.key = -1;
    event.value.value = value;
    return event;
}

inline AnyEvent gestureEvent(std::uint32_t time, std::uint16_t type, clap::Id id) {
    AnyEvent event{};
    event.gesture.header = {sizeof(clap::EventParamGesture), time, clap::kCoreEventSpace, type, 0};
    event.gesture.paramId = id;
    return event;
}

struct InputList {
    std::vector<AnyEvent> events;
    clap::InputEvents record{this, size, get};
    InputList() = default;
    InputList(const InputList& other) : events(other.events) {}

    static std::uint32_t size(const clap::InputEvents* list) {
        return static_cast<std::uint32_t>(static_cast<InputList*>(list->context)->events.size());
    }
    static const clap::EventHeader* get(const clap::InputEvents* list, std::uint32_t index) {
        auto& events = static_cast<InputList*>(list->context)->events;
        return index < events.size() ? &events[index].header : nullptr;
    }
};

// Keeps what the plug-in pushes, as "begin 0", "value 0", "end 0", a run of
// values for one parameter counted once, and every value; refuses pushes
// beyond `room`.
struct OutputList {
    std::vector<std::string> calls;
    std::vector<double> values;
    std::size_t room = static_cast<std::size_t>(-1);
    std::size_t pushes = 0;
    clap::OutputEvents record{this, tryPush};

    static bool tryPush(const clap::OutputEvents* list, const clap::EventHeader* event) {
        auto& self = *static_cast<OutputList*>(list->context);
        if (self.pushes >= self.room) return false;
        ++self.pushes;
        const auto* value = reinterpret_cast<const clap::EventParamValue*>(event);
        const char* kind = event->type == clap::kEventParamValue          ? "value "
                           : event->type == clap::kEventParamGestureBegin ? "begin "
                           : event->type == clap::kEventParamGestureEnd   ? "end "
                                                                          : "other ";
        const std::string call = kind + std::to_string(value->paramId);
        if (event->type == clap::kEventParamValue) self.values.push_back(value->value);
        if (event->type != clap::kEventParamValue || self.calls.empty() || self.calls.back() != call)
            self.calls.push_back(call);
        return true;
    }
};

// State bytes in and out, at most `chunk` bytes a call, as a host's stream may.
struct Stream {
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
    std::size_t chunk = 5;
    clap::InputStream in{this, read};
    clap::OutputStream out{this, write};

    static std::int64_t read(const clap::InputStream* stream, void* buffer, std::uint64_t size) {
        auto& self = *static_cast<Stream*>(stream->context);
        const std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(size), self.chunk,
                                                     self.bytes.size() - self.position});
        if (n > 0) std::memcpy(buffer, self.bytes.data() + self.position, n);
        self.position += n;
        return static_cast<std::int64_t>(n);
    }
    static std::int64_t write(const clap::OutputStream* stream, const void* buffer, std::uint64_t size) {
        auto& self = *static_cast<Stream*>(stream->context);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), self.chunk);
        const auto* source = static_cast<const unsigned char*>(buffer);
        self.bytes.insert(self.bytes.end(), source, source + n);
        return static_cast<std::int64_t>(n);
    }
};

template <typename Table>
const Table* extension(const clap::Plugin* plugin, const char* id) {
    return static_cast<const Table*>(plugin->getExtension(plugin, id));
}

// One block of 32-bit stereo, in place: the same buffers in and out.
inline std::int32_t processInPlace(const clap::Plugin* plugin, float* left, float* right, std::uint32_t frames,
                                   const InputList* events = nullptr, OutputList* out = nullptr) {
    float* channels[2] = {left, right};
    clap::AudioBuffer in{channels, nullptr, 2, 0, 0};
    clap::AudioBuffer output{channels, nullptr, 2, 0, 0};
    InputList none;
    OutputList ignored;
    clap::Process process{};
    process.steadyTime = -1;
    process.framesCount = frames;
    process.audioInputs = &in;
    process.audioOutputs = &output;
    process.audioInputsCount = 1;
    process.audioOutputsCount = 1;
    process.inEvents = events != nullptr ? &events->record : &none.record;
    process.outEvents = out != nullptr ? &out->record : &ignored.record;
    return plugin->process(plugin, &process);
}

// A block's changes as a host sends them: value events at their frames, in
// order, with a gesture beside them that the plug-in must pass over.
inline InputList eventsOf(const equivalence::Block& block) {
    InputList list;
    for (const equivalence::Change& change : block.changes) {
        const auto frame = static_cast<std::uint32_t>(change.frame);
        list.events.push_back(gestureEvent(frame, clap::kEventParamGestureBegin, static_cast<clap::Id>(change.index)));
        list.events.push_back(valueEvent(frame, static_cast<clap::Id>(change.index), change.value));
    }
    return list;
}

// The format-equivalence harness's view of an active instance. A host never
// processes a block of no frames: its changes go through flush instead.
inline auto blockRunner(const clap::Plugin* plugin) {
    return [plugin](float* left, float* right, const equivalence::Block& block) {
        const InputList events = eventsOf(block);
        if (block.frames > 0) {
            processInPlace(plugin, left, right, static_cast<std::uint32_t>(block.frames), &events);
            return;
        }
        OutputList out;
        extension<clap::PluginParams>(plugin, clap::kExtParams)->flush(plugin, &events.record, &out.record);
    };
}

}  // namespace claphost
