// The record of the score command: four numbers, all required.
#pragma once

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

}  // namespace mnemo::scoring
