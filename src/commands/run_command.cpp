#include "commands/run_command.hpp"

#include "commands/command_table.hpp"
#include "commands/handlers.hpp"
#include "platform/compiler.hpp"

namespace mnemo::commands {

namespace {

// Objects are written with their keys in byte order, and "ok" sorts before
// "result", so every response opens with the same bytes.
constexpr std::string_view kEnvelopeOpen = "{\"ok\":true,\"result\":";

// The payload is checked whole before the command is looked at, so a
// payload that is not JSON is reported as such whatever the command.
MNEMO_NOINLINE Status unknown_command(std::string_view command, std::string_view payload) {
    json::Text text(payload);
    const unsigned char* q = json::skip_whitespace(text.begin, text.end);
    q = json::skip_value(q, text, json::kNestingBudget);
    if (!q || !document_end(q, text)) return syntax_failure(text);
    std::string message = "unknown command: ";
    message += command;
    return fail(RunError{std::move(message)});
}

}  // namespace

Status run_command(std::string_view command, std::string_view payload, json::ByteBuffer& response) {
    const Command* const found = find_command(command);
    if (!found) return unknown_command(command, payload);
    response.append(kEnvelopeOpen);
    Status status = found->handler(payload, response);
    if (!status) return status;
    response.push_back('}');
    return std::monostate{};
}

}  // namespace mnemo::commands
