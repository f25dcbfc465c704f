#include "json/number_text.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "json/pow10.hpp"
#include "json/shortest_decimal.hpp"
#include "platform/bits.hpp"
#include "platform/compiler.hpp"
#include "platform/simd.hpp"

namespace mnemo::json {

namespace {

// The digits of e < 1000 as one little-endian word of up to three bytes,
// with their count in the top byte: a double's exponent is at most 324,
// so the exponents' texts are kept ready rather than divided out.
constexpr int kExponentTexts = 325;
constexpr std::array<std::uint32_t, kExponentTexts> kExponentText = [] {
    std::array<std::uint32_t, kExponentTexts> texts{};
    for (std::uint32_t e = 0; e < kExponentTexts; ++e) {
        const std::uint32_t count = 1 + (e >= 10) + (e >= 100);
        std::uint32_t text = 0;
        for (std::uint32_t i = 0, rest = e; i < count; ++i, rest /= 10)
            text |= ('0' + rest % 10) << (8 * (count - 1 - i));
        texts[e] = text | count << 24;
    }
    return texts;
}();

// The digits of |k|, 1 <= |k| <= 324, at w; returns their end.
char* write_exponent(int k, char* w) {
    const std::uint32_t entry = kExponentText[static_cast<std::uint32_t>(k < 0 ? -k : k)];
    std::uint32_t text = entry & 0xFFFFFFu;
    text = platform::to_little_endian(text);
    std::memcpy(w, &text, 4);  // within the room; only the count's bytes count
    return w + (entry >> 24);
}

// The number of decimal digits of n > 0.
int decimal_length(std::uint64_t n) {
    const int estimate = (static_cast<int>(std::bit_width(n)) * 1233) >> 12;  // floor or one below
    return estimate + (n >= kPow10Whole[estimate]);
}

// write_decimal, the text of a positive decimal, has two forms: with SSE2
// the digits are made in registers and stored in place; the portable form
// writes them as blocks of text and then lays them out.
#if MNEMO_SSE2
// 10^j divides n exactly when n times the inverse of 5^j modulo 2^64,
// rotated right by j, is at most (2^64 - 1) / 10^j; that rotated product is
// then n / 10^j.
struct DivisibilityTest {
    std::uint64_t inverse;  // of 5^j, modulo 2^64
    std::uint64_t bound;    // (2^64 - 1) / 10^j
    int j;
};

constexpr DivisibilityTest divisibility_test(int j) {
    std::uint64_t five = 1;
    for (int i = 0; i < j; ++i) five *= 5;
    std::uint64_t inverse = five;  // Newton's iteration, exact after five rounds
    for (int i = 0; i < 5; ++i) inverse *= 2 - five * inverse;
    return {inverse, ~std::uint64_t{0} / (five << j), j};
}

// The trailing zero digits of 0 < n < 10^17 (16 at most), from n itself
// rather than from its text, so that the text's length is known long before
// its digits are: halving steps of 8, 4, 2 and 1 zeros, each taken when it
// divides, with the one n of 16 zeros tested beside them.
int decimal_trailing_zeros(std::uint64_t n) {
    constexpr DivisibilityTest kSixteen = divisibility_test(16);
    const bool sixteen = std::rotr(n * kSixteen.inverse, 16) <= kSixteen.bound;
    int zeros = 0;
    for (const DivisibilityTest t :
         {divisibility_test(8), divisibility_test(4), divisibility_test(2), divisibility_test(1)}) {
        const std::uint64_t quotient = std::rotr(n * t.inverse, t.j);
        const bool divides = quotient <= t.bound;
        n = divides ? quotient : n;
        zeros += divides ? t.j : 0;
    }
    return sixteen ? 16 : zeros;
}

// The eight decimal digits of v < 10^8 as the 16-bit lanes of a vector, in
// text order. v is split into two halves of four digits; each half is
// copied into four lanes and divided there by 1000, 100, 10 and 1 (a
// multiplication by a fixed-point reciprocal, then one by a power of two
// for the shift, exact for values below 10^4); subtracting ten times the
// lane before leaves one digit in every lane.
__m128i eight_digit_lanes(std::uint32_t v) {
    const __m128i value = _mm_cvtsi32_si128(static_cast<int>(v));
    // v / 10000 by the reciprocal 0xD1B71759 / 2^45, exact for 32 bits.
    const __m128i high = _mm_srli_epi64(_mm_mul_epu32(value, _mm_set1_epi32(-0x2E48E8A7)), 45);
    const __m128i low = _mm_sub_epi32(value, _mm_mul_epu32(high, _mm_set1_epi32(10000)));
    // [4 high x4, 4 low x4]: four times each half, whose lanes stay below 2^16.
    const __m128i halves = _mm_slli_epi64(_mm_unpacklo_epi16(high, low), 2);
    const __m128i pairs = _mm_unpacklo_epi16(halves, halves);
    const __m128i spread = _mm_unpacklo_epi32(pairs, pairs);
    // (4x * m) >> 16, then >> s by a multiplication by 2^(16 - s): x/1000 is
    // x * 8389 >> 23, x/100 is x * 5243 >> 19, x/10 is x * 13108 >> 17.
    const __m128i reciprocals =
        _mm_setr_epi16(8389, 5243, 13108, -32768, 8389, 5243, 13108, -32768);
    const __m128i shifts =
        _mm_setr_epi16(1 << 7, 1 << 11, 1 << 13, -32768, 1 << 7, 1 << 11, 1 << 13, -32768);
    const __m128i prefixes = _mm_mulhi_epu16(_mm_mulhi_epu16(spread, reciprocals), shifts);
    // Each lane's prefix less ten times the previous lane's prefix.
    const __m128i tens = _mm_slli_epi64(_mm_mullo_epi16(prefixes, _mm_set1_epi16(10)), 16);
    return _mm_sub_epi16(prefixes, tens);
}

// Bytes i < k of the 16 loaded from kBelow + 16 - k are 0xFF, the others 0.
alignas(16) constexpr unsigned char kBelow[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};

// The text of d, a positive decimal of at most 17 digits, at `w`. The
// digits are made in registers and stored where they belong, never read
// back: the significand is scaled to exactly 17 digits, the first digit on
// its own and the other sixteen in one vector; the count of significant
// digits comes from the significand's trailing zeros, beside the digits
// rather than after them.
char* write_decimal(Decimal d, char* w) {
    constexpr std::uint64_t k8 = 100000000u;
    // The text is a long chain of dependent steps, so the steps are kept
    // short: most significands have 15 to 17 digits, told by two comparisons
    // rather than a logarithm, and the first digit and the first nine are
    // divided out of n side by side rather than one from the other.
    int length;
    if (d.significand >= kPow10Whole[14]) {
        length = 15 + (d.significand >= kPow10Whole[15]) + (d.significand >= kPow10Whole[16]);
    } else {
        length = decimal_length(d.significand);
    }
    const int k = d.exponent + length - 1;  // the exponent of the first digit
    const std::uint64_t n = d.significand * kPow10Whole[17 - length];
    const std::uint64_t first_digit = n / (k8 * k8);
    const std::uint64_t first_nine = n / k8;
    const auto first = static_cast<char>('0' + first_digit);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i rest = _mm_add_epi8(
        _mm_packus_epi16(
            eight_digit_lanes(static_cast<std::uint32_t>(first_nine - first_digit * k8)),
            eight_digit_lanes(static_cast<std::uint32_t>(n - first_nine * k8))),
        zero);
    const int count = length - decimal_trailing_zeros(d.significand);  // significant digits
    auto store = [](char* at, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); };

