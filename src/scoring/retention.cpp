#include "scoring/retention.hpp"

#include <math.h>

namespace mnemo::scoring {

namespace {

// Bounds are written as comparisons that name the value taken on equality,
// since that decides which zero comes out.
double clamp_unit(double x) {
    double c = 0.0 > x ? 0.0 : x;
    return 1.0 < c ? 1.0 : c;
}

}  // namespace

RetentionScore compute_retention(double days_since_recall, double retrieval_count,
                                 double importance, double frequency) {
    const double count = retrieval_count > 0.0 ? retrieval_count : 0.0;
    // The sum is rounded before the logarithm; log1p would differ in the
    // last bit for small counts.
    const double s = ::log(count + 1.0);
    const double stability = s > 0.001 ? s : 0.001;
    const double age = days_since_recall > 0.0 ? days_since_recall : 0.0;
    // Negating first makes a zero age give exp(-0.0) = 1.0 exactly.
    const double decay = ::exp((-age) / stability);
    const double boost = ((count * 0.45 + 1.0) + clamp_unit(importance) * 0.3) +
                         clamp_unit(frequency) * 0.25;
    const double product = decay * boost;
    double retention = 0.0 > product ? 0.0 : product;
    retention = 10.0 < retention ? 10.0 : retention;
    return RetentionScore{retention, stability, boost};
}

}  // namespace mnemo::scoring
