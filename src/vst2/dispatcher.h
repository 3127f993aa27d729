#pragma once

#include "vst2/aeffect.h"

namespace orbelune {

// The host's multi-purpose entry: queries, texts, sample rate, bypass, editor
// and effClose. Runs on whatever thread the host calls it from.
vst::intptr dispatcher(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                       float opt) noexcept;

constexpr vst::intptr kCockosExtensionsAnswer = 0xBEEF0000;

}  // namespace orbelune
