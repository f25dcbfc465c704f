#include "scoring/retention_input.hpp"

namespace mnemo::scoring {

const unsigned char* read_retention_input(const unsigned char* q, json::Text& text, int budget,
                                          RetentionInput& out, json::DecodeFault& fault) {
    return json::read_record<kRetentionInputLayout>(q, text, budget, out, fault);
}

std::string retention_input_fault_text(const json::DecodeFault& fault, const unsigned char* end) {
    return json::decode_fault_text<kRetentionInputLayout>(fault, end);
}

}  // namespace mnemo::scoring
