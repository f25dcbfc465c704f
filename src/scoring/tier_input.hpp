// The record of the tier commands: four numbers and two flags that default
// to false.
#pragma once

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

}  // namespace mnemo::scoring
