#include "scoring/tier_decision.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "json/number_text.hpp"
#include "scoring/retention.hpp"

namespace mnemo::scoring {

TierDecision decide_tier(const TierInput& in) {
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
