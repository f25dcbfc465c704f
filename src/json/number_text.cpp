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
#include "platform/digit_text.hpp"

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

// The text of d, a positive decimal of at most 17 digits, at `w`. The
// significand is scaled to exactly 17 digits, the first digit on its own
// and the other sixteen made as one block of text (platform/digit_text.hpp)
// and stored where they belong, never read back; the significant digits
// after the first are those of the block up to its last nonzero one.
char* write_decimal(Decimal d, char* w) {
    constexpr std::uint64_t k8 = 100000000u;
    // The length by a logarithm (fewer instructions than comparisons), and the
    // first digit from the first nine, below 2^30, by one 64-bit product.
    const int length = decimal_length(d.significand);
    // The exponent of the first digit: a double's lies within -324..308.
    const int k = static_cast<int>(d.exponent) + length - 1;
    const std::uint64_t n = d.significand * kPow10Whole[17 - length];
    const std::uint64_t first_nine = n / k8;
    const std::uint64_t first_digit = (first_nine * 720575941) >> 56;  // 2^56 / 10^8 rounded up
    const auto first = static_cast<char>('0' + first_digit);
    const platform::SixteenDigits rest =
        platform::sixteen_digits(static_cast<std::uint32_t>(first_nine - first_digit * k8),
                                 static_cast<std::uint32_t>(n - first_nine * k8));
    const int more = platform::digits_to_last_nonzero(rest);

    if (k < -5 || k > 15) {  // d[.ddd]e(+|-)|k|
        w[0] = first;
        w[1] = '.';
        platform::store_digits(w + 2, rest);
        w += more == 0 ? 1 : more + 2;
        *w++ = 'e';
        *w++ = k < 0 ? '-' : '+';
        return write_exponent(k, w);
    }
    if (k < 0) {  // "0.", -k - 1 zeros, the digits
        std::memcpy(w, "0.00000", 8);
        w += 1 - k;
        w[0] = first;
        platform::store_digits(w + 1, rest);
        return w + 1 + more;
    }
    w[0] = first;
    if (k >= more) {  // integral: the digits up to place k (zeros past the
                      // significant ones), then ".0"
        platform::store_digits(w + 1, rest);
        w += k + 1;
        std::memcpy(w, ".0", 2);
        return w + 2;
    }
    // The point after digit k + 1.
    platform::store_digits_with_point(w + 1, rest, k);
    return w + more + 2;
}

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

char* write_double(Decimal digits, double value, char* out) {
    if (digits.significand != 0) return write_decimal(digits, out);
    return write_other_double(value, out);
}

void format_unsigned(std::uint64_t value, std::string& out) {
    char text[20];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace mnemo::json
