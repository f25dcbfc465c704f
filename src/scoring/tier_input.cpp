#include "scoring/tier_input.hpp"

namespace mnemo::scoring {

std::string tier_input_fault_text(const json::DecodeFault& fault, const unsigned char* end) {
    return json::decode_fault_text<kTierInputLayout>(fault, end);
}

}  // namespace mnemo::scoring
