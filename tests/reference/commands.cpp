#include "commands.hpp"

#include "commands/command_table.hpp"
#include "decode.hpp"
#include "document_reader.hpp"
#include "scoring/decision_text.hpp"
#include "scoring/retention.hpp"
#include "scoring/tier_decision.hpp"
#include "writer.hpp"

namespace mnemo::reference {

namespace {

using json::JsonKind;
using json::JsonValue;

constexpr std::string_view kErrorHead = "error: ";

std::string error(std::string_view message) {
    return std::string(kErrorHead) + std::string(message);
}

std::string response(const json::ByteBuffer& result) {
    return "{\"ok\":true,\"result\":" + std::string(result.view()) + "}";
}

std::string tier(const JsonValue& root) {
    auto input = json::decode_tier_input(root);
    if (!input) return error(input.error());
    json::ByteBuffer out;
    scoring::decision_to_json(scoring::decide_tier(input.value()), out);
    return response(out);
}

std::string tier_batch(const JsonValue& root) {
    const JsonValue* items = root.kind() == JsonKind::object ? root.find("items") : nullptr;
    if (!items || items->kind() != JsonKind::array) return error("missing required field: items");
    json::ByteBuffer out;
    out.append("{\"decisions\":[");
    bool first = true;
    for (const JsonValue& item : items->items()) {
        auto input = json::decode_tier_input(item);
        if (!input) return error(input.error());
        if (!first) out.push_back(',');
        first = false;
        scoring::decision_to_json(scoring::decide_tier(input.value()), out);
    }
    out.append("]}");
    return response(out);
}

std::string score(const JsonValue& root) {
    auto input = json::decode_retention_input(root);
    if (!input) return error(input.error());
    const scoring::RetentionInput& in = input.value();
    const scoring::RetentionScore s = scoring::compute_retention(
        in.days_since_recall, in.retrieval_count, in.importance, in.frequency);
    json::ByteBuffer out;
    out.append("{\"boost\":");
    json::write_number(s.boost, out);
    out.append(",\"retention\":");
    json::write_number(s.retention, out);
    out.append(",\"stability\":");
    json::write_number(s.stability, out);
    out.push_back('}');
    return response(out);
}

// The reference reading of a command of the table, chosen by the shapes
// the table gives it: where its records stand, what it answers. Null for a
// shape that has no reference reading yet.
using Reading = std::string (*)(const JsonValue& root);

Reading reading_of(const commands::Command& command) {
    using commands::PayloadShape;
    using commands::ResultShape;
    switch (command.result_shape) {
        case ResultShape::decision:
            return command.payload_shape == PayloadShape::record ? tier : nullptr;
        case ResultShape::decisions:
            return command.payload_shape == PayloadShape::items ? tier_batch : nullptr;
        case ResultShape::score:
            return command.payload_shape == PayloadShape::record ? score : nullptr;
        case ResultShape::other: return nullptr;
    }
    return nullptr;
}

}  // namespace

bool has_case(std::string_view command) {
    const commands::Command* c = commands::find_command(command);
    return c && reading_of(*c);
}

std::string answer(std::string_view command, std::string_view payload) {
    auto doc = json::parse_json(payload);
    if (!doc) return error(json::json_error_text(doc.error()));
    const commands::Command* c = commands::find_command(command);
    if (!c) return error("unknown command: " + std::string(command));
    const Reading reading = reading_of(*c);
    if (!reading) return error("no reference case for command " + std::string(command));
    return reading(doc.value().root);
}

}  // namespace mnemo::reference
