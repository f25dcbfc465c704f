#include "commands.hpp"

#include "decode.hpp"
#include "document_reader.hpp"
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

}  // namespace

std::string answer(std::string_view command, std::string_view payload) {
    auto doc = json::parse_json(payload);
    if (!doc) return error(json::json_error_text(doc.error()));
    const JsonValue& root = doc.value().root;
    if (command == "tier") return tier(root);
    if (command == "tier-batch") return tier_batch(root);
    if (command == "score") return score(root);
    return error("unknown command: " + std::string(command));
}

}  // namespace mnemo::reference
