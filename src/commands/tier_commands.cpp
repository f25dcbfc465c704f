#include <cstring>
#include <optional>

#include "json/record_scan.hpp"

#include "commands/handlers.hpp"
#include "scoring/tier_decision.hpp"
#include "platform/compiler.hpp"

namespace mnemo::commands {

namespace {

// Decides the items of tier-batch while the payload is read: each element
// of "items" is decoded, decided and written as soon as the reader has it,
// so the items are never held all at once. The decisions go straight into
// the response; the first item that fails to decode ends the writing, and
// the reader goes on only to check the rest of the text, since a syntax
// fault anywhere is reported before any decoding fault.
class DecisionWriter final : public json::ElementSink {
public:
    explicit DecisionWriter(json::ByteBuffer& out) : out_(out), start_(out.size()) {}

    void begin_array() override {
        // A repeated "items" replaces the earlier one.
        out_.truncate(start_);
        failure_.reset();
        first_ = true;
    }

    // A plain item is decided straight from its text.
    std::size_t take_element_text(const char* begin, const char* end) override {
        if (failure_) return 0;
        scoring::TierInput input;
        const char* stop = scoring::scan_tier_input(begin, end, input);
        if (!stop) return 0;
        write(input);
        return static_cast<std::size_t>(stop - begin);
    }

    void element(const json::JsonValue& item) override {
        if (failure_) return;
        auto input = scoring::decode_tier_input(item);
        if (!input) {
            failure_ = std::move(input).error();
            out_.truncate(start_);
            return;
        }
        write(input.value());
    }

    const std::optional<json::JsonError>& failure() const { return failure_; }

private:
    void write(const scoring::TierInput& input) {
        if (!first_) out_.push_back(',');
        first_ = false;
        scoring::decision_to_json(scoring::decide_tier(input), out_);
    }

    json::ByteBuffer& out_;
    const std::size_t start_;
    std::optional<json::JsonError> failure_;
    bool first_ = true;
};

// The payload in its usual shape, {"items": [...]} with "items" its only
// member and every item a plain record, decided straight from the text with
// no document, no reader and no call per item beyond the record's own
// steps. Returns false, with `out` as it was, at the first byte that
// departs from that shape; the general way then reads the payload and
// reports whatever is wrong in its own words.
bool decide_plain_batch(std::string_view payload, json::ByteBuffer& out) {
    const auto* q = reinterpret_cast<const unsigned char*>(payload.data());
    const unsigned char* const end = q + payload.size();
    const std::size_t start = out.size();
    auto expect = [&](std::string_view text) {
        q = json::skip_whitespace(q, end);
        if (static_cast<std::size_t>(end - q) < text.size() ||
            std::memcmp(q, text.data(), text.size()) != 0)
            return false;
        q += text.size();
        return true;
    };
    if (!expect("{") || !expect("\"items\"") || !expect(":") || !expect("[")) return false;
    q = json::skip_whitespace(q, end);
    bool closed = q != end && *q == ']';
    if (closed) ++q;
    // An item's steps follow one another and each is long: reading and
    // deciding it, finding the shortest digits of its retention, laying out
    // its text. They are spread over three rounds of the loop, so that each
    // round's steps belong to different items and run side by side: item i
    // is read and decided while the digits of item i - 1 are found and the
    // text of item i - 2 is written.
    scoring::TierDecision decided[2];  // items i - 2 and i - 1, by parity
    json::Decimal digits{};            // of item i - 2
    std::size_t count = 0;             // items read
    auto write_oldest = [&] {          // item count - 2, and its comma
        scoring::decision_to_json(decided[count & 1], digits, out);
        out.push_back(',');
    };
    while (!closed) {
        scoring::TierInput input;
        q = reinterpret_cast<const unsigned char*>(scoring::scan_tier_input(
            reinterpret_cast<const char*>(q), reinterpret_cast<const char*>(end), input));
        if (!q) break;
        const scoring::TierDecision decision = scoring::decide_tier(input);
        if (count >= 2) write_oldest();
        if (count >= 1) digits = json::double_digits(decided[(count - 1) & 1].retention);
        decided[count & 1] = decision;
        ++count;
        if (q != end && *q <= ' ') q = json::skip_whitespace(q, end);
        if (q == end || (*q != ',' && *q != ']')) break;
        closed = *q++ == ']';
        if (!closed) q = json::skip_separator_space(q, end);
    }
    if (!closed || !expect("}") || json::skip_whitespace(q, end) != end) {
        out.truncate(start);
        return false;
    }
    // The last two items.
    if (count >= 2) write_oldest();
    if (count >= 1) scoring::decision_to_json(decided[(count - 1) & 1], out);
    return true;
}

// A payload that is not a plain record, read the general way, which
// reports whatever is wrong with it.
MNEMO_NOINLINE Status run_tier_general(std::string_view payload, json::ByteBuffer& out) {
    PayloadArena storage;
    auto parsed = read_payload(payload, storage.arena);
    if (!parsed) return fail(std::move(parsed).error());
    auto input = scoring::decode_tier_input(parsed.value());
    if (!input) return fail(RunError{json::json_error_text(input.error())});
    scoring::decision_to_json(scoring::decide_tier(input.value()), out);
    return std::monostate{};
}

}  // namespace

Status run_tier(std::string_view payload, json::ByteBuffer& out) {
    scoring::TierInput plain;
    if (!scoring::scan_tier_input_document(payload, plain)) return run_tier_general(payload, out);
    scoring::decision_to_json(scoring::decide_tier(plain), out);
    return std::monostate{};
}

Status run_tier_batch(std::string_view payload, json::ByteBuffer& out) {
    // The items are not counted before they are read, but a decision's text
    // is seldom longer than its item's, so room for as many bytes as the
    // payload has spares the buffer its growth (and the copies that come
    // with it). Pages of the room that are never written are never touched.
    out.reserve_more(payload.size() + 64);
    out.append("{\"decisions\":[");
    if (decide_plain_batch(payload, out)) {
        out.append("]}");
        return std::monostate{};
    }
    DecisionWriter writer(out);
    PayloadArena storage;
    auto parsed = read_payload(payload, storage.arena, {"items", &writer});
    if (!parsed) return fail(std::move(parsed).error());

    // Every array under "items" went to the writer; the member left in the
    // document tells whether the last "items" was an array at all.
    const json::JsonValue& root = parsed.value();
    const json::JsonValue* items =
        root.kind() == json::JsonKind::object ? root.find("items") : nullptr;
    if (!items || items->kind() != json::JsonKind::array)
        return fail(RunError{"missing required field: items"});
    if (writer.failure()) return fail(RunError{json::json_error_text(*writer.failure())});
    out.append("]}");
    return std::monostate{};
}

}  // namespace mnemo::commands
