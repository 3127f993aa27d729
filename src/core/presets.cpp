#include "core/presets.h"

#include <cstring>

namespace orbelune {

// Decay, Size, Damping, 3D Width, Pre-Delay, Mix, Bypass.
const Preset presetTable[kPresetCount] = {
    {"Small Room", "small_room", {0.2f, 0.15f, 0.5f, 0.5f, 0.05f, 0.25f, 0.0f}},
    {"Drum Room", "drum_room", {0.3f, 0.4f, 0.6f, 0.55f, 0.08f, 0.2f, 0.0f}},
    {"Short Plate", "short_plate", {0.35f, 0.3f, 0.15f, 0.6f, 0.0f, 0.3f, 0.0f}},
    {"Large Hall", "large_hall", {0.75f, 0.95f, 0.35f, 0.7f, 0.25f, 0.35f, 0.0f}},
    {"Wide Pad", "wide_pad", {0.85f, 0.8f, 0.5f, 1.0f, 0.15f, 0.45f, 0.0f}},
    {"Long Ambient", "long_ambient", {0.95f, 1.0f, 0.25f, 0.85f, 0.33f, 0.5f, 0.0f}},
};

const Preset* findPreset(const char* name) {
    if (name == nullptr) return nullptr;
    for (const Preset& preset : presetTable)
        if (std::strcmp(preset.name, name) == 0) return &preset;
    return nullptr;
}

}  // namespace orbelune
