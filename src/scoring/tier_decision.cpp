#include "scoring/tier_decision.hpp"

#include "json/writer.hpp"
#include "scoring/retention.hpp"

namespace mnemo::scoring {

std::string_view tier_name(Tier tier) {
    switch (tier) {
        case Tier::hot: return "hot";
        case Tier::warm_episodic: return "warm_episodic";
        case Tier::warm_semantic: return "warm_semantic";
        case Tier::warm_procedural: return "warm_procedural";
        case Tier::cold: return "cold";
    }
    return "cold";
}

TierDecision decide_tier(const TierInput& in) {
    if (in.keep_forever) return {Tier::warm_semantic, "keep_forever_tag", 1.0};
    const double r =
        compute_retention(in.days_since_recall, in.retrieval_count, in.importance, in.frequency)
            .retention;
    // The rules test the raw age and count: a negative age is recent.
    const double d = in.days_since_recall;
    const double n = in.retrieval_count;
    if (d <= 7.0 && n > 0.0) return {Tier::hot, "inject_to_prompt", r};
    if (n >= 3.0 && in.is_procedural) return {Tier::warm_procedural, "keep_procedural", r};
    if (r >= 0.8) return {Tier::warm_semantic, "long_term_semantic", r};
    if (d <= 30.0 && r >= 0.65) return {Tier::warm_episodic, "spaced_repetition", r};
    if (d >= 180.0 || r < 0.4) return {Tier::cold, "archive_on_demand", r};
    return {Tier::warm_episodic, "maintain_warm", r};
}

void decision_to_json(const TierDecision& decision, json::ByteBuffer& out) {
    out.append("{\"action\":");
    json::write_string(decision.action, out);
    out.append(",\"retention\":");
    json::write_double(decision.retention, out);
    out.append(",\"tier\":");
    json::write_string(tier_name(decision.tier), out);
    out.push_back('}');
}

}  // namespace mnemo::scoring
