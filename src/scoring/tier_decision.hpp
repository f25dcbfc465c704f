// The tier decision: where a remembered item is stored and what the store
// does with it.
#pragma once

#include <cstdint>
#include <string_view>

#include "json/buffer.hpp"
#include "scoring/tier_input.hpp"

namespace mnemo::scoring {

enum class Tier : std::uint8_t { hot, warm_episodic, warm_semantic, warm_procedural, cold };

std::string_view tier_name(Tier tier);

// The action labels are fixed texts, so a decision refers to them instead of
// owning a copy.
struct TierDecision {
    Tier tier;
    std::string_view action;
    double retention;
};

// The keep-forever short cut, then the first matching rule of the cascade.
// Pure; never fails.
TierDecision decide_tier(const TierInput& input);

// Appends the text of the decision object {"action":…,"retention":…,"tier":…}, keys in
// byte order.
void decision_to_json(const TierDecision& decision, json::ByteBuffer& out);

}  // namespace mnemo::scoring
