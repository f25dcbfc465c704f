#include "commands/run_command.hpp"

#include "commands/handlers.hpp"
#include "platform/compiler.hpp"

namespace mnemo::commands {

namespace {

using Handler = Status (*)(std::string_view, json::ByteBuffer&);

struct Command {
    std::string_view name;
    Handler handler;
};

constexpr Command kCommands[] = {
    {"tier", run_tier},
    {"tier-batch", run_tier_batch},
    {"score", run_score},
};

Handler find_handler(std::string_view command) {
    for (const Command& c : kCommands)
        if (c.name == command) return c.handler;
    return nullptr;
}

// Objects are written with their keys in byte order, and "ok" sorts before
// "result", so every response opens with the same bytes.
constexpr std::string_view kEnvelopeOpen = "{\"ok\":true,\"result\":";

// Every handler reads the whole payload before anything else, so a payload
// that is not JSON is reported as such whatever the command.
MNEMO_NOINLINE Status unknown_command(std::string_view command, std::string_view payload) {
    PayloadArena storage;
    auto parsed = read_payload(payload, storage.arena);
    if (!parsed) return fail(std::move(parsed).error());
    std::string message = "unknown command: ";
    message += command;
    return fail(RunError{std::move(message)});
}

}  // namespace

Result<json::JsonValue, RunError> read_payload(std::string_view text, json::Arena& arena,
                                               json::StreamedMember streamed) {
    auto parsed = json::parse_json(text, arena, streamed);
    if (!parsed) return fail(RunError{json::json_error_text(parsed.error())});
    return parsed.value();
}

Status run_command(std::string_view command, std::string_view payload, json::ByteBuffer& response) {
    Handler handler = find_handler(command);
    if (!handler) return unknown_command(command, payload);
    response.append(kEnvelopeOpen);
    Status status = handler(payload, response);
    if (!status) return status;
    response.push_back('}');
    return std::monostate{};
}

}  // namespace mnemo::commands
