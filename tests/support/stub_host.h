// The one stub host every test program shares, native or under Wine: a VST 2
// host callback that answers the version and records automation and window
// sizes asked for, and the deterministic noise the sound comparisons feed.
#pragma once

#include <utility>
#include <vector>

#include "vst2/aeffect.h"

namespace stubhost {

struct Automation {
    vst::int32 index;
    float value;
};

inline std::vector<Automation>& automations() {
    static std::vector<Automation> calls;
    return calls;
}

// The window sizes the editor asked the host for (width, height).
inline std::vector<std::pair<int, int>>& sizeRequests() {
    static std::vector<std::pair<int, int>> requests;
    return requests;
}

inline vst::intptr hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32 index, vst::intptr value, void*,
                                float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterAutomate) automations().push_back({index, opt});
    if (opcode == vst::audioMasterSizeWindow) {
        sizeRequests().push_back({index, static_cast<int>(value)});
        return 1;
    }
    return 0;
}

// Deterministic white noise in -0.5..0.5 from a linear congruential generator:
// the same material on every machine and every run.
inline float noise(unsigned& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
}

}  // namespace stubhost
