// Who the plug-in is, in every format: its names, vendor, version and the
// identifiers hosts keep in their projects. None of these may ever change.
#pragma once

#include <cstdint>

namespace orbelune::identity {

constexpr const char* kEffectName = "Drevon Orbelune";
constexpr const char* kVendorName = "Drevon Audio Technologies";
constexpr const char* kProductName = "Drevon Orbelune 3D Reverb";
constexpr std::int32_t kVersionNumber = 1000;
constexpr const char* kVersionText = "1.0.0";

// Four characters with the first in the highest byte: 'ORBL'.
constexpr std::int32_t kUniqueId = 0x4F52424C;
// The VST 3 class, as four 32-bit words in the order they are written.
constexpr std::uint32_t kClassIdWords[4] = {0x6D4F7262, 0x3A91C2E5, 0x8B17D04F, 0x52C6A913};
constexpr const char* kLv2Uri = "urn:drevon:orbelune";
constexpr const char* kLv2UiUri = "urn:drevon:orbelune#ui";
constexpr const char* kClapId = "com.drevon.orbelune";

}  // namespace orbelune::identity
