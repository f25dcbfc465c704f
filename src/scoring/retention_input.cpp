#include "scoring/retention_input.hpp"

namespace mnemo::scoring {

std::string retention_input_fault_text(const json::DecodeFault& fault, const unsigned char* end) {
    return json::decode_fault_text<kRetentionInputLayout>(fault, end);
}

}  // namespace mnemo::scoring
