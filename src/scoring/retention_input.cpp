#include "scoring/retention_input.hpp"

#include "json/record.hpp"
#include "json/record_scan.hpp"

namespace mnemo::scoring {

namespace {

using json::FieldType;

constexpr json::RecordLayout<RetentionInput, 4> kRetentionInput{
    "RetentionInput",
    {{
        {"days_since_recall", FieldType::f64, true, &RetentionInput::days_since_recall},
        {"retrieval_count", FieldType::f64, true, &RetentionInput::retrieval_count},
        {"importance", FieldType::f64, true, &RetentionInput::importance},
        {"frequency", FieldType::f64, true, &RetentionInput::frequency},
    }},
};

}  // namespace

Result<RetentionInput, json::JsonError> decode_retention_input(const json::JsonValue& value) {
    return json::decode_record(value, kRetentionInput);
}

bool scan_retention_input_document(std::string_view text, RetentionInput& out) {
    return json::scan_record_document<kRetentionInput>(text, out);
}

}  // namespace mnemo::scoring
