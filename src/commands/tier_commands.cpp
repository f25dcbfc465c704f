#include <cstddef>

#include "commands/batch.hpp"
#include "commands/handlers.hpp"
#include "platform/compiler.hpp"
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
        w_ = out_.tail();
        room_end_ = out_.data() + out_.capacity();
        count_ = 0;
    }

    MNEMO_ALWAYS_INLINE void take(const scoring::TierInput& input) {
        const scoring::TierDecision decision = scoring::decide_tier(input);
        if (count_ >= 2) write(decided_[count_ & 1], digits_);
        if (count_ >= 1) digits_ = json::double_digits(decided_[(count_ - 1) & 1].retention);
        decided_[count_ & 1] = decision;
        ++count_;
    }

    // The last two items; the buffer then holds the text, less the last
    // comma.
    void finish() {
        if (count_ == 0) return;
        if (count_ >= 2) write(decided_[count_ & 1], digits_);
        const scoring::TierDecision last = decided_[(count_ - 1) & 1];
        write(last, json::double_digits(last.retention));
        out_.commit(static_cast<std::size_t>(w_ - 1 - out_.tail()));
    }

private:
    // The text is written at w_, which moves through the buffer's spare room
    // and is committed to the buffer only when the room runs short and at
    // the end.
    MNEMO_ALWAYS_INLINE void write(scoring::TierDecision decision, json::Decimal digits) {
        if (static_cast<std::size_t>(room_end_ - w_) < scoring::kDecisionTextRoom) [[unlikely]]
            grow();
        w_ = scoring::write_decision(decision, digits, w_);
    }

    MNEMO_NOINLINE void grow() {
        out_.commit(static_cast<std::size_t>(w_ - out_.tail()));
        out_.reserve_more(scoring::kDecisionTextRoom);
        w_ = out_.tail();
        room_end_ = out_.data() + out_.capacity();
    }

    json::ByteBuffer& out_;
    std::size_t start_;
    char* w_ = nullptr;                 // the end of the text written
    char* room_end_ = nullptr;          // the end of the buffer's room
    scoring::TierDecision decided_[2];  // items count - 2 and count - 1, by parity
    json::Decimal digits_{};            // of item count - 2
    std::size_t count_ = 0;             // items taken
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
