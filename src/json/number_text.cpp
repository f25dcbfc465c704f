#include "json/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "json/shortest_decimal.hpp"

namespace mnemo::json {

ShortestDigits shortest_digits(double magnitude) {
    // Scientific form of the shortest round-trip text: d[.ddd]e(+|-)xx.
    char text[40];
    auto end = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific).ptr;
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

std::size_t layout_digits(bool negative, std::string_view digits, int k, char* out) {
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

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void write_pair(std::uint32_t n, char* out) { std::memcpy(out, kDigitPairs + 2 * n, 2); }

// The decimal digits of n > 0 into `out`, which has room for 24 bytes;
// returns their count (at most 20). Eight digits at a time are cut off in
// 64-bit arithmetic and written in 32-bit arithmetic, two at a time.
int write_digits(std::uint64_t n, char* out) {
    char text[48];
    char* const end = text + 40;  // so that 24 bytes from any start stay inside
    char* p = end;
    while (n >= 100000000) {
        const auto block = static_cast<std::uint32_t>(n % 100000000);
        n /= 100000000;
        const std::uint32_t high = block / 10000, low = block % 10000;
        p -= 8;
        write_pair(high / 100, p);
        write_pair(high % 100, p + 2);
        write_pair(low / 100, p + 4);
        write_pair(low % 100, p + 6);
    }
    auto m = static_cast<std::uint32_t>(n);
    while (m >= 100) {
        write_pair(m % 100, p -= 2);
        m /= 100;
    }
    if (m >= 10)
        write_pair(m, p -= 2);
    else
        *--p = static_cast<char>('0' + m);
    std::memcpy(out, p, 24);  // a fixed size: one copy without a call
    return static_cast<int>(end - p);
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
    char digits[kDigitRoom] = {};  // layout_digits reads whole blocks
    const int count = write_digits(d.significand, digits);
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
    out.commit(static_cast<std::size_t>(std::to_chars(out.tail(), out.tail() + 20, value).ptr - out.tail()));
}

void format_signed(std::int64_t value, ByteBuffer& out) {
    out.reserve_more(20);
    out.commit(static_cast<std::size_t>(std::to_chars(out.tail(), out.tail() + 20, value).ptr - out.tail()));
}

}  // namespace mnemo::json
