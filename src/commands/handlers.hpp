// The command handlers. Each reads the payload text with `read_payload` and
// appends its result value to the response, whose envelope the command layer
// writes around it. A handler that fails leaves the response to be
// discarded.
#pragma once

#include <string_view>
#include <variant>

#include "commands/run_command.hpp"
#include "json/reader.hpp"
#include "json/value.hpp"

namespace mnemo::commands {

using Status = Result<std::monostate, RunError>;

// The whole payload as a document, or the reader's error as the command's.
Result<json::JsonValue, RunError> read_payload(std::string_view text, json::Arena& arena,
                                               json::StreamedMember streamed = {});

Status run_tier(std::string_view payload, json::Arena& arena, json::ByteBuffer& out);
Status run_tier_batch(std::string_view payload, json::Arena& arena, json::ByteBuffer& out);
Status run_score(std::string_view payload, json::Arena& arena, json::ByteBuffer& out);

}  // namespace mnemo::commands
