// The record of the score command: four numbers, all required.
#pragma once

#include <string_view>

#include "json/error.hpp"
#include "json/result.hpp"
#include "json/value.hpp"

namespace mnemo::scoring {

struct RetentionInput {
    double days_since_recall = 0.0;
    double retrieval_count = 0.0;
    double importance = 0.0;
    double frequency = 0.0;
};

// Object form by key or array form [days, count, importance, frequency].
Result<RetentionInput, json::JsonError> decode_retention_input(const json::JsonValue& value);

// Whether the whole text is one plain RetentionInput (json/record_scan.hpp),
// read into `out`; otherwise it must be read as a document and then by
// decode_retention_input.
bool scan_retention_input_document(std::string_view text, RetentionInput& out);

}  // namespace mnemo::scoring
