// Turns bytes into a sequence of CLAP calls on instances made through the
// module's entry, and checks after every call what a host is entitled to rely
// on. Shared by the fuzzer and by the regression run over the committed corpus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hardening {

// Runs the calls that `data` encodes; returns normally when every invariant
// held and aborts (with a message) at the first one that did not.
void runClapCalls(const std::uint8_t* data, std::size_t size);

}  // namespace hardening
