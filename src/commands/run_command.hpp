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

// Runs the command of that exact name (commands/command_table.hpp) on the
// payload, and writes the compact response text
// {"ok":true,"result":…} into `response`, which starts empty. A payload
// that is not JSON fails as such, whatever the command. On failure
// the response holds nothing of use. Throws std::bad_alloc when memory runs
// out.
Result<std::monostate, RunError> run_command(std::string_view command, std::string_view payload,
                                             json::ByteBuffer& response);

}  // namespace mnemo::commands
