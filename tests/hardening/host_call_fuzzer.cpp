// libFuzzer entry: every input is one host session of calls on a few instances.
#include <cstddef>
#include <cstdint>

#include "hardening/host_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hardening::runHostCalls(data, size);
    return 0;
}
