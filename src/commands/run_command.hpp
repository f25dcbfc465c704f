// The command layer: one call of `run` from payload text to response text.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "json/buffer.hpp"
#include "json/result.hpp"

namespace mnemo::commands {

// The failure of a command. Its message reaches the caller unchanged.
struct RunError {
    std::string message;
};

// Reads the whole payload, then runs the command named exactly "tier",
// "tier-batch" or "score", and writes the compact response text
// {"ok":true,"result":…} into `response`, which starts empty. On failure
// the response holds nothing of use. Throws std::bad_alloc when memory runs
// out.
Result<std::monostate, RunError> run_command(std::string_view command, std::string_view payload,
                                             json::ByteBuffer& response);

}  // namespace mnemo::commands