    if (k < -5 || k > 15) {  // d[.ddd]e(+|-)|k|
        w[0] = first;
        w[1] = '.';
        store(w + 2, rest);
        w += count == 1 ? 1 : count + 1;
        *w++ = 'e';
        *w++ = k < 0 ? '-' : '+';
        return write_exponent(k, w);
    }
    if (k < 0) {  // "0.", -k - 1 zeros, the digits
        std::memcpy(w, "0.00000", 8);
        w += 1 - k;
        w[0] = first;
        store(w + 1, rest);
        return w + count;
    }
    w[0] = first;
    if (k >= count - 1) {  // integral: the digits up to place k (zeros past the
                           // significant ones), then ".0"
        store(w + 1, rest);
        w += k + 1;
        std::memcpy(w, ".0", 2);
        return w + 2;
    }
    // The point after digit k + 1: byte i of the stored vector is digit
    // i + 2 before place k, the point at k and digit i + 1 after it. The
    // vector one place on, stored first, supplies the last digit.
    store(w + 2, rest);
    const __m128i below = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBelow + 16 - k));
    const __m128i at =
        _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kBelow + 15 - k)), below);
    const __m128i shifted = _mm_slli_si128(rest, 1);
    store(w + 1, _mm_or_si128(_mm_or_si128(_mm_and_si128(rest, below),
                                           _mm_and_si128(at, _mm_set1_epi8('.'))),
                              _mm_andnot_si128(_mm_or_si128(below, at), shifted)));
    return w + count + 1;
}
#else
// Eight '0' digits as one word.
constexpr std::uint64_t kZeroDigits = 0x3030303030303030u;

// The eight decimal digits of v < 10^8, zero-padded, as ASCII bytes in
// text order. Two halves of four digits, then four pairs, then eight single
// digits are split in parallel lanes of one 64-bit word, a division by 100
// or 10 being a multiplication and a shift exact for the lanes' ranges.
std::uint64_t eight_digit_text(std::uint32_t v) {
    std::uint64_t x = (v / 10000) | (static_cast<std::uint64_t>(v % 10000) << 32);
    const std::uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007Fu;
    x = hundreds | ((x - hundreds * 100) << 16);
    const std::uint64_t tens = ((x * 103) >> 10) & 0x000F000F000F000Fu;
    x = tens | ((x - tens * 10) << 8);
    x += kZeroDigits;
    x = platform::to_little_endian(x);
    return x;
}

