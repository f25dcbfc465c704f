// libFuzzer harness for the command layer: a command and a payload, both
// UTF-8 as Python guarantees, separated by the byte 0xFF (see oracle.hpp).
// Inputs that are not UTF-8 are refused so that they do not enter the corpus.
#include <cstddef>
#include <cstdint>

#include "oracle.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return mnemo::oracle::check_command_input({reinterpret_cast<const char*>(data), size}) ? 0 : -1;
}
