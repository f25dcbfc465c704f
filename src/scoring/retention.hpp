// The retention score: an exponential forgetting curve whose stability grows
// with the logarithm of the retrieval count, times a boost for retrievals,
// importance and frequency, capped at 10.
#pragma once

#include <array>
#include <cmath>

#include "platform/compiler.hpp"
#include "platform/float_select.hpp"

namespace mnemo::scoring {

struct RetentionScore {
    double retention;  // decay x boost, clamped to 0.0..10.0
    double stability;  // log(count + 1), at least 0.001
    double boost;      // not clamped
};

namespace retention_detail {

// Retrieval counts are mostly small whole numbers, so log(count + 1) of the
// first kCachedCounts of them is kept in a table, filled when the module is
// loaded by the same C library call (retention.cpp).
inline constexpr int kCachedCounts = 1024;
extern const std::array<double, kCachedCounts> kLogOfCountPlusOne;

// log(count + 1.0) for count >= 0, the sum rounded before the logarithm.
MNEMO_ALWAYS_INLINE double log_of_count_plus_one(double count) {
    if (count < kCachedCounts) {
        const int whole = static_cast<int>(count);
        if (whole == count) return kLogOfCountPlusOne[whole];
    }
    return std::log(count + 1.0);
}

// Bounds are written as comparisons that name the value taken on equality,
// since that decides which zero comes out.
MNEMO_ALWAYS_INLINE double clamp_unit(double x) {
    return platform::lesser_else_second(1.0, platform::greater_else_second(0.0, x));
}

}  // namespace retention_detail

// Pure and allocation-free. The order and grouping of every operation is
// part of the result: the score command and the tier decision both use this
// one definition and agree to the last bit. It is inlined where it is used,
// so that a caller that needs only the retention keeps it in a register.
MNEMO_ALWAYS_INLINE RetentionScore compute_retention(double days_since_recall,
                                                     double retrieval_count, double importance,
                                                     double frequency) {
    using platform::greater_else_second;
    using retention_detail::clamp_unit;
    const double count = greater_else_second(retrieval_count, 0.0);
    // The sum is rounded before the logarithm; log1p would differ in the
    // last bit for small counts.
    const double s = retention_detail::log_of_count_plus_one(count);
    const double stability = greater_else_second(s, 0.001);
    const double age = greater_else_second(days_since_recall, 0.0);
    // The boost is made before the call of exp, so that fewer values have
    // to be kept across it; its value is the same either way.
    const double boost =
        ((count * 0.45 + 1.0) + clamp_unit(importance) * 0.3) + clamp_unit(frequency) * 0.25;
    // Negating first makes a zero age give exp(-0.0) = 1.0 exactly.
    const double decay = std::exp((-age) / stability);
    const double product = decay * boost;
    const double retention = platform::lesser_else_second(10.0, greater_else_second(0.0, product));
    return RetentionScore{retention, stability, boost};
}

}  // namespace mnemo::scoring
