#include <cstring>
#include <optional>
#include <string>

#include "commands/handlers.hpp"
#include "platform/compiler.hpp"
#include "scoring/tier_decision.hpp"

namespace mnemo::commands {

namespace {

using json::ErrorKind;

// The decisions of an "items" array, from its opening bracket, written into
// `out` from `start` on as the items are read; `budget` is the nesting
// budget outside the array. The first item that fails to decode sets
// `failure`, drops what was written, and leaves the rest of the array only
// checked for syntax.
//
// An item's steps follow one another and each is long: reading and deciding
// it, finding the shortest digits of its retention, laying out its text.
// They are spread over three items, so that the steps of different items
// run side by side: item i is read and decided while the digits of item
// i - 1 are found and the text of item i - 2 is written.
const unsigned char* decide_items(const unsigned char* q, json::Text& text, int budget,
                                  json::ByteBuffer& out, std::size_t start,
                                  std::optional<std::string>& failure) {
    const unsigned char* const end = text.end;
    if (!json::enter(q, text, budget)) return nullptr;
    out.truncate(start);
    failure.reset();
    q = json::skip_whitespace(q + 1, end);
    if (q == end) return text.fail_at(ErrorKind::eof_while_parsing_list, q);
    if (*q == ']') return q + 1;
    scoring::TierDecision decided[2];  // items count - 2 and count - 1, by parity
    json::Decimal digits{};            // of item count - 2
    std::size_t count = 0;             // items read
    auto write_oldest = [&] {          // item count - 2, and its comma
        scoring::decision_to_json(decided[count & 1], digits, out);
        out.push_back(',');
    };
    for (;;) {
        scoring::TierInput input;
        json::DecodeFault fault;
        q = scoring::read_tier_input(q, text, budget - 1, input, fault);
        if (!q) return nullptr;
        if (fault) [[unlikely]] {
            failure = scoring::tier_input_fault_text(fault, end);
            out.truncate(start);
            return json::skip_array_rest(q, text, budget);
        }
        const scoring::TierDecision decision = scoring::decide_tier(input);
        if (count >= 2) write_oldest();
        if (count >= 1) digits = json::double_digits(decided[(count - 1) & 1].retention);
        decided[count & 1] = decision;
        ++count;
        bool closed;
        if (!(q = json::after_element(q, text, closed))) return nullptr;
        if (!closed) continue;
        // The last two items.
        if (count >= 2) write_oldest();
        scoring::decision_to_json(decided[(count - 1) & 1], out);
        return q;
    }
}

constexpr std::string_view kItems = "items";

}  // namespace

Status run_tier(std::string_view payload, json::ByteBuffer& out) {
    scoring::TierInput input;
    Status status = read_payload_record(payload, input, scoring::read_tier_input,
                                        scoring::tier_input_fault_text);
    if (!status) return status;
    scoring::decision_to_json(scoring::decide_tier(input), out);
    return std::monostate{};
}

// The payload is an object whose last "items" member is an array of items;
// its other members are only checked for syntax.
Status run_tier_batch(std::string_view payload, json::ByteBuffer& out) {
    // The items are not counted before they are read, but a decision's text
    // is seldom longer than its item's, so room for as many bytes as the
    // payload has spares the buffer its growth (and the copies that come
    // with it). Pages of the room that are never written are never touched.
    out.reserve_more(payload.size() + 64);
    out.append("{\"decisions\":[");
    const std::size_t start = out.size();
    std::optional<std::string> failure;
    json::Text text(payload);
    const unsigned char* const end = text.end;
    constexpr int kMemberBudget = json::kNestingBudget - 1;
    bool items_array = false;  // the last "items" member holds an array
    const unsigned char* q = json::skip_whitespace(text.begin, end);
    if (q == end || *q != '{') {
        q = json::skip_value(q, text, json::kNestingBudget);
    } else {
        bool closed;
        for (q = json::open_object(q + 1, text, closed); q && !closed;
             q = json::after_member(q, text, closed)) {
            // At a key, past its opening quote.
            bool is_items;
            if (static_cast<std::size_t>(end - q) > kItems.size() &&
                std::memcmp(q, kItems.data(), kItems.size()) == 0 && q[kItems.size()] == '"') {
                is_items = true;
                q += kItems.size() + 1;
            } else {
                std::string scratch;
                std::string_view key;
                if (!(q = json::read_string(q, text, scratch, key))) break;
                is_items = key == kItems;
            }
            if (!(q = json::after_colon(q, text))) break;
            if (is_items) items_array = q != end && *q == '[';
            q = is_items && items_array ? decide_items(q, text, kMemberBudget, out, start, failure)
                                        : json::skip_value(q, text, kMemberBudget);
            if (!q) break;
        }
    }
    if (q) q = document_end(q, text);
    if (!q) return syntax_failure(text);
    if (!items_array) return fail(RunError{"missing required field: items"});
    if (failure) return fail(RunError{std::move(*failure)});
    out.append("]}");
    return std::monostate{};
}

}  // namespace mnemo::commands
