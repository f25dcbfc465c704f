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
    std::int64_t exponent;  // 64 bits, so that the pair is returned in two registers
};

// For a positive normal double (not zero, not subnormal, finite).
Decimal shortest_decimal(double positive_normal);
// For a positive subnormal double.
Decimal shortest_subnormal_decimal(double positive_subnormal);

// The three exponent estimates the search relies on, exact over the range
// of binary exponents of doubles (and their powers of ten).
// floor(q log10 2)
constexpr int floor_log10_pow2(int q) {
    return static_cast<int>((static_cast<std::int64_t>(q) * 661971961083) >> 41);
}
// floor(q log10 2 + log10 3/4)
constexpr int floor_log10_three_quarters_pow2(int q) {
    return static_cast<int>((static_cast<std::int64_t>(q) * 661971961083 - 274743187321) >> 41);
}
// floor(e log2 10)
constexpr int floor_log2_pow10(int e) {
    return static_cast<int>((static_cast<std::int64_t>(e) * 913124641741) >> 38);
}

}  // namespace mnemo::json
