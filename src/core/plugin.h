// The plug-in apart from any format: its parameter values, rate, host bypass,
// output level and engine, and the one way in that every format's adapter
// calls. Nothing here knows a host, a window or a format's types.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/state.h"
#include "engine/engine_state.h"

namespace orbelune {

struct Plugin {
    Plugin();
    ParameterValues params;  // the table's defaults until a host sets them
    double sampleRate = 44100.0;
    std::atomic<std::uint8_t> hostBypass{0};  // a host's own bypass, read by the audio thread
    std::atomic<float> outputMeter{0.0f};     // written per block by the audio thread, read by editors
    EngineState engine;
};

// Brings a new record's engine to 44100 Hz with its lines sized for its "Size".
// False when memory ran out; the record is then unusable.
bool preparePlugin(Plugin& plugin) noexcept;
// A prepared record of its own allocation, or null when memory ran out.
Plugin* createPlugin() noexcept;
void destroyPlugin(Plugin* plugin) noexcept;

// A host's rate, taken at single precision: zero, negative and NaN mean the
// host has none to give, and 44100 Hz is assumed; the engine clamps the rest
// to what it runs at. Clears the tail. Must not overlap processing.
void setPluginSampleRate(Plugin& plugin, double rate) noexcept;

// A parameter's 0..1 value, 0 for an index that names none.
float pluginParameter(const Plugin& plugin, std::int32_t index) noexcept;
// Stores a value, clamped to 0..1, from any thread; a store to "Size" asks the
// audio thread for a rebuild of the lines at its next block. False, with
// nothing changed, for an index that names no parameter.
bool setPluginParameter(Plugin& plugin, std::int32_t index, float value) noexcept;
void setPluginBypass(Plugin& plugin, bool bypassed) noexcept;

// One block on the audio thread. The block passes through untouched while the
// host bypasses or "Bypass" is above one half. Without outputs nothing
// happens; without inputs the input is silence and the tail still rings.
// Inputs and outputs may be the same buffers. Never allocates or blocks.
void processPlugin(Plugin& plugin, const float* const* inputs, float* const* outputs, std::int32_t frames) noexcept;

// A host's change of a parameter that holds from a frame of its block on, its
// value already the 0..1 value the core stores.
struct ParameterChange {
    std::int32_t frame;
    std::int32_t index;
    float value;
};
// Hands out a block's changes one at a time in frame order; false when there
// are no more. Called on the audio thread: it must not allocate or block.
using NextChange = bool (*)(void* context, ParameterChange& change);

// One block whose parameters change inside it: processed in pieces split at
// the changes' frames, each change stored just before its frame, so a change
// at frame t sounds from frame t, and a change of "Size" rebuilds the lines
// there. The samples equal those of blocks split at the same frames. Frames
// outside the block are taken as its nearest end. Without changes this is
// processPlugin.
void processPluginAutomated(Plugin& plugin, const float* const* inputs, float* const* outputs, std::int32_t frames,
                            NextChange nextChange, void* context) noexcept;

constexpr std::uint32_t kLatencyFrames = 0;
// Frames until the reverberation has died away at the current settings.
std::uint32_t pluginTailFrames(const Plugin& plugin) noexcept;

// Stores a record's values; false, with every value kept, for a record
// decodeState refuses.
bool loadPluginState(Plugin& plugin, const unsigned char* record, std::size_t bytes, SavedState& state) noexcept;

}  // namespace orbelune
