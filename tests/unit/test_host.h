// A minimal host for tests: creates instances through the exported entry point
// and records the callbacks it receives.
#pragma once

#include "support/stub_host.h"
#include "vst2/aeffect.h"

extern "C" vst::AEffect* VSTPluginMain(vst::audioMasterCallback hostCallback);

namespace testhost {

inline vst::intptr dispatch(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                            void* ptr = nullptr, float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// An instance that is closed when the test ends.
class Instance {
  public:
    Instance() : effect_(VSTPluginMain(stubhost::hostCallback)) {}
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
