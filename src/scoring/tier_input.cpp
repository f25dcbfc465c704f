#include "scoring/tier_input.hpp"

#include "json/record.hpp"
#include "json/record_scan.hpp"

namespace mnemo::scoring {

namespace {

using json::FieldType;

constexpr json::RecordLayout<TierInput, 6> kTierInput{
    "TierInput",
    {{
        {"days_since_recall", FieldType::f64, true, &TierInput::days_since_recall},
        {"retrieval_count", FieldType::f64, true, &TierInput::retrieval_count},
        {"importance", FieldType::f64, true, &TierInput::importance},
        {"frequency", FieldType::f64, true, &TierInput::frequency},
        {"is_procedural", FieldType::boolean, false, nullptr, &TierInput::is_procedural},
        {"keep_forever", FieldType::boolean, false, nullptr, &TierInput::keep_forever},
    }},
};

}  // namespace

Result<TierInput, json::JsonError> decode_tier_input(const json::JsonValue& value) {
    return json::decode_record(value, kTierInput);
}

const char* scan_tier_input(const char* begin, const char* end, TierInput& out) {
    const auto* stop =
        json::scan_record<kTierInput>(reinterpret_cast<const unsigned char*>(begin),
                                      reinterpret_cast<const unsigned char*>(end), out);
    return reinterpret_cast<const char*>(stop);
}

bool scan_tier_input_document(std::string_view text, TierInput& out) {
    return json::scan_record_document<kTierInput>(text, out);
}

}  // namespace mnemo::scoring
