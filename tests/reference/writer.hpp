// The compact JSON writer of documents: no spaces, no line breaks, object
// keys in the byte order the document keeps.
#pragma once

#include <string_view>

#include "document.hpp"
#include "json/buffer.hpp"

namespace mnemo::json {

// Appends the compact text of `value`.
void write_json(const JsonValue& value, ByteBuffer& out);

// Appends the text of a double (json/number_text.hpp).
void write_number(double value, ByteBuffer& out);

// Appends a string literal: the quote, the bytes with `"`, `\` and the
// control bytes escaped, the quote. Other bytes are copied as they are.
void write_string(std::string_view s, ByteBuffer& out);

}  // namespace mnemo::json
