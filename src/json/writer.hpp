// The compact JSON writer: no spaces, no line breaks, object keys in the
// byte order the document already keeps.
#pragma once

#include <string_view>

#include "json/buffer.hpp"
#include "json/value.hpp"

namespace mnemo::json {

// Appends the compact text of `value`.
void write_json(const JsonValue& value, ByteBuffer& out);

// Appends a string literal: the quote, the bytes with `"`, `\` and the
// control bytes escaped, the quote. Other bytes are copied as they are.
void write_string(std::string_view s, ByteBuffer& out);

}  // namespace mnemo::json
