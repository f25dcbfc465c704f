// The retention score: an exponential forgetting curve whose stability grows
// with the logarithm of the retrieval count, times a boost for retrievals,
// importance and frequency, capped at 10.
#pragma once

namespace mnemo::scoring {

struct RetentionScore {
    double retention;  // decay x boost, clamped to 0.0..10.0
    double stability;  // log(count + 1), at least 0.001
    double boost;      // not clamped
};

// Pure and allocation-free. The order and grouping of every operation is
// part of the result: the score command and the tier decision both call
// this one function and agree to the last bit.
RetentionScore compute_retention(double days_since_recall, double retrieval_count,
                                 double importance, double frequency);

// compute_retention(...).retention, the same steps, returned in a register
// rather than through memory.
double retention_of(double days_since_recall, double retrieval_count, double importance,
                    double frequency);

}  // namespace mnemo::scoring