// How many '0' digits end an eight-digit block of text (8 when all are).
int trailing_zero_digits(std::uint64_t block) {
    const std::uint64_t x = block ^ kZeroDigits;
    if (x == 0) return 8;
    // The last digit in text order is the block's highest byte in memory.
    if constexpr (std::endian::native == std::endian::little) return std::countl_zero(x) / 8;
    return std::countr_zero(x) / 8;
}

// The decimal digits of 0 < n < 10^17 without their trailing zeros,
// written at the end of 24 bytes of zero-padded text at `text`; returns
// where the digits start, sets their count and that of the zeros dropped
// (the digits' exponent is unchanged by dropping them).
const char* write_digits(std::uint64_t n, char* text, int& count, int& zeros) {
    constexpr std::uint64_t k8 = 100000000u;
    const std::uint64_t low16 = n % (k8 * k8);
    // The first block holds one digit at most, in its last byte.
    const std::uint64_t top = n / (k8 * k8);
    const std::uint64_t blocks[3] = {
        kZeroDigits + (std::endian::native == std::endian::little ? top << 56 : top),
        eight_digit_text(static_cast<std::uint32_t>(low16 / k8)),
        eight_digit_text(static_cast<std::uint32_t>(low16 % k8))};
    std::memcpy(text, blocks, sizeof blocks);
    const int total = decimal_length(n);
    const int z2 = trailing_zero_digits(blocks[2]);
    const int z1 = trailing_zero_digits(blocks[1]);
    const int z0 = trailing_zero_digits(blocks[0]);
    zeros = z2 < 8 ? z2 : z1 < 8 ? 8 + z1 : 16 + z0;
    count = total - zeros;
    return text + 24 - total;
}

// The text of `count` digits at d with exponent k at `w`. Blocks of 16 or
// 24 bytes, more than any run of digits or zeros here, are copied whole
// (read past the digits, written past the text) and the cursor advances by
// the part that counts.
char* layout_digits(const char* d, int count, int k, char* w) {
    const int n = count;
    if (k < -5 || k > 15) {  // d[.ddd]e(+|-)|k|
        *w++ = d[0];
        if (n > 1) {
            *w++ = '.';
            std::memcpy(w, d + 1, 16);
            w += n - 1;
        }
        *w++ = 'e';
        *w++ = k < 0 ? '-' : '+';
        return write_exponent(k, w);
    }
    if (k < 0) {  // "0.", -k - 1 zeros, the digits
        std::memcpy(w, "0.00000", 8);
        w += 1 - k;
        std::memcpy(w, d, 24);
        return w + n;
    }
    if (k >= n - 1) {  // integral: the digits, k - n + 1 zeros, ".0"
        std::memcpy(w, d, 24);
        w += n;
        std::memset(w, '0', 16);
        w += k - n + 1;
        std::memcpy(w, ".0", 2);
        return w + 2;
    }
    // The point after digit k + 1.
    std::memcpy(w, d, 16);
    w += k + 1;
    *w++ = '.';
    std::memcpy(w, d + k + 1, 16);
    return w + n - k - 1;
}

// The text of d, a positive decimal of at most 17 digits, at `w`.
char* write_decimal(Decimal d, char* w) {
    // The digits end 24 bytes in, and layout_digits's blocks end less than
    // 24 bytes after them.
    char text[48] = {};
    int count;
    int zeros;
    const char* digits = write_digits(d.significand, text, count, zeros);
    return layout_digits(digits, count, d.exponent + zeros + count - 1, w);
}
#endif

// The text of a double with no digits found beforehand: zero, non-finite,
// negative or subnormal, none of them common in a response.
MNEMO_COLD char* write_other_double(double value, char* out) {
    if (!std::isfinite(value)) {
        std::memcpy(out, "null", 4);
        return out + 4;
    }
    char* w = out;
    *w = '-';
    w += std::signbit(value);
    const double magnitude = std::fabs(value);
    if (magnitude == 0.0) {
        std::memcpy(w, "0.0", 3);
        return w + 3;
    }
    return write_decimal(magnitude < std::numeric_limits<double>::min()
                             ? shortest_subnormal_decimal(magnitude)
                             : shortest_decimal(magnitude),
                         w);
}

}  // namespace

Decimal double_digits(double value) {
    const bool plain =
        value >= std::numeric_limits<double>::min() && value <= std::numeric_limits<double>::max();
    // A positive normal double's shortest significand is never 0.
    return plain ? shortest_decimal(value) : Decimal{0, 0};
}

char* write_double(Decimal digits, double value, char* out) {
    if (digits.significand != 0) return write_decimal(digits, out);
    return write_other_double(value, out);
}

void format_unsigned(std::uint64_t value, std::string& out) {
    char text[20];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace mnemo::json
