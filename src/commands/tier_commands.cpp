#include <algorithm>

#include "commands/handlers.hpp"
#include "scoring/tier_decision.hpp"

namespace mnemo::commands {

namespace {

// Longest decision text: the longest action and tier labels and a retention
// of up to 24 characters.
constexpr std::size_t kDecisionTextBound = 96;

// Room reserved up front for at most this many decisions. Any item may fail
// to decode, so a batch must not claim memory for all of its decisions
// before it has made one: a long array of bad items would then run out of
// memory instead of failing with its message. Past this the buffer grows
// geometrically.
constexpr std::size_t kReservedDecisions = 4096;

}  // namespace

Status run_tier(const json::JsonValue& payload, json::ByteBuffer& out) {
    auto input = scoring::decode_tier_input(payload);
    if (!input) return fail(RunError{json::json_error_text(input.error())});
    scoring::decision_to_json(scoring::decide_tier(input.value()), out);
    return std::monostate{};
}

Status run_tier_batch(const json::JsonValue& payload, json::ByteBuffer& out) {
    const json::JsonValue* items =
        payload.kind() == json::JsonKind::object ? payload.find("items") : nullptr;
    if (!items || items->kind() != json::JsonKind::array)
        return fail(RunError{"missing required field: items"});

    // Decisions are written one by one; the first item that fails to decode
    // fails the whole command and the partly written response is dropped.
    out.reserve_more(std::min(items->size(), kReservedDecisions) * kDecisionTextBound + 32);
    out.append("{\"decisions\":[");
    bool first = true;
    for (const json::JsonValue& item : items->items()) {
        auto input = scoring::decode_tier_input(item);
        if (!input) return fail(RunError{json::json_error_text(input.error())});
        if (!first) out.push_back(',');
        first = false;
        scoring::decision_to_json(scoring::decide_tier(input.value()), out);
    }
    out.append("]}");
    return std::monostate{};
}

}  // namespace mnemo::commands
