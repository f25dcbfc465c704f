// The command layer: one call of `run` from payload text to response text.
#pragma once

#include <string>
#include <string_view>

#include "json/buffer.hpp"
#include "json/result.hpp"

namespace mnemo::commands {

// The failure of a command. Its message reaches the caller unchanged.
struct RunError {
    std::string message;
};

// Parses the whole payload, then runs the command named exactly "tier",
// "tier-batch" or "score", and returns the compact response text
// {"ok":true,"result":…}. Throws std::bad_alloc when memory runs out.
Result<json::ByteBuffer, RunError> run_command(std::string_view command, std::string_view payload);

}  // namespace mnemo::commands
