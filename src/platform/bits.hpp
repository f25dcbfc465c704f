// Bit scans and byte order: the builtins of GCC and Clang, the intrinsics
// of MSVC, or plain loops and shifts.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/compiler.hpp"

#if defined(_MSC_VER) && !defined(__clang__) && !MNEMO_PORTABLE
#include <intrin.h>
#include <stdlib.h>
#endif

namespace mnemo::platform {

// The index of the lowest set bit of x, which must not be 0.
inline unsigned count_trailing_zeros(std::uint64_t x) {
#if (defined(__GNUC__) || defined(__clang__)) && !MNEMO_PORTABLE
    return static_cast<unsigned>(__builtin_ctzll(x));
#elif defined(_MSC_VER) && !MNEMO_PORTABLE
    unsigned long index;
    _BitScanForward64(&index, x);
    return static_cast<unsigned>(index);
#else
    unsigned n = 0;
    for (; (x & 0xFF) == 0; x >>= 8) n += 8;
    for (; (x & 1) == 0; x >>= 1) ++n;
    return n;
#endif
}

inline unsigned count_trailing_zeros(std::uint32_t x) {
#if (defined(__GNUC__) || defined(__clang__)) && !MNEMO_PORTABLE
    return static_cast<unsigned>(__builtin_ctz(x));
#else
    return count_trailing_zeros(std::uint64_t{x});
#endif
}

// The index of the highest set bit of x != 0 (GCC's 31 - clz is not one bsr).
inline unsigned highest_set_bit(std::uint32_t x) {
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !MNEMO_PORTABLE
    return static_cast<unsigned>(__builtin_ia32_bsrsi(static_cast<int>(x)));
#else
    return 31u - static_cast<unsigned>(std::countl_zero(x));
#endif
}

inline std::uint64_t byte_swap(std::uint64_t x) {
#if (defined(__GNUC__) || defined(__clang__)) && !MNEMO_PORTABLE
    return __builtin_bswap64(x);
#elif defined(_MSC_VER) && !MNEMO_PORTABLE
    return _byteswap_uint64(x);
#else
    x = ((x & 0x00FF00FF00FF00FFu) << 8) | ((x >> 8) & 0x00FF00FF00FF00FFu);
    x = ((x & 0x0000FFFF0000FFFFu) << 16) | ((x >> 16) & 0x0000FFFF0000FFFFu);
    return (x << 32) | (x >> 32);
#endif
}

inline std::uint32_t byte_swap(std::uint32_t x) {
    return static_cast<std::uint32_t>(byte_swap(std::uint64_t{x}) >> 32);
}

// Eight bytes at q as a number whose lowest byte is q[0].
inline std::uint64_t load_little_endian(const unsigned char* q) {
    std::uint64_t x;
    std::memcpy(&x, q, 8);
    if constexpr (std::endian::native == std::endian::big) x = byte_swap(x);
    return x;
}

// x in little-endian byte order (its lowest byte first in memory).
template <class Word>
inline Word to_little_endian(Word x) {
    if constexpr (std::endian::native == std::endian::big) return byte_swap(x);
    return x;
}

// x in big-endian byte order (its highest byte first in memory).
template <class Word>
inline Word to_big_endian(Word x) {
    if constexpr (std::endian::native == std::endian::little) return byte_swap(x);
    return x;
}

}  // namespace mnemo::platform
