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
#include "platform/bits.hpp"
#include "platform/compiler.hpp"
#include "platform/simd.hpp"

namespace mnemo::json {

// The three representations a number is read into: an unsigned 64-bit
// integer, a negative signed 64-bit integer, or a finite double.
enum class NumberRepr : std::uint8_t { unsigned_int, signed_int, floating };

struct Number {
    NumberRepr repr = NumberRepr::unsigned_int;
    union {
        std::uint64_t u = 0;
        std::int64_t i;
        double d;
    };

    static Number from_unsigned(std::uint64_t n) {
        Number v;
        v.u = n;
        return v;
    }
    static Number from_signed(std::int64_t n) {
        Number v;
        v.repr = NumberRepr::signed_int;
        v.i = n;
        return v;
    }
    static Number from_double(double x) {
        Number v;
        v.repr = NumberRepr::floating;
        v.d = x;
        return v;
    }
    // The nearest double (ties to even).
    double to_double() const {
        return repr == NumberRepr::floating     ? d
               : repr == NumberRepr::signed_int ? static_cast<double>(i)
                                                : static_cast<double>(u);
    }
};

inline bool is_digit(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The end of the run of digits starting at q: the numbers that come here
// (exponents, long runs, faults) are rare, and read byte by byte.
inline const unsigned char* skip_digits(const unsigned char* q, const unsigned char* end) {
    while (q != end && is_digit(*q)) ++q;
    return q;
}

// The value of eight digits, one in each byte as a number 0..9, loaded
// little-endian (the first digit in the lowest byte): pairs, then
// quadruples, then the whole, each step one multiply-add over parallel
// lanes.
MNEMO_ALWAYS_INLINE std::uint64_t eight_digit_values(std::uint64_t x) {
    x = x * 10 + (x >> 8);
    x = ((x & 0x000000FF000000FFu) * (100 + (1000000ull << 32)) +
         ((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32))) >>
        32;
    return x;
}

// The value of eight digit bytes loaded little-endian.
MNEMO_ALWAYS_INLINE std::uint64_t eight_digits_value(std::uint64_t x) {
    return eight_digit_values(x - 0x3030303030303030u);
}

// s followed by the n digits at q, when the result fits in 64 bits: eight
// at a time, then one by one.
inline std::uint64_t append_digits(std::uint64_t s, const unsigned char* q, std::size_t n) {
    for (; n >= 8; q += 8, n -= 8)
        s = s * 100000000 + eight_digits_value(platform::load_little_endian(q));
    for (; n > 0; ++q, --n) s = s * 10 + (*q - '0');
    return s;
}

// The value of the first n digit bytes (1 <= n <= 8) of a word loaded
// little-endian. '0' is taken from every byte first: the shift then fills
// the places before the first digit with zero digits. (A byte below '0'
// after the digits borrows only from the bytes after it, which the shift
// drops.)
MNEMO_ALWAYS_INLINE std::uint64_t leading_digits_value(std::uint64_t bytes, unsigned n) {
    return eight_digit_values((bytes - 0x3030303030303030u) << (64 - 8 * n));
}

// The value of a number's digits on both sides of its point, int_count
// before it and count in all, when the number is at most 8 bytes and the 8
// bytes at p are readable: one load, the point taken out by moving the
// fraction's digits down one byte (before '0' is taken from each byte, or
// the point's byte would borrow from the digit after it).
inline constexpr auto kBytesBelow = [] {  // entry n: the lowest n bytes set
    std::array<std::uint64_t, 8> masks{};
    for (unsigned n = 1; n < 8; ++n) masks[n] = (std::uint64_t{1} << (8 * n)) - 1;
    return masks;
}();
MNEMO_ALWAYS_INLINE std::uint64_t digits_around_point(const unsigned char* p, unsigned int_count,
                                                      unsigned count) {
    const std::uint64_t x = platform::load_little_endian(p);
    const std::uint64_t before = kBytesBelow[int_count];
    return leading_digits_value((x & before) | ((x >> 8) & ~before), count);
}

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
// ErrorKind::none on success; `at_byte` tells whether the fault's
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
                              Number& out) {
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
                out = Number::from_double(negative ? -0.0 : 0.0);
                return {q, ErrorKind::none, false};
            }
            x = x * 10 + d;
        }
        exponent = exp_negative ? -static_cast<std::int64_t>(x) : x;
    }

    std::uint64_t s;
    std::int64_t e;
    if (int_count + frac_count <= 19) {
        s = append_digits(append_digits(0, int_digits, int_count), frac_digits, frac_count);
        e = exponent - static_cast<std::int64_t>(frac_count);
    } else {
        is_double |= long_significand(int_digits, int_count, frac_digits, frac_count, s, e);
        e += exponent;
    }
    if (!is_double) {
        if (!negative) {
            out = Number::from_unsigned(s);
        } else if (s >= 1 && s <= (std::uint64_t{1} << 63)) {
            out = Number::from_signed(static_cast<std::int64_t>(0 - s));
        } else {
            out = Number::from_double(-static_cast<double>(s));
        }
        return {q, ErrorKind::none, false};
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
    out = Number::from_double(negative ? -v : v);
    return {q, ErrorKind::none, false};
}

