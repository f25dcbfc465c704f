// The command handlers. Each reads the parsed payload and appends its result
// value to the response, whose envelope the command layer writes around it.
// A handler that fails leaves the response to be discarded.
#pragma once

#include <variant>

#include "commands/run_command.hpp"
#include "json/value.hpp"

namespace mnemo::commands {

using Status = Result<std::monostate, RunError>;

Status run_tier(const json::JsonValue& payload, json::ByteBuffer& out);
Status run_tier_batch(const json::JsonValue& payload, json::ByteBuffer& out);
Status run_score(const json::JsonValue& payload, json::ByteBuffer& out);

}  // namespace mnemo::commands
