#pragma once

#include "vst2/aeffect.h"

namespace orbelune {

// The host's audio callback (both `process` and `processReplacing`): runs on the
// audio thread, replaces the output.
void processReplacing(vst::AEffect* effect, float** inputs, float** outputs, vst::int32 frames) noexcept;

}  // namespace orbelune
