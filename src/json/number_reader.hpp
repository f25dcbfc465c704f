// Reading the text of one JSON number into a value: an unsigned or signed
// 64-bit integer when the text is an integer that fits, otherwise a double
// made by a fixed procedure (a 64-bit significand S of the leading digits
// and a decimal exponent E, then S scaled by one or two table powers of
// ten). The reader and the record scanner both read numbers with it.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "json/error.hpp"
#include "json/pow10.hpp"
#include "platform/simd.hpp"
#include "json/value.hpp"
#include "platform/bits.hpp"

namespace mnemo::json {

inline bool is_digit(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The end of the run of digits starting at q. Most runs are short, so the
// first few bytes are looked at one by one.
inline const unsigned char* skip_digits(const unsigned char* q, const unsigned char* end) {
    for (int i = 0; i < 4; ++i, ++q)
        if (q == end || !is_digit(*q)) return q;
#if MNEMO_SSE2
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    while (end - q >= 16) {
        // A byte is a digit when (byte - '0') is at most 9, unsigned.
        const __m128i x = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), zero);
        const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(x, nine), x);
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(digit)) & 0xFFFF;
        if (other != 0) return q + platform::count_trailing_zeros(other);
        q += 16;
    }
#endif
    while (q != end && is_digit(*q)) ++q;
    return q;
}

// The value of eight digits, one in each byte as a number 0..9, loaded
// little-endian (the first digit in the lowest byte): pairs, then
// quadruples, then the whole, each step one multiply-add over parallel
// lanes.
inline std::uint64_t eight_digit_values(std::uint64_t x) {
    x = x * 10 + (x >> 8);
    x = ((x & 0x000000FF000000FFu) * (100 + (1000000ull << 32)) +
         ((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32))) >>
        32;
    return x;
}

// The value of eight digit bytes loaded little-endian.
inline std::uint64_t eight_digits_value(std::uint64_t x) {
    return eight_digit_values(x - 0x3030303030303030u);
}

// s followed by the n digits at q, when the result fits in 64 bits. From
// four to seven digits are read as the last digits of eight, the first
// ones '0', when eight bytes can be loaded before `end`.
inline std::uint64_t append_digits(std::uint64_t s, const unsigned char* q, std::size_t n,
                                   const unsigned char* end) {
    static constexpr std::uint64_t kScale[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
    for (; n >= 8; q += 8, n -= 8) s = s * 100000000 + eight_digits_value(platform::load_little_endian(q));
    if (n >= 4 && end - q >= 8) {
        const unsigned shift = 8 * static_cast<unsigned>(n);
        const std::uint64_t x =
            (platform::load_little_endian(q) << (64 - shift)) | (std::uint64_t{0x3030303030303030} >> shift);
        return s * kScale[n] + eight_digits_value(x);
    }
    for (; n > 0; ++q, --n) s = s * 10 + (*q - '0');
    return s;
}

// The value of the first n digit bytes (1 <= n <= 8) of a word loaded
// little-endian. '0' is taken from every byte first: the shift then fills
// the places before the first digit with zero digits. (A byte below '0'
// after the digits borrows only from the bytes after it, which the shift
// drops.)
inline std::uint64_t leading_digits_value(std::uint64_t bytes, unsigned n) {
    return eight_digit_values((bytes - 0x3030303030303030u) << (64 - 8 * n));
}

// The value of the n digits at p, 1 <= n <= 19, when 8 bytes can be
// loaded from every eighth digit on (p + 8 * ceil(n / 8) + 8 is readable).
// The first (n - 1) % 8 + 1 digits are read as the last digits of eight,
// the first ones zero, so that one to eight digits take the same steps.
inline std::uint64_t digits_value(const unsigned char* p, std::size_t n) {
    const unsigned lead = static_cast<unsigned>((n - 1) & 7) + 1;
    std::uint64_t s = leading_digits_value(platform::load_little_endian(p), lead);
    for (p += lead, n -= lead; n != 0; p += 8, n -= 8)
        s = s * 100000000 + eight_digits_value(platform::load_little_endian(p));
    return s;
}

// The value of a number's digits on both sides of its point, int_count
// before it and count in all, when the number is at most 8 bytes and the 8
// bytes at p are readable: one load, the point taken out by moving the
// fraction's digits down one byte (before '0' is taken from each byte, or
// the point's byte would borrow from the digit after it).
inline std::uint64_t digits_around_point(const unsigned char* p, unsigned int_count,
                                         unsigned count) {
    const std::uint64_t x = platform::load_little_endian(p);
    const std::uint64_t before = (std::uint64_t{1} << (8 * int_count)) - 1;
    return leading_digits_value((x & before) | ((x >> 8) & ~before), count);
}

#if MNEMO_SSE2
// For each of the 32 bytes at p (the first in the lowest bit): whether it
// is an ASCII digit, and whether it is a point.
struct NumberBits {
    std::uint32_t digits;
    std::uint32_t points;
};

inline NumberBits number_bits(const unsigned char* p) {
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i point = _mm_set1_epi8('.');
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i x0 = _mm_sub_epi8(b0, zero);
    const __m128i x1 = _mm_sub_epi8(b1, zero);
    const auto d0 =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x0, nine), x0)));
    const auto d1 =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x1, nine), x1)));
    const auto p0 = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b0, point)));
    const auto p1 = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b1, point)));
    return {d0 | d1 << 16, p0 | p1 << 16};
}
#endif

