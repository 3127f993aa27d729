// libFuzzer entry: every input is one host session of VST 3 calls on one or two instances.
#include <cstddef>
#include <cstdint>

#include "hardening/vst3_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hardening::runVst3Calls(data, size);
    return 0;
}
