// Writes the factory presets as VST 3 preset files, one per preset, named as
// hosts list them: each holds the state an instance saves with that preset
// chosen, so any host that reads preset files restores it exactly.
//
//   orbelune-vst3-presets DIRECTORY
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/identity.h"
#include "core/parameters.h"
#include "core/presets.h"
#include "core/state.h"

namespace {

using namespace orbelune;

constexpr std::int64_t kHeaderBytes = 48;  // tag, version, class id, chunk list offset

void putWord(std::ofstream& out, std::uint64_t value, int bytes) {
    for (int byte = 0; byte < bytes; ++byte) out.put(static_cast<char>(value >> (8 * byte)));
}

bool writePreset(const std::string& directory, int index) {
    const Preset& preset = presetTable[index];
    SavedState state;
    for (int parameter = 0; parameter < kParamCount; ++parameter) state.values[parameter] = preset.values[parameter];
    state.preset = index;
    unsigned char record[kStateBytes];
    encodeState(state, record);

    std::ofstream out(directory + "/" + preset.name + ".vstpreset", std::ios::binary);
    char classId[33];
    std::snprintf(classId, sizeof(classId), "%08X%08X%08X%08X", identity::kClassIdWords[0], identity::kClassIdWords[1],
                  identity::kClassIdWords[2], identity::kClassIdWords[3]);
    out.write("VST3", 4);
    putWord(out, 1, 4);
    out.write(classId, 32);
    putWord(out, static_cast<std::uint64_t>(kHeaderBytes + static_cast<std::int64_t>(kStateBytes)), 8);
    out.write(reinterpret_cast<const char*>(record), kStateBytes);
    out.write("List", 4);
    putWord(out, 1, 4);
    out.write("Comp", 4);
    putWord(out, kHeaderBytes, 8);
    putWord(out, kStateBytes, 8);
    return static_cast<bool>(out);
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fprintf(stderr, "usage: orbelune-vst3-presets DIRECTORY\n");
        return 2;
    }
    for (int index = 0; index < kPresetCount; ++index)
        if (!writePreset(arguments[1], index)) {
            std::fprintf(stderr, "orbelune-vst3-presets: cannot write into %s\n", arguments[1]);
            return 1;
        }
    return 0;
}
