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

// The reference reading of each command of the table, by name.
struct Case {
    std::string_view command;
    std::string (*answer)(const JsonValue& root);
};

constexpr Case kCases[] = {
    {"tier", tier},
    {"tier-batch", tier_batch},
    {"score", score},
};

const Case* find_case(std::string_view command) {
    for (const Case& c : kCases)
        if (c.command == command) return &c;
    return nullptr;
}

}  // namespace

bool has_case(std::string_view command) { return find_case(command) != nullptr; }

std::string answer(std::string_view command, std::string_view payload) {
    auto doc = json::parse_json(payload);
    if (!doc) return error(json::json_error_text(doc.error()));
    if (!commands::find_command(command)) return error("unknown command: " + std::string(command));
    const Case* reference = find_case(command);
    if (!reference) return error("no reference case for command " + std::string(command));
    return reference->answer(doc.value().root);
}

}  // namespace mnemo::reference
