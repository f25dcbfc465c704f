#include "commands/handlers.hpp"
#include "json/writer.hpp"
#include "scoring/retention.hpp"
#include "scoring/retention_input.hpp"

namespace mnemo::commands {

namespace {

void write_score(const scoring::RetentionInput& in, json::ByteBuffer& out) {
    const scoring::RetentionScore score = scoring::compute_retention(
        in.days_since_recall, in.retrieval_count, in.importance, in.frequency);
    // Keys in byte order: boost, retention, stability.
    out.append("{\"boost\":");
    json::write_double(score.boost, out);
    out.append(",\"retention\":");
    json::write_double(score.retention, out);
    out.append(",\"stability\":");
    json::write_double(score.stability, out);
    out.push_back('}');
}

}  // namespace

Status run_score(std::string_view payload, json::Arena& arena, json::ByteBuffer& out) {
    scoring::RetentionInput plain;
    if (scoring::scan_retention_input_document(payload, plain)) {
        write_score(plain, out);
        return std::monostate{};
    }
    auto parsed = read_payload(payload, arena);
    if (!parsed) return fail(std::move(parsed).error());
    auto input = scoring::decode_retention_input(parsed.value());
    if (!input) return fail(RunError{json::json_error_text(input.error())});
    write_score(input.value(), out);
    return std::monostate{};
}

}  // namespace mnemo::commands
