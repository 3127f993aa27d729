// The LV2 plug-in's ports, shared by its DSP binary, its UI binary and the
// generator of its description: two audio inputs, two outputs, one control per
// parameter in the unit its display shows, the host's enable switch, and the
// output level for the editor's glow.
#pragma once

#include <cstdint>

#include <cmath>

#include "core/identity.h"
#include "core/parameters.h"

namespace orbelune::lv2ports {

constexpr const char* kPluginUri = identity::kLv2Uri;
constexpr const char* kUiUri = identity::kLv2UiUri;

constexpr std::uint32_t kInputLeft = 0;
constexpr std::uint32_t kInputRight = 1;
constexpr std::uint32_t kOutputLeft = 2;
constexpr std::uint32_t kOutputRight = 3;
constexpr std::uint32_t kFirstControl = 4;  // "Decay" to "Mix", in parameter order
constexpr std::uint32_t kEnabled = kFirstControl + kParamBypass;  // 1 runs the reverb, 0 bypasses it
constexpr std::uint32_t kLevel = kEnabled + 1;
constexpr std::uint32_t kPortCount = kLevel + 1;

// The parameter a control port carries, or -1 for the other ports.
constexpr int parameterOfPort(std::uint32_t port) {
    return port >= kFirstControl && port < kFirstControl + kParamCount ? static_cast<int>(port - kFirstControl) : -1;
}

// A control's 0..1 value. Out-of-range and NaN port values are clamped as a
// host's setParameter is: the same clamp, NaN storing 1. The toggle is the
// host's enable switch, on from one half, and on means "Bypass" 0.
inline float engineValue(int parameter, float portValue) {
    if (parameterTable[parameter].toggle) return 1.0f - steppedValue(parameter, portValue);
    if (std::isnan(portValue)) return clampParameter(portValue);
    return valueFromShown(parameter, portValue);
}

// What a control port carries for a 0..1 value.
inline float portValue(int parameter, float value) {
    if (parameterTable[parameter].toggle) return 1.0f - steppedValue(parameter, value);
    return displayNumber(parameter, value);
}

}  // namespace orbelune::lv2ports
