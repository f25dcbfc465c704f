#include "json/number_reader.hpp"

namespace mnemo::json {

bool long_significand(const unsigned char* int_digits, std::size_t int_count,
                      const unsigned char* frac_digits, std::size_t frac_count, std::uint64_t& s,
                      std::int64_t& e) {
    constexpr std::uint64_t kLimit = 1844674407370955161u;  // (2^64 - 1) / 10
    s = 0;
    e = 0;
    bool full = false;
    for (std::size_t i = 0; i < int_count; ++i) {
        const unsigned d = int_digits[i] - '0';
        if (full || s > kLimit || (s == kLimit && d > 5)) {
            full = true;
            ++e;
        } else {
            s = s * 10 + d;
        }
    }
    // The fraction's digits are added on the same terms, whether or not an
    // integer digit was dropped; from the first that does not fit, all are
    // dropped.
    for (std::size_t i = 0; i < frac_count; ++i) {
        const unsigned d = frac_digits[i] - '0';
        if (s > kLimit || (s == kLimit && d > 5)) break;
        s = s * 10 + d;
        --e;
    }
    return full;
}

}  // namespace mnemo::json
