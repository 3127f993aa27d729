#include "core/state.h"

#include <cstring>

#include "core/parameters.h"
#include "core/presets.h"

namespace orbelune {

namespace {

constexpr char kStateTag[4] = {'D', 'O', 'r', 'b'};
constexpr std::uint32_t kFirstVersion = 1;
constexpr std::uint32_t kPresetVersion = 2;

void putLittleEndian(unsigned char* destination, std::uint32_t word) {
    for (int byte = 0; byte < 4; ++byte) destination[byte] = static_cast<unsigned char>(word >> (8 * byte));
}

std::uint32_t getLittleEndian(const unsigned char* source) {
    std::uint32_t word = 0;
    for (int byte = 0; byte < 4; ++byte) word |= static_cast<std::uint32_t>(source[byte]) << (8 * byte);
    return word;
}

}  // namespace

std::size_t stateBytesFor(const unsigned char header[kStateHeaderBytes]) noexcept {
    if (std::memcmp(header, kStateTag, sizeof(kStateTag)) != 0) return 0;
    switch (getLittleEndian(header + 4)) {
        case kFirstVersion: return kFirstStateBytes;
        case kPresetVersion: return kStateBytes;
        default: return 0;
    }
}

void encodeState(const SavedState& state, unsigned char record[kStateBytes]) noexcept {
    std::memcpy(record, kStateTag, sizeof(kStateTag));
    putLittleEndian(record + 4, kPresetVersion);
    for (int index = 0; index < kParamCount; ++index) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &state.values[index], sizeof(bits));
        putLittleEndian(record + kStateHeaderBytes + 4 * index, bits);
    }
    putLittleEndian(record + kFirstStateBytes, static_cast<std::uint32_t>(state.preset));
}

bool decodeState(const unsigned char* record, std::size_t bytes, SavedState& state) noexcept {
    if (record == nullptr || bytes < kStateHeaderBytes || bytes != stateBytesFor(record)) return false;
    SavedState decoded;
    for (int index = 0; index < kParamCount; ++index) {
        const std::uint32_t bits = getLittleEndian(record + kStateHeaderBytes + 4 * index);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof(value));
        if (!(value >= 0.0f && value <= 1.0f)) return false;
        // A toggle comes back as the switch it is everywhere else, so that a
        // record holding 0.5 is on for the audio as it is for a host.
        decoded.values[index] = parameterTable[index].toggle ? steppedValue(index, value) : value;
    }
    if (bytes == kStateBytes) {
        decoded.preset = static_cast<std::int32_t>(getLittleEndian(record + kFirstStateBytes));
        if (decoded.preset < -1 || decoded.preset >= kPresetCount) return false;
    }
    state = decoded;
    return true;
}

}  // namespace orbelune
