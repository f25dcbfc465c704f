// Products of two 64-bit numbers to 128 bits: GCC's and Clang's 128-bit
// integer type, MSVC's intrinsics, or four 32-bit products.
#pragma once

#include <cstdint>

#include "platform/compiler.hpp"

#if defined(_MSC_VER) && !defined(__clang__) && !MNEMO_PORTABLE
#include <intrin.h>
#endif

namespace mnemo::platform {

struct U128 {
    std::uint64_t high;
    std::uint64_t low;
};

inline U128 multiply_wide(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__) && !MNEMO_PORTABLE
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#elif defined(_MSC_VER) && defined(_M_X64) && !MNEMO_PORTABLE
    std::uint64_t high;
    const std::uint64_t low = _umul128(a, b, &high);
    return {high, low};
#elif defined(_MSC_VER) && defined(_M_ARM64) && !MNEMO_PORTABLE
    return {__umulh(a, b), a * b};
#else
    const std::uint64_t a_lo = a & 0xFFFFFFFFu, a_hi = a >> 32;
    const std::uint64_t b_lo = b & 0xFFFFFFFFu, b_hi = b >> 32;
    const std::uint64_t lo_lo = a_lo * b_lo;
    const std::uint64_t hi_lo = a_hi * b_lo;
    const std::uint64_t lo_hi = a_lo * b_hi;
    const std::uint64_t hi_hi = a_hi * b_hi;
    const std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xFFFFFFFFu) + lo_hi;
    return {hi_hi + (hi_lo >> 32) + (middle >> 32), (middle << 32) | (lo_lo & 0xFFFFFFFFu)};
#endif
}

// The upper 64 bits of a * b.
inline std::uint64_t multiply_high(std::uint64_t a, std::uint64_t b) {
    return multiply_wide(a, b).high;
}

// x + y, y a 64-bit number.
inline U128 add(U128 x, std::uint64_t y) {
    const std::uint64_t low = x.low + y;
    return {x.high + (low < y), low};
}

}  // namespace mnemo::platform
