// The tier decision: where a remembered item is stored and what the store
// does with it.
#pragma once

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

// Appends the text of the decision object
// {"action":…,"retention":…,"tier":…}, keys in byte order.
void decision_to_json(TierDecision decision, json::ByteBuffer& out);
// The same with the retention's digits found beforehand
// (json::double_digits of decision.retention).
void decision_to_json(TierDecision decision, json::Decimal retention_digits, json::ByteBuffer& out);

}  // namespace mnemo::scoring