// S and E of digit runs holding more than 19 digits, digit by digit: each
// digit is added while S stays within 64 bits. In each run, the first digit
// that does not fit and every digit after it in that run are dropped: a
// dropped integer digit adds 1 to E, and the fraction's digits are still
// added after integer digits were dropped (each taken one subtracts 1 from
// E). Returns whether an integer digit was dropped, which makes the number
// a double.
bool long_significand(const unsigned char* int_digits, std::size_t int_count,
                      const unsigned char* frac_digits, std::size_t frac_count, std::uint64_t& s,
                      std::int64_t& e);

// The outcome of reading a number: `stop` is the first byte not taken (on
// success) or the byte at which the fault was found; `error` is
// ErrorKind::message on success; `at_byte` tells whether the fault's
// position is the byte at `stop` (rather than the byte before it).
struct NumberRead {
    const unsigned char* stop;
    ErrorKind error;
    bool at_byte;
};

// Reads the number at q, after its minus sign when `negative`. The digit
// runs are found first; when they hold at most 19 digits in all, no digit
// can overflow S and they are added without checks.
inline NumberRead read_number(const unsigned char* q, const unsigned char* end, bool negative,
                              JsonValue& out) {
    auto fault = [&](ErrorKind kind, bool at_byte) { return NumberRead{q, kind, at_byte}; };
    if (q == end) return fault(ErrorKind::eof_while_parsing_value, false);
    const unsigned char* const int_digits = q++;
    if (!is_digit(*int_digits)) return fault(ErrorKind::invalid_number, false);
    if (*int_digits == '0') {
        if (q != end && is_digit(*q)) return fault(ErrorKind::invalid_number, true);
    } else {
        q = skip_digits(q, end);
    }
    const std::size_t int_count = static_cast<std::size_t>(q - int_digits);
    const unsigned char* frac_digits = q;
    std::size_t frac_count = 0;
    bool is_double = false;
    if (q != end && *q == '.') {
        ++q;
        is_double = true;
        if (q == end) return fault(ErrorKind::eof_while_parsing_value, true);
        if (!is_digit(*q)) return fault(ErrorKind::invalid_number, true);
        frac_digits = q;
        q = skip_digits(q, end);
        frac_count = static_cast<std::size_t>(q - frac_digits);
    }
    std::int64_t exponent = 0;
    if (q != end && (*q == 'e' || *q == 'E')) {
        ++q;
        is_double = true;
        bool exp_negative = false;
        if (q != end && (*q == '+' || *q == '-')) {
            exp_negative = *q == '-';
            ++q;
        }
        if (q == end) return fault(ErrorKind::eof_while_parsing_value, false);
        const unsigned char c = *q++;
        if (!is_digit(c)) return fault(ErrorKind::invalid_number, false);
        std::int32_t x = c - '0';
        while (q != end && is_digit(*q)) {
            const int d = *q++ - '0';
            if (x > 214748364 || (x == 214748364 && d > 7)) {
                // Past 32 bits: a significand that is not zero grows out of
                // range; everything else is zero.
                auto zero = [](const unsigned char* p, std::size_t n) {
                    for (std::size_t i = 0; i < n; ++i)
                        if (p[i] != '0') return false;
                    return true;
                };
                const bool s_is_zero = zero(int_digits, int_count) && zero(frac_digits, frac_count);
                if (!s_is_zero && !exp_negative)
                    return fault(ErrorKind::number_out_of_range, false);
                q = skip_digits(q, end);
                out = JsonValue::from_double(negative ? -0.0 : 0.0);
                return {q, ErrorKind::message, false};
            }
            x = x * 10 + d;
        }
        exponent = exp_negative ? -static_cast<std::int64_t>(x) : x;
    }

    std::uint64_t s;
    std::int64_t e;
    if (int_count + frac_count <= 19) {
        s = append_digits(append_digits(0, int_digits, int_count, end), frac_digits, frac_count,
                          end);
        e = exponent - static_cast<std::int64_t>(frac_count);
    } else {
        is_double |= long_significand(int_digits, int_count, frac_digits, frac_count, s, e);
        e += exponent;
    }
    if (!is_double) {
        if (!negative) {
            out = JsonValue::from_unsigned(s);
        } else if (s >= 1 && s <= (std::uint64_t{1} << 63)) {
            out = JsonValue::from_signed(static_cast<std::int64_t>(0 - s));
        } else {
            out = JsonValue::from_double(-static_cast<double>(s));
        }
        return {q, ErrorKind::message, false};
    }
    double v = static_cast<double>(s);
    if (e < 0 && e >= -308) {
        v /= kPow10[-e];
    } else if (e >= 0 && e <= 308) {
        v *= kPow10[e];
        if (std::isinf(v)) return fault(ErrorKind::number_out_of_range, false);
    } else if (e > 308) {
        if (v != 0.0) return fault(ErrorKind::number_out_of_range, false);
    } else {
        // Below 10^-308 in steps of 10^308 until the rest is in the table;
        // a significand of at most 20 digits reaches zero within two steps.
        while (e < -308 && v != 0.0) {
            v /= 1e308;
            e += 308;
        }
        if (v != 0.0) v /= kPow10[-e];
    }
    out = JsonValue::from_double(negative ? -v : v);
    return {q, ErrorKind::message, false};
}

}  // namespace mnemo::json
