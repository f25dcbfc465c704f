// The reference reader: payload text to a whole document, or an error with
// its position, by the rules the module's forward reader follows without
// building one. Tests and fuzzers compare the two.
#pragma once

#include <string_view>

#include "document.hpp"
#include "json/error.hpp"
#include "json/result.hpp"
#include "json/syntax.hpp"

namespace mnemo::json {

// Reads one document followed by nothing but whitespace. Strings without
// escapes in the result point into `text`, which must outlive the document;
// everything else is allocated from `arena`.
Result<JsonValue, JsonError> parse_json(std::string_view text, Arena& arena);

// The same, with the storage kept in the returned document.
Result<JsonDocument, JsonError> parse_json(std::string_view text);

}  // namespace mnemo::json
