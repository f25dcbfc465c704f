// The compact JSON writer: no spaces, no line breaks, object keys in the
// byte order the document already keeps.
#pragma once

#include <string_view>

#include "json/buffer.hpp"

namespace mnemo::json {

// Appends a number in the double representation; a non-finite double,
// which a document never holds, is written as null.
void write_double(double d, ByteBuffer& out);

// The same text at `w`, which must have kDoubleTextRoom bytes of room;
// returns the text's end.
char* write_double(double d, char* w);

}  // namespace mnemo::json
