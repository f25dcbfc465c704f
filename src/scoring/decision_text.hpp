// The text of a tier decision in a response: {"action":…,"retention":…,
// "tier":…}, keys in byte order, from fixed texts per action and the
// retention's shortest digits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "json/buffer.hpp"
#include "json/number_text.hpp"
#include "scoring/tier_decision.hpp"

namespace mnemo::scoring {

// Room that `write_decision` needs at its output: it stores whole blocks of
// fixed size and counts only the bytes that belong to the text.
inline constexpr std::size_t kDecisionTextRoom = 48 + json::kDoubleTextRoom + 32;

// The label of each action, in the order of `Action`, with the tier that
// goes with it, and the name of each tier, in the order of `Tier`: the one
// home of these texts.
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

namespace decision_detail {

// The fixed text around the retention in a decision object, per action:
// {"action":"<label>","retention":  and  ,"tier":"<tier>"}, and the comma
// that follows a decision in a list. The labels need no escaping. Both parts
// are copied whole, in their fixed sizes, and the text then advances by
// their real lengths. The entries are 128 bytes apart, so that an action's
// is found by a shift.
struct alignas(128) DecisionText {
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
