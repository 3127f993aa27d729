// libFuzzer entry: every input is one host session of CLAP calls on one or two instances.
#include <cstddef>
#include <cstdint>

#include "hardening/clap_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hardening::runClapCalls(data, size);
    return 0;
}
