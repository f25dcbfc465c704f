#include "scoring/retention.hpp"

#include <array>
#include <cmath>

#include "platform/compiler.hpp"

namespace mnemo::scoring {

namespace {

// Bounds are written as comparisons that name the value taken on equality,
// since that decides which zero comes out.
double clamp_unit(double x) {
    double c = 0.0 > x ? 0.0 : x;
    return 1.0 < c ? 1.0 : c;
}

// Retrieval counts are mostly small whole numbers, so log(count + 1) of the
// first kCachedCounts of them is kept in a table, filled on first use by the
// same C library call. The compiler must not fill it with constants of its
// own rounding: the argument is read through a volatile, and the filling is
// a plain function rather than a lambda, since a lambda that initialises a
// static may be evaluated at build time, volatile read and all.
constexpr int kCachedCounts = 1024;

// Kept out of line: inlined, its loop would make every call of
// compute_retention save registers it never needs.
MNEMO_COLD std::array<double, kCachedCounts> fill_log_table() {
    std::array<double, kCachedCounts> t{};
    for (int i = 0; i < kCachedCounts; ++i) {
        volatile double sum = i + 1.0;
        t[i] = std::log(sum);
    }
    return t;
}

const double* log_of_count_plus_one_table() {
    static const std::array<double, kCachedCounts> table = fill_log_table();
    return table.data();
}

// log(count + 1.0) for count >= 0, the sum rounded before the logarithm.
double log_of_count_plus_one(double count) {
    if (count < kCachedCounts) {
        const int whole = static_cast<int>(count);
        if (whole == count) return log_of_count_plus_one_table()[whole];
    }
    return std::log(count + 1.0);
}

// The score, one definition for compute_retention and retention_of.
MNEMO_ALWAYS_INLINE RetentionScore score_of(double days_since_recall, double retrieval_count,
                                            double importance, double frequency) {
    const double count = retrieval_count > 0.0 ? retrieval_count : 0.0;
    // The sum is rounded before the logarithm; log1p would differ in the
    // last bit for small counts.
    const double s = log_of_count_plus_one(count);
    const double stability = s > 0.001 ? s : 0.001;
    const double age = days_since_recall > 0.0 ? days_since_recall : 0.0;
    // The boost is made before the call of exp, so that fewer values have
    // to be kept across it; its value is the same either way.
    const double boost =
        ((count * 0.45 + 1.0) + clamp_unit(importance) * 0.3) + clamp_unit(frequency) * 0.25;
    // Negating first makes a zero age give exp(-0.0) = 1.0 exactly.
    const double decay = std::exp((-age) / stability);
    const double product = decay * boost;
    double retention = 0.0 > product ? 0.0 : product;
    retention = 10.0 < retention ? 10.0 : retention;
    return RetentionScore{retention, stability, boost};
}

}  // namespace

RetentionScore compute_retention(double days_since_recall, double retrieval_count,
                                 double importance, double frequency) {
    return score_of(days_since_recall, retrieval_count, importance, frequency);
}

double retention_of(double days_since_recall, double retrieval_count, double importance,
                    double frequency) {
    return score_of(days_since_recall, retrieval_count, importance, frequency).retention;
}

}  // namespace mnemo::scoring
