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
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr) {
        // Nothing to process into, but the changes still hold from here on.
        do setPluginParameter(plugin, change.index, change.value);
        while (nextChange(context, change));
        return;
    }
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

bool loadPluginState(Plugin& plugin, const unsigned char* record, std::size_t bytes, SavedState& state) noexcept {
    if (!decodeState(record, bytes, state)) return false;
    for (int index = 0; index < kParamCount; ++index) setPluginParameter(plugin, index, state.values[index]);
    return true;
}

}  // namespace orbelune
