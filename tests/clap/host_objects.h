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
    clap::HostPresetLoad presets{};
    int flushRequests = 0;
    std::vector<std::uint32_t> rescans;
    std::vector<std::string> presetReports;  // "loaded KEY" or "error KEY"
    std::vector<clap::Id> timerIds;
    clap::Id nextTimer = 100;
    int descriptor = -1;
    bool offersGuiSupport = true;  // the timer and descriptor extensions

    Host() {
        record = {clap::kVersion, this, "Orbelune test host", "Drevon", "", "1.0", extension, ignore, ignore, ignore};
        params.requestFlush = [](const clap::Host* host) { ++of(host).flushRequests; };
        params.rescan = [](const clap::Host* host, std::uint32_t flags) { of(host).rescans.push_back(flags); };
        presets.loaded = [](const clap::Host* host, std::uint32_t, const char*, const char* key) {
            of(host).presetReports.push_back(std::string("loaded ") + key);
        };
        presets.onError = [](const clap::Host* host, std::uint32_t, const char*, const char* key, std::int32_t,
                             const char*) { of(host).presetReports.push_back(std::string("error ") + key); };
        timers.registerTimer = [](const clap::Host* host, std::uint32_t, clap::Id* id) {
            of(host).timerIds.push_back(*id = of(host).nextTimer++);
            return true;
        };
        timers.unregisterTimer = [](const clap::Host* host, clap::Id id) {
            auto& ids = of(host).timerIds;
            const std::size_t before = ids.size();
            ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
            return ids.size() < before;
        };
        descriptors.registerFd = [](const clap::Host* host, int fd, std::uint32_t) {
            of(host).descriptor = fd;
            return true;
        };
        descriptors.unregisterFd = [](const clap::Host* host, int fd) {
            const bool known = of(host).descriptor == fd;
            if (known) of(host).descriptor = -1;
            return known;
        };
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static Host& of(const clap::Host* host) { return *static_cast<Host*>(host->hostData); }
    static void ignore(const clap::Host*) {}
    static const void* extension(const clap::Host* host, const char* id) {
        Host& self = of(host);
        if (std::strcmp(id, clap::kExtParams) == 0) return &self.params;
        if (std::strcmp(id, clap::kExtPresetLoad) == 0) return &self.presets;
        if (!self.offersGuiSupport) return nullptr;
        if (std::strcmp(id, clap::kExtTimerSupport) == 0) return &self.timers;
        return std::strcmp(id, clap::kExtPosixFdSupport) == 0 ? &self.descriptors : nullptr;
    }
};

// A value or gesture event, in one copyable slot.
union AnyEvent {
    clap::EventHeader header;
    clap::EventParamValue value;
    clap::EventParamGesture gesture;
};

inline AnyEvent valueEvent(std::uint32_t time, clap::Id id, double value) {
    AnyEvent event{};
    event.value = {{sizeof(clap::EventParamValue), time, 0, clap::kEventParamValue, 0}, id, nullptr, -1, -1, -1, -1,
                   value};
    return event;
}

inline AnyEvent gestureEvent(std::uint32_t time, std::uint16_t type, clap::Id id) {
    AnyEvent event{};
    event.gesture = {{sizeof(clap::EventParamGesture), time, 0, type, 0}, id};
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
        return &static_cast<InputList*>(list->context)->events.at(index).header;
    }
};

// Keeps what the plug-in pushes, as "begin 0", "value 0", "end 0", a run of
// values for one parameter counted once, and every value.
struct OutputList {
    std::vector<std::string> calls;
    std::vector<double> values;
    clap::OutputEvents record{this, tryPush};

    static bool tryPush(const clap::OutputEvents* list, const clap::EventHeader* event) {
        auto& self = *static_cast<OutputList*>(list->context);
        const auto* value = reinterpret_cast<const clap::EventParamValue*>(event);
        const bool isValue = event->type == clap::kEventParamValue;
        const std::string call = (isValue                                          ? "value "
                                  : event->type == clap::kEventParamGestureBegin ? "begin "
                                                                                 : "end ") +
                                 std::to_string(value->paramId);
        if (isValue) self.values.push_back(value->value);
        if (!isValue || self.calls.empty() || self.calls.back() != call) self.calls.push_back(call);
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
        const std::size_t n = std::min<std::size_t>({size, self.chunk, self.bytes.size() - self.position});
        std::copy_n(self.bytes.begin() + static_cast<std::ptrdiff_t>(self.position), n, static_cast<unsigned char*>(buffer));
        self.position += n;
        return static_cast<std::int64_t>(n);
    }
    static std::int64_t write(const clap::OutputStream* stream, const void* buffer, std::uint64_t size) {
        auto& self = *static_cast<Stream*>(stream->context);
        const std::size_t n = std::min<std::size_t>(size, self.chunk);
        self.bytes.insert(self.bytes.end(), static_cast<const unsigned char*>(buffer),
                          static_cast<const unsigned char*>(buffer) + n);
        return static_cast<std::int64_t>(n);
    }
};

template <typename Table>
const Table* extension(const clap::Plugin* plugin, const char* id) {
    return static_cast<const Table*>(plugin->getExtension(plugin, id));
}

// One block of 32-bit stereo, in place: the same buffers in and out.
inline std::int32_t processInPlace(const clap::Plugin* plugin, float* left, float* right, std::uint32_t frames,
                                   const InputList& events = InputList()) {
    float* channels[2] = {left, right};
    clap::AudioBuffer in{channels, nullptr, 2, 0, 0};
    clap::AudioBuffer out = in;
    OutputList ignored;
    const clap::Process process{-1, frames, nullptr, &in, &out, 1, 1, &events.record, &ignored.record};
    return plugin->process(plugin, &process);
}

// The format-equivalence harness's view of an active instance: each change a
// value event at its frame, beside a gesture the plug-in must pass over. A
// host processes no block of no frames: its changes go through flush.
inline auto blockRunner(const clap::Plugin* plugin) {
    return [plugin](float* left, float* right, const equivalence::Block& block) {
        InputList events;
        for (const equivalence::Change& change : block.changes) {
            const auto frame = static_cast<std::uint32_t>(change.frame);
            const auto id = static_cast<clap::Id>(change.index);
            events.events.push_back(gestureEvent(frame, clap::kEventParamGestureBegin, id));
            events.events.push_back(valueEvent(frame, id, change.value));
        }
        if (block.frames > 0) {
            processInPlace(plugin, left, right, static_cast<std::uint32_t>(block.frames), events);
            return;
        }
        OutputList out;
        extension<clap::PluginParams>(plugin, clap::kExtParams)->flush(plugin, &events.record, &out.record);
    };
}

}  // namespace claphost
