// The JSON reader: payload text to a document, or an error with its position.
#pragma once

#include <string_view>

#include "json/error.hpp"
#include "json/result.hpp"
#include "json/value.hpp"

namespace mnemo::json {

// Nesting budget at the start of a document: 127 nested arrays and objects
// are accepted, the 128th opening bracket is refused.
inline constexpr int kNestingBudget = 128;

// Reads one document followed by nothing but whitespace. Strings without
// escapes in the result point into `text`, which must outlive the document;
// everything else is allocated from `arena`. Throws std::bad_alloc when
// memory runs out; every fault of the text is a JsonError.
Result<JsonValue, JsonError> parse_json(std::string_view text, Arena& arena);

// The same, with the storage kept in the returned document.
Result<JsonDocument, JsonError> parse_json(std::string_view text);

// Line and column of a byte index: lines are counted by line feeds, columns
// in bytes from the start of the line.
struct Position {
    std::size_t line;
    std::size_t column;
};
Position position_of(std::string_view text, std::size_t index);

}  // namespace mnemo::json
