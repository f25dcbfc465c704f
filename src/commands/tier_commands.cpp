#include <cstddef>

#include "commands/batch.hpp"
#include "commands/handlers.hpp"
#include "platform/compiler.hpp"
#include "scoring/decision_text.hpp"
#include "scoring/tier_decision.hpp"

namespace mnemo::commands {

namespace {

// Writes the decisions of a batch's items as they are read, into `out` from
// `start` on, each followed by a comma (the last one's is dropped at the
// end).
//
// An item's steps follow one another and each is long: reading and deciding
// it, finding the shortest digits of its retention, laying out its text.
// They are spread over three items, so that the steps of different items
// run side by side: item i is read and decided while the digits of item
// i - 1 are found and the text of item i - 2 is written.
class DecisionWriter {
public:
    DecisionWriter(json::ByteBuffer& out, std::size_t start) : out_(out), start_(start) {}

    void start() {
        out_.truncate(start_);
        room_ = {out_.tail(), out_.data() + out_.capacity()};
        count_ = 0;
    }

    MNEMO_ALWAYS_INLINE void take(const scoring::TierInput& input) {
        const scoring::TierDecision decision = scoring::decide_tier(input);
        if (count_ >= 2) write(older_, older_digits_);
        if (count_ >= 1) {
            older_digits_ = json::double_digits(newer_.retention);
            older_ = newer_;
        }
        newer_ = decision;
        ++count_;
    }

    // Writes the items still in the pipeline; the buffer then holds the
    // text of every item, less the last comma.
    void finish() {
        if (count_ >= 2) write(older_, older_digits_);
        if (count_ >= 1) write(newer_, json::double_digits(newer_.retention));
        out_.commit(static_cast<std::size_t>(room_.w - out_.tail()));
        if (out_.size() > start_) out_.truncate(out_.size() - 1);
    }

private:
    // Where the text goes: w moves through the buffer's spare room, which
    // ends at `end`, and is committed to the buffer only when the room runs
    // short and at the end.
    struct Room {
        char* w;
        char* end;
    };

    MNEMO_ALWAYS_INLINE void write(scoring::TierDecision decision, json::Decimal digits) {
        if (static_cast<std::size_t>(room_.end - room_.w) < scoring::kDecisionTextRoom) [[unlikely]]
            room_ = grow(out_, room_.w);
        room_.w = scoring::write_decision(decision, digits, room_.w);
    }

    MNEMO_NOINLINE static Room grow(json::ByteBuffer& out, char* w) {
        out.commit(static_cast<std::size_t>(w - out.tail()));
        out.reserve_more(scoring::kDecisionTextRoom);
        return {out.tail(), out.data() + out.capacity()};
    }

    json::ByteBuffer& out_;
    std::size_t start_;
    Room room_{};
    // Item count - 2 with the digits of its retention, and item count - 1.
    scoring::TierDecision older_{};
    json::Decimal older_digits_{};
    scoring::TierDecision newer_{};
    std::size_t count_ = 0;  // items taken since the array began
};

}  // namespace

Status run_tier(std::string_view payload, json::ByteBuffer& out) {
    scoring::TierInput input;
    Status status = read_payload_record(payload, input, scoring::read_tier_input,
                                        scoring::tier_input_fault_text);
    if (!status) return status;
    scoring::decision_to_json(scoring::decide_tier(input), out);
    return std::monostate{};
}

Status run_tier_batch(std::string_view payload, json::ByteBuffer& out) {
    // The items are not counted before they are read, but a decision's text
    // is seldom longer than its item's, so room for as many bytes as the
    // payload has spares the buffer its growth (and the copies that come
    // with it). Pages of the room that are never written are never touched.
    out.reserve_more(payload.size() + 64);
    out.append("{\"decisions\":[");
    DecisionWriter writer(out, out.size());
    Status status =
        walk_batch<scoring::read_tier_input, scoring::tier_input_fault_text>(payload, writer);
    if (!status) return status;
    out.append("]}");
    return std::monostate{};
}

}  // namespace mnemo::commands
