// The record of the score command: four numbers, all required.
#pragma once

#include <string>

#include "json/record.hpp"
#include "json/record_reader.hpp"
#include "json/syntax.hpp"

namespace mnemo::scoring {

struct RetentionInput {
    double days_since_recall = 0.0;
    double retrieval_count = 0.0;
    double importance = 0.0;
    double frequency = 0.0;
};

// Object form by key or array form [days, count, importance, frequency].
inline constexpr json::RecordLayout<RetentionInput, 4> kRetentionInputLayout{
    "RetentionInput",
    {{
        {"days_since_recall", json::FieldType::f64, true, &RetentionInput::days_since_recall},
        {"retrieval_count", json::FieldType::f64, true, &RetentionInput::retrieval_count},
        {"importance", json::FieldType::f64, true, &RetentionInput::importance},
        {"frequency", json::FieldType::f64, true, &RetentionInput::frequency},
    }},
};

// The record at q, read where it stands (json::read_record).
inline const unsigned char* read_retention_input(const unsigned char* q, json::Text& text,
                                                 int budget, RetentionInput& out,
                                                 json::DecodeFault& fault) {
    return json::read_record<kRetentionInputLayout>(q, text, budget, out, fault);
}

// The message of a decoding fault of a RetentionInput.
std::string retention_input_fault_text(const json::DecodeFault& fault, const unsigned char* end);

}  // namespace mnemo::scoring
