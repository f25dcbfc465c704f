// The record of the tier commands: four numbers and two flags that default
// to false.
#pragma once

#include <string>

#include "json/record.hpp"
#include "json/record_reader.hpp"
#include "json/syntax.hpp"

namespace mnemo::scoring {

struct TierInput {
    double days_since_recall = 0.0;
    double retrieval_count = 0.0;
    double importance = 0.0;
    double frequency = 0.0;
    bool is_procedural = false;
    bool keep_forever = false;
};

// Object form by key or array form
// [days, count, importance, frequency, is_procedural?, keep_forever?].
inline constexpr json::RecordLayout<TierInput, 6> kTierInputLayout{
    "TierInput",
    {{
        {"days_since_recall", json::FieldType::f64, true, &TierInput::days_since_recall},
        {"retrieval_count", json::FieldType::f64, true, &TierInput::retrieval_count},
        {"importance", json::FieldType::f64, true, &TierInput::importance},
        {"frequency", json::FieldType::f64, true, &TierInput::frequency},
        {"is_procedural", json::FieldType::boolean, false, nullptr, &TierInput::is_procedural},
        {"keep_forever", json::FieldType::boolean, false, nullptr, &TierInput::keep_forever},
    }},
};

// The record at q, read where it stands (json::read_record).
inline const unsigned char* read_tier_input(const unsigned char* q, json::Text& text, int budget,
                                            TierInput& out, json::DecodeFault& fault) {
    return json::read_record<kTierInputLayout>(q, text, budget, out, fault);
}

// The message of a decoding fault of a TierInput.
std::string tier_input_fault_text(const json::DecodeFault& fault, const unsigned char* end);

}  // namespace mnemo::scoring