// The value of a plain number: S, all its digits, as a whole number, the
// length of its fraction, and its sign. An integer is unsigned, or signed
// when negative (-0 is a double); either converts to the nearest double,
// and negation is exact.
MNEMO_ALWAYS_INLINE double plain_number_value(std::uint64_t s, std::size_t frac_count,
                                              bool negative) {
    const double v =
        frac_count == 0 ? static_cast<double>(s) : static_cast<double>(s) / kPow10[frac_count];
    return negative ? -v : v;
}

// The doubles nearest to i / 10 for i < 100: the values of d.d, one digit
// with a one-digit fraction, ready rather than divided out (IEEE division
// is correctly rounded, at compile time as at run time).
inline constexpr auto kTenths = [] {
    std::array<double, 100> t{};
    for (int i = 0; i < 100; ++i) t[i] = static_cast<double>(i) / 10.0;
    return t;
}();

// read_double for any text, byte by byte: used near the end of the text,
// where whole blocks cannot be loaded, and for the numbers the block path
// leaves (long runs, exponents, faults).
const unsigned char* read_double_bytewise(const unsigned char* q, const unsigned char* end,
                                          double& value);

// The value of the `count` digits at `at`, 1 <= count <= 19, when 8 bytes
// can be loaded at `at` and at the last eight digits: a run of up to eight
// digits is one word, and each eight before them one word more.
MNEMO_ALWAYS_INLINE std::uint64_t digit_run_value(const unsigned char* at, unsigned count) {
    if (count <= 8) return leading_digits_value(platform::load_little_endian(at), count);
    const std::uint64_t last = eight_digits_value(platform::load_little_endian(at + count - 8));
    if (count <= 16)
        return leading_digits_value(platform::load_little_endian(at), count - 8) * 100000000 + last;
    return (leading_digits_value(platform::load_little_endian(at), count - 16) * 100000000 +
            eight_digits_value(platform::load_little_endian(at + count - 16))) *
               100000000 +
           last;
}

// S of a plain number at p (after its sign), in block-reading room:
// int_count digits and, when frac_count is not 0, a point and frac_count
// digits, 19 digits at most.
MNEMO_ALWAYS_INLINE std::uint64_t long_plain_digits(const unsigned char* p, unsigned int_count,
                                                    unsigned frac_count) {
    // A single integer digit (most counts, the "0." of fractions) as it is.
    const std::uint64_t whole = int_count == 1 ? *p - '0' : digit_run_value(p, int_count);
    if (frac_count == 0) return whole;
    const unsigned char* const fraction = p + int_count + 1;
    std::uint64_t part;
    // The last sixteen bytes of a number of sixteen bytes or more hold the
    // fraction's last sixteen digits, or all of them.
    if (platform::kDigitBlockValue && fraction + frac_count >= p + 16) {
        const unsigned char* const last16 = fraction + frac_count - 16;
        part = frac_count <= 16 ? platform::digit_block_value(last16, frac_count)
                                : digit_run_value(fraction, frac_count - 16) * kPow10Whole[16] +
                                      platform::digit_block_value(last16, 16);
    } else {
        part = digit_run_value(fraction, frac_count);
    }
    return whole * kPow10Whole[frac_count] + part;
}

// The end of a plain number at q (digits, perhaps a point and digits, at most
// 19 digits, no exponent; see read_double), with its value, where 64 bytes
// or more of text are left and the processor has block tests; null for any
// other number or text. One 16-byte test finds the digit runs of most
// numbers (a second when the fraction runs past sixteen bytes), and digits
// are read a word at a time. Negative numbers, rare in records, are read
// out of line. Without `TestExponent` the byte after the number is not
// looked at: the caller tests it for an exponent.
inline constexpr std::size_t kLongestPlainNumber = 21;  // sign, 19 digits, point

