// The LV2 plug-in's ports, shared by its DSP binary, its UI binary and the
// generator of its description: two audio inputs, two outputs, one control per
// parameter in the unit its display shows, the host's enable switch, and the
// output level for the editor's glow.
#pragma once

#include <cstdint>

#include "engine/engine_state.h"

namespace orbelune::lv2ports {

constexpr const char* kPluginUri = "urn:drevon:orbelune";
constexpr const char* kUiUri = "urn:drevon:orbelune#ui";

constexpr std::uint32_t kInputLeft = 0;
constexpr std::uint32_t kInputRight = 1;
constexpr std::uint32_t kOutputLeft = 2;
constexpr std::uint32_t kOutputRight = 3;
constexpr std::uint32_t kFirstControl = 4;  // "Decay" to "Mix", in parameter order
constexpr std::uint32_t kEnabled = kFirstControl + kParamBypass;  // 1 runs the reverb, 0 bypasses it
constexpr std::uint32_t kLevel = kEnabled + 1;
constexpr std::uint32_t kPortCount = kLevel + 1;

constexpr const char* kControlSymbols[kParamBypass] = {"decay", "size", "damping", "width", "predelay", "mix"};

// The parameter a control port carries, or -1 for the other ports.
constexpr int parameterOfPort(std::uint32_t port) {
    return port >= kFirstControl && port < kFirstControl + kParamCount ? static_cast<int>(port - kFirstControl) : -1;
}

}  // namespace orbelune::lv2ports
