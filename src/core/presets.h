// The factory presets: one table for the LV2 description and the renderer's
// --preset, with the 0..1 values of every parameter.
#pragma once

#include "engine/engine_state.h"

namespace orbelune {

struct Preset {
    const char* name;
    const char* symbol;  // for file and resource names: lower case, no spaces
    float values[kParamCount];
};

constexpr int kPresetCount = 6;
extern const Preset presetTable[kPresetCount];

// The preset of that name, or null.
const Preset* findPreset(const char* name);

}  // namespace orbelune
