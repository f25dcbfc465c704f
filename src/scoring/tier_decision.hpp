// The tier decision: where a remembered item is stored and what the store
// does with it.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "json/buffer.hpp"
#include "json/number_text.hpp"
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

// Room that `write_decision` needs at its output: it stores whole blocks of
// fixed size and counts only the bytes that belong to the text.
inline constexpr std::size_t kDecisionTextRoom = 48 + json::kDoubleTextRoom + 32;

namespace decision_detail {

struct ActionInfo {
    std::string_view label;
    Tier tier;
};

inline constexpr ActionInfo kActions[] = {
    {"keep_forever_tag", Tier::warm_semantic},  {"inject_to_prompt", Tier::hot},
    {"keep_procedural", Tier::warm_procedural}, {"long_term_semantic", Tier::warm_semantic},
    {"spaced_repetition", Tier::warm_episodic}, {"archive_on_demand", Tier::cold},
    {"maintain_warm", Tier::warm_episodic},
};

inline constexpr std::string_view kTierNames[] = {
    "hot", "warm_episodic", "warm_semantic", "warm_procedural", "cold",
};

// The fixed text around the retention in a decision object, per action:
// {"action":"<label>","retention":  and  ,"tier":"<tier>"}, and the comma
// that follows a decision in a list. The labels need no escaping. Both parts
// are copied whole, in their fixed sizes, and the text then advances by
// their real lengths.
struct DecisionText {
    char head[48];
    char tail[32];
    std::uint8_t head_size;
    std::uint8_t tail_size;  // the comma included
};

inline constexpr std::array<DecisionText, std::size(kActions)> kDecisionTexts = [] {
    std::array<DecisionText, std::size(kActions)> texts{};
    for (std::size_t a = 0; a < texts.size(); ++a) {
        DecisionText& t = texts[a];
        for (std::string_view part : {std::string_view("{\"action\":\""), kActions[a].label,
                                      std::string_view("\",\"retention\":")})
            for (char c : part) t.head[t.head_size++] = c;
        for (std::string_view part :
             {std::string_view(",\"tier\":\""), kTierNames[static_cast<int>(kActions[a].tier)],
              std::string_view("\"},")})
            for (char c : part) t.tail[t.tail_size++] = c;
    }
    return texts;
}();

static_assert(sizeof(DecisionText::head) + json::kDoubleTextRoom + sizeof(DecisionText::tail) <=
              kDecisionTextRoom);

}  // namespace decision_detail

// Writes the text of the decision object {"action":…,"retention":…,"tier":…}
// (keys in byte order) at `w`, followed by a comma, given the retention's
// digits found beforehand (json::double_digits of decision.retention).
// Needs kDecisionTextRoom bytes at `w`; returns the end of the text, the
// comma included.
inline char* write_decision(TierDecision decision, json::Decimal retention_digits, char* w) {
    const auto& text = decision_detail::kDecisionTexts[static_cast<int>(decision.action)];
    std::memcpy(w, text.head, sizeof text.head);
    w += text.head_size;
    // A retention lies in 0.0..10.0; a non-finite one would be null.
    w = json::write_double(retention_digits, decision.retention, w);
    std::memcpy(w, text.tail, sizeof text.tail);
    return w + text.tail_size;
}

// Appends the text of the decision object, without a comma.
inline void decision_to_json(TierDecision decision, json::ByteBuffer& out) {
    out.reserve_more(kDecisionTextRoom);
    char* const start = out.tail();
    const char* const end =
        write_decision(decision, json::double_digits(decision.retention), start) - 1;
    out.commit(static_cast<std::size_t>(end - start));
}

}  // namespace mnemo::scoring
