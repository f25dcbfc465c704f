#include "json/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

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
    char* w = out;
    const int n = static_cast<int>(digits.size());
    if (negative) *w++ = '-';
    if (k >= -5 && k <= 15) {
        if (k >= n - 1) {
            std::memcpy(w, digits.data(), n);
            w += n;
            std::memset(w, '0', k - n + 1);
            w += k - n + 1;
            *w++ = '.';
            *w++ = '0';
        } else if (k >= 0) {
            std::memcpy(w, digits.data(), k + 1);
            w += k + 1;
            *w++ = '.';
            std::memcpy(w, digits.data() + k + 1, n - k - 1);
            w += n - k - 1;
        } else {
            *w++ = '0';
            *w++ = '.';
            std::memset(w, '0', -k - 1);
            w += -k - 1;
            std::memcpy(w, digits.data(), n);
            w += n;
        }
    } else {
        *w++ = digits[0];
        if (n > 1) {
            *w++ = '.';
            std::memcpy(w, digits.data() + 1, n - 1);
            w += n - 1;
        }
        *w++ = 'e';
        *w++ = k < 0 ? '-' : '+';
        w = std::to_chars(w, w + 4, k < 0 ? -k : k).ptr;
    }
    return static_cast<std::size_t>(w - out);
}

std::size_t format_double(double value, char* out) {
    const bool negative = std::signbit(value);
    if (value == 0.0) {
        std::string_view zero = negative ? "-0.0" : "0.0";
        std::memcpy(out, zero.data(), zero.size());
        return zero.size();
    }
    ShortestDigits d = shortest_digits(std::fabs(value));
    return layout_digits(negative, {d.digits, static_cast<std::size_t>(d.count)}, d.exponent, out);
}

void format_double(double value, ByteBuffer& out) {
    out.reserve_more(kMaxDoubleText);
    out.commit(format_double(value, out.tail()));
}

void format_double(double value, std::string& out) {
    char text[kMaxDoubleText];
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
