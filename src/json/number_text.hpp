// Text of numbers: integers in plain decimal, doubles as the shortest digits
// that read back to the same double, laid out in plain or exponent notation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/buffer.hpp"
#include "json/shortest_decimal.hpp"

namespace mnemo::json {

// Longest text `format_double` can produce: sign, 17 digits, point, and
// either up to 21 places of plain layout or an exponent of "e-324".
inline constexpr std::size_t kMaxDoubleText = 32;

// Room that `format_double` and `layout_digits` need at `out`: they copy
// whole blocks of fixed size and then count only the bytes that belong to
// the text, so they may write past its end, within this room.
inline constexpr std::size_t kDoubleTextRoom = 64;

// Room of a digit buffer handed to `layout_digits`: its blocks are read
// whole, past the last digit.
inline constexpr std::size_t kDigitRoom = 40;

// Shortest round-trip digits of a finite, non-zero magnitude: d1..dn with no
// trailing zeros, and k, the decimal exponent of d1.
struct ShortestDigits {
    char digits[kDigitRoom];
    int count;
    int exponent;
};
ShortestDigits shortest_digits(double magnitude);

// Lays out digits d1..dn with exponent k: plain notation for -5 <= k <= 15
// (always with a point), otherwise d1[.d2..dn]e(+|-)|k|. `digits.data()`
// must be readable for kDigitRoom bytes and `out` writable for
// kDoubleTextRoom. Returns the length of the text.
std::size_t layout_digits(bool negative, std::string_view digits, int exponent, char* out);

// The text of a finite double; zero is "0.0" or "-0.0". Needs
// kDoubleTextRoom bytes at `out`, writes a text of at most kMaxDoubleText
// and returns its length.
std::size_t format_double(double value, char* out);
void format_double(double value, ByteBuffer& out);
void format_double(double value, std::string& out);

// The same text in two steps, for a caller that can start the first well
// before it needs the second (each is a long chain of dependent steps):
// the shortest digits of a positive normal double, then their layout. For
// any other double the digits are {0, 0}, and the layout is format_double's
// (null for a non-finite double). The digits fit in two registers, so that
// a caller keeps them there rather than in memory.
Decimal double_digits(double value);
// Needs kDoubleTextRoom bytes at `out`; returns the length of the text.
std::size_t write_double_digits(Decimal digits, double value, char* out);

// Plain decimal text of integers.
void format_unsigned(std::uint64_t value, ByteBuffer& out);
void format_signed(std::int64_t value, ByteBuffer& out);

}  // namespace mnemo::json
