#include "commands/run_command.hpp"

#include "commands/handlers.hpp"
#include "json/reader.hpp"

namespace mnemo::commands {

namespace {

using Handler = Status (*)(const json::JsonValue&, json::ByteBuffer&);

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

}  // namespace

Result<json::ByteBuffer, RunError> run_command(std::string_view command, std::string_view payload) {
    // A single item's document fits in this block; larger ones continue on
    // the heap.
    alignas(16) std::byte first_block[2048];
    json::Arena arena(first_block);
    auto parsed = json::parse_json(payload, arena);
    if (!parsed) return fail(RunError{json::json_error_text(parsed.error())});

    Handler handler = find_handler(command);
    if (!handler) {
        std::string message = "unknown command: ";
        message += command;
        return fail(RunError{std::move(message)});
    }

    json::ByteBuffer response(128);
    response.append(kEnvelopeOpen);
    Status status = handler(parsed.value(), response);
    if (!status) return fail(std::move(status).error());
    response.push_back('}');
    return response;
}

}  // namespace mnemo::commands
