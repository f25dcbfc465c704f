// The record of the tier commands: four numbers and two flags that default
// to false.
#pragma once

#include <string_view>

#include "json/error.hpp"
#include "json/result.hpp"
#include "json/value.hpp"

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
Result<TierInput, json::JsonError> decode_tier_input(const json::JsonValue& value);

// The same record read straight from text when the text is a plain record
// (json/record_scan.hpp): the end of the record's text, or null when it must
// be read the general way, as a document and then by decode_tier_input.
const char* scan_tier_input(const char* begin, const char* end, TierInput& out);

// Whether the whole text is one plain TierInput, read into `out`.
bool scan_tier_input_document(std::string_view text, TierInput& out);

}  // namespace mnemo::scoring
