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

// Receives the elements of a streamed array one by one, as they are read.
class ElementSink {
public:
    // An array of the streamed member starts; when the text repeats the
    // member, this comes again and the earlier elements no longer count.
    virtual void begin_array() = 0;
    // `element` and everything it refers to stay valid only during the call.
    virtual void element(const JsonValue& element) = 0;
    // Offered the text from an element's first byte to the end of the
    // payload before the reader reads the element: a sink that can take the
    // element straight from its text returns the number of bytes it took,
    // which must be exactly the element's text, valid JSON. Returning 0
    // leaves the element to the reader, which then calls `element`.
    virtual std::size_t take_element_text(const char* begin, const char* end) {
        (void)begin;
        (void)end;
        return 0;
    }

    virtual ~ElementSink() = default;
};

// A member of the root object whose array, when it holds one, is not kept
// in the document but handed to `sink` element by element. A large array of
// records is thus read in the memory of one element.
struct StreamedMember {
    std::string_view key;
    ElementSink* sink = nullptr;
};

// Reads one document followed by nothing but whitespace. Strings without
// escapes in the result point into `text`, which must outlive the document;
// everything else is allocated from `arena`. When the root is an object, the
// elements of the streamed member's arrays go to its sink and the member
// holds an empty array. Throws std::bad_alloc when memory runs out; every
// fault of the text is a JsonError, reported whether or not elements were
// already handed over.
Result<JsonValue, JsonError> parse_json(std::string_view text, Arena& arena,
                                        StreamedMember streamed = {});

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
