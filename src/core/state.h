// The saved state every format writes: a tag, a format version, the seven 0..1
// values as little-endian floats and the factory preset last chosen. Projects
// saved before the preset was kept hold the first version, without it; both
// read back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine_state.h"

namespace orbelune {

struct SavedState {
    float values[kParamCount];
    std::int32_t preset = -1;  // index into the factory presets, -1 for none
};

constexpr std::size_t kStateHeaderBytes = 8;
constexpr std::size_t kFirstStateBytes = kStateHeaderBytes + 4 * kParamCount;
constexpr std::size_t kStateBytes = kFirstStateBytes + 4;

// The whole record's length that a header announces, or 0 for a header that
// is not ours or of a version we do not know.
std::size_t stateBytesFor(const unsigned char header[kStateHeaderBytes]) noexcept;
void encodeState(const SavedState& state, unsigned char record[kStateBytes]) noexcept;
// The state in a record, or false, with `state` untouched, for one that is not
// ours, is not of the length its version has, or holds a value no instance
// could have. A toggle comes back as the switch it is.
bool decodeState(const unsigned char* record, std::size_t bytes, SavedState& state) noexcept;

}  // namespace orbelune
