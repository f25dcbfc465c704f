#include "scoring/tier_input.hpp"

namespace mnemo::scoring {

const unsigned char* read_tier_input(const unsigned char* q, json::Text& text, int budget,
                                     TierInput& out, json::DecodeFault& fault) {
    return json::read_record<kTierInputLayout>(q, text, budget, out, fault);
}

std::string tier_input_fault_text(const json::DecodeFault& fault, const unsigned char* end) {
    return json::decode_fault_text<kTierInputLayout>(fault, end);
}

}  // namespace mnemo::scoring
