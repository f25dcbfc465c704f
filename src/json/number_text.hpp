// Text of numbers: doubles as the shortest digits that read back to the
// same double, integers in plain decimal.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "json/buffer.hpp"
#include "json/shortest_decimal.hpp"

namespace mnemo::json {

// The text of a double: the shortest digits d1..dn that read back to it,
// with k the decimal exponent of d1, in plain notation for -5 <= k <= 15
// (always with a point: "10.0", "0.001") and otherwise as
// d1[.d2..dn]e(+|-)|k|; zero is "0.0" or "-0.0", and a non-finite double,
// which no document holds, is null.
//
// It is made in two steps, so that a caller can start the first well
// before it needs the second (each is a long chain of dependent steps):
// `double_digits`, then `write_double`. Every double's text goes through
// this pair.

// Longest text of a double: sign, 17 digits, point, and either up to 21
// places of plain layout or an exponent of "e-324".
inline constexpr std::size_t kMaxDoubleText = 32;

// Room that `write_double` needs at `out`: it stores whole blocks of fixed
// size and then counts only the bytes that belong to the text, so it may
// write past the text's end, within this room.
inline constexpr std::size_t kDoubleTextRoom = 64;

// The shortest digits of a positive normal double; {0, 0} for any other
// double, whose digits `write_double` finds itself. They fit in two
// registers, so that a caller keeps them there rather than in memory.
inline Decimal double_digits(double value) {
    const bool plain =
        value >= std::numeric_limits<double>::min() && value <= std::numeric_limits<double>::max();
    // A positive normal double's shortest significand is never 0.
    return plain ? shortest_decimal(value) : Decimal{0, 0};
}

// Writes the text of `value` at `out`, given `digits` =
// double_digits(value). Needs kDoubleTextRoom bytes at `out`; returns the
// end of the text, at most kMaxDoubleText bytes on.
char* write_double(Decimal digits, double value, char* out);

// Appends the plain decimal text of an unsigned integer to a message.
void format_unsigned(std::uint64_t value, std::string& out);

}  // namespace mnemo::json
