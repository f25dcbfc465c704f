// The tier decision: where a remembered item is stored and what the store
// does with it.
#pragma once

#include <bit>
#include <cstdint>

#include "scoring/retention.hpp"
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
inline TierDecision decide_tier(const TierInput& in) {
    if (in.keep_forever) return {Action::keep_forever_tag, 1.0};
    const double r =
        compute_retention(in.days_since_recall, in.retrieval_count, in.importance, in.frequency)
            .retention;
    // The rules test the raw age and count: a negative age is recent. Every
    // rule is tested and the first that holds is found from a mask: which
    // one holds is as good as random from item to item, and a chain of
    // branches would guess wrong about once an item.
    const double d = in.days_since_recall;
    const double n = in.retrieval_count;
    const unsigned holds = static_cast<unsigned>((d <= 7.0) & (n > 0.0)) |
                           static_cast<unsigned>((n >= 3.0) & in.is_procedural) << 1 |
                           static_cast<unsigned>(r >= 0.8) << 2 |
                           static_cast<unsigned>((d <= 30.0) & (r >= 0.65)) << 3 |
                           static_cast<unsigned>((d >= 180.0) | (r < 0.4)) << 4 |
                           1u << 5;  // maintain_warm when none does
    return {
        static_cast<Action>(static_cast<int>(Action::inject_to_prompt) + std::countr_zero(holds)),
        r};
}

}  // namespace mnemo::scoring
