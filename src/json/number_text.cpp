#include "json/number_text.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "json/shortest_decimal.hpp"

namespace mnemo::json {

ShortestDigits shortest_digits(double magnitude) {
    // Scientific form of the shortest round-trip text: d[.ddd]e(+|-)xx.
    char text[40];
    auto end =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific).ptr;
    ShortestDigits out{};
    const char* p = text;
    out.digits[out.count++] = *p++;
    if (*p == '.') {
        ++p;
        while (*p != 'e') out.digits[out.count++] = *p++;
    }
    ++p;  // 'e'
    bool negative = *p == '-';
    ++p;
    int k = 0;
    std::from_chars(p, end, k);
    out.exponent = negative ? -k : k;
    return out;
}

std::size_t layout_digits(bool negative, std::string_view digits, int exponent, char* out) {
    const int k = exponent;
    // Blocks are copied whole (16 or 24 bytes, more than any run of digits
    // or zeros here) and the cursor advances by the part that counts.
    const char* const d = digits.data();
    const int n = static_cast<int>(digits.size());
    char* w = out;
    *w = '-';
    w += negative;
    if (k >= -5 && k <= 15) {
        if (k >= n - 1) {  // integral: the digits, k - n + 1 zeros, ".0"
            std::memcpy(w, d, 24);
            w += n;
            std::memset(w, '0', 16);
            w += k - n + 1;
            std::memcpy(w, ".0", 2);
            w += 2;
        } else if (k >= 0) {  // the point after digit k + 1
            std::memcpy(w, d, 16);
            w += k + 1;
            *w++ = '.';
            std::memcpy(w, d + k + 1, 16);
            w += n - k - 1;
        } else {  // "0.", -k - 1 zeros, the digits
            std::memcpy(w, "0.00000", 8);
            w += 1 - k;
            std::memcpy(w, d, 24);
            w += n;
        }
        return static_cast<std::size_t>(w - out);
    }
    *w++ = d[0];
    if (n > 1) {
        *w++ = '.';
        std::memcpy(w, d + 1, 16);
        w += n - 1;
    }
    *w++ = 'e';
    *w++ = k < 0 ? '-' : '+';
    w = std::to_chars(w, w + 4, k < 0 ? -k : k).ptr;
    return static_cast<std::size_t>(w - out);
}

namespace {

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
    x += 0x3030303030303030u;
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    return x;
}

int decimal_length(std::uint64_t n) {
    static constexpr std::uint64_t kPowers[] = {
        1u,
        10u,
        100u,
        1000u,
        10000u,
        100000u,
        1000000u,
        10000000u,
        100000000u,
        1000000000u,
        10000000000u,
        100000000000u,
        1000000000000u,
        10000000000000u,
        100000000000000u,
        1000000000000000u,
        10000000000000000u,
        100000000000000000u,
        1000000000000000000u,
        10000000000000000000u,
    };
    const int estimate = (static_cast<int>(std::bit_width(n)) * 1233) >> 12;  // floor or one below
    return estimate + (n >= kPowers[estimate]);
}

// The decimal digits of n > 0, written as 24 zero-padded digits at `text`;
// returns where the digits start and sets their count (at most 20).
const char* write_digits(std::uint64_t n, char* text, int& count) {
    constexpr std::uint64_t k8 = 100000000u;
    const std::uint64_t low16 = n % (k8 * k8);
    const std::uint64_t blocks[3] = {eight_digit_text(static_cast<std::uint32_t>(n / (k8 * k8))),
                                     eight_digit_text(static_cast<std::uint32_t>(low16 / k8)),
                                     eight_digit_text(static_cast<std::uint32_t>(low16 % k8))};
    std::memcpy(text, blocks, sizeof blocks);
    count = decimal_length(n);
    return text + 24 - count;
}

}  // namespace

std::size_t format_double(double value, char* out) {
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    if (magnitude == 0.0) {
        std::string_view zero = negative ? "-0.0" : "0.0";
        std::memcpy(out, zero.data(), zero.size());
        return zero.size();
    }
    if (magnitude < std::numeric_limits<double>::min()) {
        // Subnormals are rare enough to take the library's search.
        ShortestDigits d = shortest_digits(magnitude);
        return layout_digits(negative, {d.digits, static_cast<std::size_t>(d.count)}, d.exponent,
                             out);
    }
    Decimal d = shortest_decimal(magnitude);
    while (d.significand % 10 == 0) {
        d.significand /= 10;
        ++d.exponent;
    }
    // layout_digits reads whole blocks from where the digits start.
    char text[24 + kDigitRoom] = {};
    int count;
    const char* digits = write_digits(d.significand, text, count);
    return layout_digits(negative, {digits, static_cast<std::size_t>(count)},
                         d.exponent + count - 1, out);
}

void format_double(double value, ByteBuffer& out) {
    out.reserve_more(kDoubleTextRoom);
    out.commit(format_double(value, out.tail()));
}

void format_double(double value, std::string& out) {
    char text[kDoubleTextRoom];
    out.append(text, format_double(value, text));
}

void format_unsigned(std::uint64_t value, ByteBuffer& out) {
    out.reserve_more(20);
    out.commit(static_cast<std::size_t>(std::to_chars(out.tail(), out.tail() + 20, value).ptr -
                                        out.tail()));
}

void format_signed(std::int64_t value, ByteBuffer& out) {
    out.reserve_more(20);
    out.commit(static_cast<std::size_t>(std::to_chars(out.tail(), out.tail() + 20, value).ptr -
                                        out.tail()));
}

}  // namespace mnemo::json
