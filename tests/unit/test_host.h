// A minimal host for tests: creates instances through the exported entry point
// and records the callbacks it receives.
#pragma once

#include <vector>

#include "platform/headless/win32_standin.h"
#include "vst2/aeffect.h"

extern "C" vst::AEffect* VSTPluginMain(vst::audioMasterCallback hostCallback);

namespace testhost {

// Deterministic white noise in -0.5..0.5 from a linear congruential generator:
// the same material on every machine and every run.
inline float noiseSample(unsigned& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
}

struct AutomationCall {
    vst::int32 index;
    float value;
};

inline std::vector<AutomationCall>& automationCalls() {
    static std::vector<AutomationCall> calls;
    return calls;
}

inline vst::intptr hostCallback(vst::AEffect*, vst::int32 opcode, vst::int32 index, vst::intptr, void*, float opt) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterAutomate) automationCalls().push_back({index, opt});
    return 0;
}

inline vst::intptr dispatch(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                            void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// An instance that is closed when the test ends.
class Instance {
  public:
    Instance() : effect_(VSTPluginMain(hostCallback)) {}
    ~Instance() { close(); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    vst::AEffect* operator->() const { return effect_; }
    vst::AEffect* get() const { return effect_; }
    vst::intptr dispatch(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0, void* ptr = nullptr,
                         float opt = 0.0f) const {
        return testhost::dispatch(effect_, opcode, index, value, ptr, opt);
    }
    void close() {
        if (effect_ != nullptr) testhost::dispatch(effect_, vst::effClose);
        effect_ = nullptr;
    }

  private:
    vst::AEffect* effect_;
};

}  // namespace testhost
