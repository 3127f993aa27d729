// The format-free instance: creation, rate, parameters, processing, tail and
// state. Every adapter reaches the engine through these alone.
#include "core/plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/parameters.h"
#include "engine/preparation.h"
#include "engine/processing.h"
#include "engine/tail.h"
#include "platform/float_mode.h"

namespace orbelune {

namespace {

constexpr double kDefaultSampleRate = 44100.0;
constexpr char kStateTag[4] = {'D', 'O', 'r', 'b'};
constexpr std::uint32_t kStateVersion = 1;

void putLittleEndian(unsigned char* destination, std::uint32_t word) {
    for (int byte = 0; byte < 4; ++byte) destination[byte] = static_cast<unsigned char>(word >> (8 * byte));
}

std::uint32_t getLittleEndian(const unsigned char* source) {
    std::uint32_t word = 0;
    for (int byte = 0; byte < 4; ++byte) word |= static_cast<std::uint32_t>(source[byte]) << (8 * byte);
    return word;
}

float size(const Plugin& plugin) { return plugin.params[kParamSize].load(std::memory_order_relaxed); }

}  // namespace

Plugin::Plugin() {
    for (int index = 0; index < kParamCount; ++index)
        params[index].store(parameterTable[index].defaultValue, std::memory_order_relaxed);
}

bool preparePlugin(Plugin& plugin) noexcept {
    return prepareEngine(plugin.engine, plugin.sampleRate, plugin.sampleRate, size(plugin));
}

Plugin* createPlugin() noexcept {
    auto* plugin = new (std::nothrow) Plugin;
    if (plugin != nullptr && !preparePlugin(*plugin)) {
        delete plugin;
        return nullptr;
    }
    return plugin;
}

void destroyPlugin(Plugin* plugin) noexcept {
    // The record's destructor releases the lines (the last first) and then the rings.
    delete plugin;
}

void setPluginSampleRate(Plugin& plugin, double rate) noexcept {
    // Taken at single precision, as some hosts can only give it, so that every
    // format runs at exactly the same rate for the same host setting.
    const double single = static_cast<double>(static_cast<float>(rate));
    const double requested = single > 0.0 ? single : kDefaultSampleRate;
    prepareEngine(plugin.engine, plugin.sampleRate, requested, size(plugin));
}

float pluginParameter(const Plugin& plugin, std::int32_t index) noexcept {
    if (!isParameterIndex(index)) return 0.0f;
    return plugin.params[index].load(std::memory_order_relaxed);
}

bool setPluginParameter(Plugin& plugin, std::int32_t index, float value) noexcept {
    if (!isParameterIndex(index)) return false;
    plugin.params[index].store(clampParameter(value), std::memory_order_relaxed);
    // The store comes first, so the audio thread that consumes the request sees it.
    if (index == kParamSize) plugin.engine.rebuildRequested.exchange(1);
    return true;
}

void setPluginBypass(Plugin& plugin, bool bypassed) noexcept {
    plugin.hostBypass.store(bypassed ? 1 : 0, std::memory_order_relaxed);
}

void processPlugin(Plugin& plugin, const float* const* inputs, float* const* outputs, std::int32_t frames) noexcept {
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr) return;
    const float* silence[2] = {outputs[0], outputs[1]};
    if (inputs == nullptr || inputs[0] == nullptr || inputs[1] == nullptr) {
        // No input (a bus switched off): silence, processed in place.
        const std::int32_t count = std::max<std::int32_t>(frames, 0);
        std::fill_n(outputs[0], count, 0.0f);
        std::fill_n(outputs[1], count, 0.0f);
        inputs = silence;
    }
    const ScopedFlushDenormals floatMode;
    processBlock(plugin.engine, plugin.params, plugin.hostBypass.load(std::memory_order_relaxed) != 0,
                 plugin.sampleRate, plugin.outputMeter, inputs, outputs, frames);
}

void processPluginAutomated(Plugin& plugin, const float* const* inputs, float* const* outputs, std::int32_t frames,
                            NextChange nextChange, void* context) noexcept {
    ParameterChange change{};
    if (!nextChange(context, change)) {
        processPlugin(plugin, inputs, outputs, frames);
        return;
    }
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr) return;
    const bool silent = inputs == nullptr || inputs[0] == nullptr || inputs[1] == nullptr;
    std::int32_t done = 0;
    // A piece of no frames is no call at all, as a host's split would make none.
    const auto processTo = [&](std::int32_t frame) {
        if (frame <= done) return;
        const float* pieceInputs[2] = {silent ? nullptr : inputs[0] + done, silent ? nullptr : inputs[1] + done};
        float* pieceOutputs[2] = {outputs[0] + done, outputs[1] + done};
        processPlugin(plugin, silent ? nullptr : pieceInputs, pieceOutputs, frame - done);
        done = frame;
    };
    do {
        processTo(std::min(std::max<std::int32_t>(change.frame, 0), frames));
        setPluginParameter(plugin, change.index, change.value);
    } while (nextChange(context, change));
    processTo(frames);
    if (done == 0) processPlugin(plugin, inputs, outputs, frames);  // a block of no frames still ages the meter
}

std::uint32_t pluginTailFrames(const Plugin& plugin) noexcept {
    const auto value = [&](int index) { return plugin.params[index].load(std::memory_order_relaxed); };
    const float preDelaySeconds = displayNumber(kParamPreDelay, value(kParamPreDelay)) / 1000.0f;
    return static_cast<std::uint32_t>(
        std::ceil(tailSeconds(value(kParamDecay), value(kParamSize), preDelaySeconds) * plugin.sampleRate));
}

void encodeState(const float values[kParamCount], unsigned char record[kStateBytes]) noexcept {
    std::memcpy(record, kStateTag, sizeof(kStateTag));
    putLittleEndian(record + 4, kStateVersion);
    for (int index = 0; index < kParamCount; ++index) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &values[index], sizeof(bits));
        putLittleEndian(record + 8 + 4 * index, bits);
    }
}

bool decodeState(const unsigned char* record, std::size_t bytes, float values[kParamCount]) noexcept {
    if (record == nullptr || bytes != kStateBytes || std::memcmp(record, kStateTag, sizeof(kStateTag)) != 0 ||
        getLittleEndian(record + 4) != kStateVersion)
        return false;
    float decoded[kParamCount];
    for (int index = 0; index < kParamCount; ++index) {
        const std::uint32_t bits = getLittleEndian(record + 8 + 4 * index);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof(value));
        if (!(value >= 0.0f && value <= 1.0f)) return false;
        // A toggle comes back as the switch it is everywhere else, so that a
        // record holding 0.5 is on for the audio as it is for a host.
        decoded[index] = parameterTable[index].toggle ? steppedValue(index, value) : value;
    }
    std::copy(decoded, decoded + kParamCount, values);
    return true;
}

void savePluginState(const Plugin& plugin, unsigned char record[kStateBytes]) noexcept {
    float values[kParamCount];
    for (int index = 0; index < kParamCount; ++index) values[index] = pluginParameter(plugin, index);
    encodeState(values, record);
}

bool loadPluginState(Plugin& plugin, const unsigned char* record, std::size_t bytes) noexcept {
    float values[kParamCount];
    if (!decodeState(record, bytes, values)) return false;
    for (int index = 0; index < kParamCount; ++index) setPluginParameter(plugin, index, values[index]);
    return true;
}

}  // namespace orbelune
