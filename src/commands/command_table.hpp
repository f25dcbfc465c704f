// The commands `run` knows: the one list of them. `run_command` finds a
// command's handler here; the tests and fuzzers take from here which
// commands exist, which record each reads and what shape its answer has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "commands/handlers.hpp"
#include "scoring/retention_input.hpp"
#include "scoring/tier_input.hpp"

namespace mnemo::commands {

// Where a command's records stand in its payload.
enum class PayloadShape : std::uint8_t {
    record,  // the payload is one record
    items,   // an object whose last "items" member is an array of records
};

// The result a command answers inside {"ok":true,"result":…}.
enum class ResultShape : std::uint8_t {
    decision,   // {"action":…,"retention":…,"tier":…}
    decisions,  // {"decisions":[decision,…]}, one per item, in order
    score,      // {"boost":…,"retention":…,"stability":…}
    other,      // a shape of its own, checked only against the reference reading
};

using Handler = Status (*)(std::string_view payload, json::ByteBuffer& out);

// The record a command reads, as its messages name it: "struct TierInput",
// "… with 6 elements".
struct RecordInfo {
    std::string_view type_name;
    std::size_t field_count;
};

template <class Layout>
constexpr RecordInfo record_info(const Layout& layout) {
    return {layout.type_name, layout.field_count};
}

struct Command {
    std::string_view name;
    Handler handler;
    PayloadShape payload_shape;
    RecordInfo record;
    ResultShape result_shape;
};

inline constexpr Command kCommands[] = {
    {"tier", run_tier, PayloadShape::record, record_info(scoring::kTierInputLayout),
     ResultShape::decision},
    {"tier-batch", run_tier_batch, PayloadShape::items, record_info(scoring::kTierInputLayout),
     ResultShape::decisions},
    {"score", run_score, PayloadShape::record, record_info(scoring::kRetentionInputLayout),
     ResultShape::score},
};

// The command named exactly `name`, or null.
constexpr const Command* find_command(std::string_view name) {
    for (const Command& c : kCommands)
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace mnemo::commands