template <bool TestExponent>
const unsigned char* read_negative_plain_number_in_block(const unsigned char* q, double& value);

template <bool TestExponent = true, bool Negative = false>
MNEMO_ALWAYS_INLINE const unsigned char* read_plain_number_in_block(const unsigned char* q,
                                                                    double& value) {
    if (!Negative && *q == '-') return read_negative_plain_number_in_block<TestExponent>(q, value);
    const unsigned char* const p = q + Negative;
    // Bits 16 and up of `others` are set: a run of sixteen digits counts
    // 16, and goes to the byte-by-byte reader.
    const std::uint32_t others = ~platform::digit_bits(p);
    const unsigned int_count = platform::count_trailing_zeros(others);
    if (int_count - 1 >= 15 || (int_count != 1 && *p == '0')) return nullptr;
    const unsigned char* stop = p + int_count;
    if (*stop != '.') {
        if (TestExponent && (*stop | 0x20) == 'e') return nullptr;
        value = plain_number_value(long_plain_digits(p, int_count, 0), 0, Negative);
        return stop;
    }
    // The fraction's digits, from the second block too when they reach the
    // end of the first; only then can there be more than 19 digits.
    const unsigned frac_start = int_count + 1;
    unsigned frac_count = platform::count_trailing_zeros(others >> frac_start);
    if (frac_start + frac_count == 16) {
        frac_count += platform::count_trailing_zeros(~platform::digit_bits(p + 16));
        if (int_count + frac_count > 19) return nullptr;
    }
    if (frac_count == 0) return nullptr;
    stop += 1 + frac_count;
    if (TestExponent && (*stop | 0x20) == 'e') return nullptr;
    const unsigned length = frac_start + frac_count;
    // A number of eight bytes at most is read in one word.
    const std::uint64_t s = length <= 8 ? digits_around_point(p, int_count, length - 1)
                                        : long_plain_digits(p, int_count, frac_count);
    value = plain_number_value(s, frac_count, Negative);
    return stop;
}

template <bool TestExponent>
MNEMO_NOINLINE const unsigned char* read_negative_plain_number_in_block(const unsigned char* q,
                                                                        double& value) {
    return read_plain_number_in_block<TestExponent, true>(q, value);
}

// The end of a number at q, read as a double field reads it; null when the
// text there is not a number that reads without fault.
//
// Most numbers are short: an integer part and perhaps a fraction, no
// exponent, at most 19 digits from the first one that is not zero. For
// those the reader's procedure comes down to S = all the digits and E =
// minus the fraction's length (leading zeros leave S at 0), so the value
// is S (an integer, converted to the nearest double) or S divided by
// 10^(fraction digits); that is computed here directly. Any other number
// goes through read_number.
//
// Away from the end of the text (64 bytes or more left), by blocks where the
// processor has block tests (read_plain_number_in_block, and the
// byte-by-byte reader from the same byte for every other number);
// elsewhere, byte by byte, with the shortest forms inline.
MNEMO_ALWAYS_INLINE const unsigned char* read_double(const unsigned char* q,
                                                     const unsigned char* end, double& value) {
    if constexpr (platform::kBlockTests) {
        if (end - q >= 64) {
            const unsigned char* const stop = read_plain_number_in_block(q, value);
            return stop ? stop : read_double_bytewise(q, end, value);
        }
    }
    // Without a call: a one-digit whole number, as counts and ages often
    // are, and one digit with a one-digit fraction, as importances and
    // frequencies often are. Each must be followed by a byte that ends it.
    if (end - q >= 2 && is_digit(q[0])) {
        const unsigned char after = q[1];
        if (!is_digit(after) && after != '.' && (after | 0x20) != 'e') {
            value = q[0] - '0';
            return q + 1;
        }
        if (after == '.' && end - q >= 4 && is_digit(q[2]) && !is_digit(q[3]) &&
            (q[3] | 0x20) != 'e') {
            value = kTenths[(q[0] - '0') * 10u + (q[2] - '0')];
            return q + 3;
        }
    }
    return read_double_bytewise(q, end, value);
}

}  // namespace mnemo::json
