// The shortest decimal that reads back as a given double: among all decimals
// of the fewest significant digits inside the double's rounding interval, the
// one nearest to the double (an even last digit breaks a tie).
#pragma once

#include <cstdint>

namespace mnemo::json {

// The decimal `significand` x 10^`exponent`. The significand has at most
// 17 digits and may end in zeros.
struct Decimal {
    std::uint64_t significand;
    int exponent;
};

// For a positive normal double (not zero, not subnormal, finite).
Decimal shortest_decimal(double positive_normal);
// For a positive subnormal double.
Decimal shortest_subnormal_decimal(double positive_subnormal);

// The three exponent estimates the search relies on, for the range of
// binary exponents of doubles; exposed for their tests.
int floor_log10_pow2(int q);                 // floor(q log10 2)
int floor_log10_three_quarters_pow2(int q);  // floor(q log10 2 + log10 3/4)
int floor_log2_pow10(int e);                 // floor(e log2 10)

}  // namespace mnemo::json
