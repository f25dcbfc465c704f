#include <array>
#include <cstring>
#include <string_view>

#include "commands/handlers.hpp"
#include "json/number_text.hpp"
#include "platform/compiler.hpp"
#include "scoring/retention.hpp"
#include "scoring/retention_input.hpp"

namespace mnemo::commands {

namespace {

// Retrieval counts are mostly small whole numbers, so the stabilities of the
// counts below kStabilityTexts are kept with their texts, made on first use.
// An entry is used only when its value is the very stability to be written,
// whatever the count that led to it.
constexpr int kStabilityTexts = 256;

struct StabilityText {
    double value;
    std::size_t size;
    char text[json::kMaxDoubleText];
};

std::array<StabilityText, kStabilityTexts> make_stability_texts() {
    std::array<StabilityText, kStabilityTexts> texts{};
    for (int count = 0; count < kStabilityTexts; ++count) {
        StabilityText& t = texts[count];
        t.value = scoring::compute_retention(0.0, count, 0.0, 0.0).stability;
        char room[json::kDoubleTextRoom];
        t.size = static_cast<std::size_t>(
            json::write_double(json::double_digits(t.value), t.value, room) - room);
        std::memcpy(t.text, room, t.size);
    }
    return texts;
}

// The entry that may hold the text of a stability made from `count`.
const StabilityText* stability_text(double count) {
    if (!(count < kStabilityTexts)) return nullptr;
    static const std::array<StabilityText, kStabilityTexts> texts = make_stability_texts();
    return &texts[count > 0.0 ? static_cast<int>(count) : 0];
}

void write_score(const scoring::RetentionInput& in, json::ByteBuffer& out) {
    const scoring::RetentionScore score = scoring::compute_retention(
        in.days_since_recall, in.retrieval_count, in.importance, in.frequency);
    // Keys in byte order: boost, retention, stability. The object is written
    // into one stretch of room: the leads, two numbers' longest texts, the
    // room the last number is written in, and the closing brace.
    constexpr std::string_view leads[] = {"{\"boost\":", ",\"retention\":", ",\"stability\":"};
    out.reserve_more(leads[0].size() + leads[1].size() + leads[2].size() +
                     2 * json::kMaxDoubleText + json::kDoubleTextRoom + 1);
    char* const start = out.tail();
    char* w = start;
    auto lead = [&w](std::string_view text) {
        std::memcpy(w, text.data(), text.size());
        w += text.size();
    };
    const json::Decimal boost_digits = json::double_digits(score.boost);
    const json::Decimal retention_digits = json::double_digits(score.retention);
    lead(leads[0]);
    w = json::write_double(boost_digits, score.boost, w);
    lead(leads[1]);
    w = json::write_double(retention_digits, score.retention, w);
    lead(leads[2]);
    const StabilityText* known = stability_text(in.retrieval_count);
    if (known && known->value == score.stability) {
        std::memcpy(w, known->text, sizeof known->text);
        w += known->size;
    } else {
        w = json::write_double(json::double_digits(score.stability), score.stability, w);
    }
    *w++ = '}';
    out.commit(static_cast<std::size_t>(w - start));
}

}  // namespace

Status run_score(std::string_view payload, json::ByteBuffer& out) {
    scoring::RetentionInput input;
    Status status = read_payload_record(payload, input, scoring::read_retention_input,
                                        scoring::retention_input_fault_text);
    if (!status) return status;
    write_score(input, out);
    return std::monostate{};
}

}  // namespace mnemo::commands
