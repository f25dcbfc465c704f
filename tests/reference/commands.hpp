// The reference command layer: the payload read whole into a document, then
// each record decoded from it, then the same scoring and the same response
// text. The module reads records where they stand in the text; whatever the
// payload, both must answer alike.
#pragma once

#include <string>
#include <string_view>

namespace mnemo::reference {

// The response text, or "error: " and the message.
std::string answer(std::string_view command, std::string_view payload);

// Whether the reference reads the command of that name: each command of the
// module's table must have a reading of its shapes here.
bool has_case(std::string_view command);

}  // namespace mnemo::reference
