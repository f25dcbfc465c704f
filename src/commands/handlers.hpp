// The command handlers. Each reads the payload text with `read_payload` and
// appends its result value to the response, whose envelope the command layer
// writes around it. A handler that fails leaves the response to be
// discarded.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <variant>

#include "commands/run_command.hpp"
#include "json/reader.hpp"
#include "json/value.hpp"

namespace mnemo::commands {

using Status = Result<std::monostate, RunError>;

// Storage for a payload read the general way: a first block on the stack,
// which a single item's document fits in, the rest on the heap. Plain
// payloads are read without one, so only the general way makes it.
struct PayloadArena {
    alignas(16) std::byte first_block[2048];
    json::Arena arena{std::span<std::byte>(first_block)};
};

// The whole payload as a document, or the reader's error as the command's.
Result<json::JsonValue, RunError> read_payload(std::string_view text, json::Arena& arena,
                                               json::StreamedMember streamed = {});

Status run_tier(std::string_view payload, json::ByteBuffer& out);
Status run_tier_batch(std::string_view payload, json::ByteBuffer& out);
Status run_score(std::string_view payload, json::ByteBuffer& out);

}  // namespace mnemo::commands
