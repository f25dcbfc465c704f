// libFuzzer harness for the JSON reader and writer: any bytes are read; what
// reads is written, read again and written again (see oracle.hpp).
#include <cstddef>
#include <cstdint>

#include "oracle.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mnemo::oracle::check_json_round_trip({reinterpret_cast<const char*>(data), size});
    return 0;
}
