// The tier decision: where a remembered item is stored and what the store
// does with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "json/buffer.hpp"
#include "json/number_text.hpp"
#include "scoring/tier_input.hpp"

namespace mnemo::scoring {

enum class Tier : std::uint8_t { hot, warm_episodic, warm_semantic, warm_procedural, cold };

// The seven actions, in the order of the rules that lead to them. Each
// action always goes with the same tier.
enum class Action : std::uint8_t {
    keep_forever_tag,
    inject_to_prompt,
    keep_procedural,
    long_term_semantic,
    spaced_repetition,
    archive_on_demand,
    maintain_warm,
};

struct TierDecision {
    Action action;
    double retention;
};

// The keep-forever short cut, then the first matching rule of the cascade.
// Pure; never fails.
TierDecision decide_tier(const TierInput& input);

// Room that `write_decision` needs at its output: it stores whole blocks of
// fixed size and counts only the bytes that belong to the text.
inline constexpr std::size_t kDecisionTextRoom = 48 + json::kDoubleTextRoom + 32;

// Writes the text of the decision object {"action":…,"retention":…,"tier":…}
// (keys in byte order) at `w`, followed by a comma, given the retention's
// digits found beforehand (json::double_digits of decision.retention).
// Needs kDecisionTextRoom bytes at `w`; returns the end of the text, the
// comma included.
char* write_decision(TierDecision decision, json::Decimal retention_digits, char* w);

// Appends the text of the decision object, without a comma.
void decision_to_json(TierDecision decision, json::ByteBuffer& out);

}  // namespace mnemo::scoring
