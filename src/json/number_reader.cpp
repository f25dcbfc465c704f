#include "json/number_reader.hpp"

#include "platform/compiler.hpp"

namespace mnemo::json {

namespace {

// Any number the shortcuts leave, read by the reader's own procedure.
MNEMO_NOINLINE const unsigned char* read_double_by_procedure(const unsigned char* q,
                                                             const unsigned char* end,
                                                             bool negative, double& value) {
    if (!negative && !is_digit(*q)) return nullptr;
    Number number;
    const NumberRead read = read_number(q + negative, end, negative, number);
    if (read.error != ErrorKind::none) return nullptr;
    value = number.to_double();
    return read.stop;
}

}  // namespace

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

const unsigned char* read_double_bytewise(const unsigned char* q, const unsigned char* end,
                                          double& value) {
    if (q == end) return nullptr;
    const bool negative = *q == '-';
    const unsigned char* const int_digits = q + negative;
    // The digits are added as they are passed: the numbers read here are
    // mostly a few digits long. S may wrap around in a run too long for the
    // shortcut, which then leaves the number to the reader.
    std::uint64_t s = 0;
    const unsigned char* p = int_digits;
    for (; p != end && is_digit(*p); ++p) s = s * 10 + (*p - '0');
    const auto int_count = static_cast<std::size_t>(p - int_digits);
    std::size_t frac_count = 0;
    bool plain = int_count - 1 < 19 && (*int_digits != '0' || int_count == 1);
    if (plain && p != end && *p == '.') {
        const unsigned char* const frac_digits = ++p;
        for (; p != end && is_digit(*p); ++p) s = s * 10 + (*p - '0');
        frac_count = static_cast<std::size_t>(p - frac_digits);
        plain = frac_count != 0 && int_count + frac_count <= 19;
    }
    if (plain && (p == end || (*p | 0x20) != 'e')) {
        value = plain_number_value(s, frac_count, negative);
        return p;
    }
    return read_double_by_procedure(q, end, negative, value);
}

}  // namespace mnemo::json
