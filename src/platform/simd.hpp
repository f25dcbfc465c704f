// Tests of sixteen bytes at a time for the text routines: x86 SSE2, ARM
// NEON (aarch64), or none, when the routines use their portable byte and
// word forms. SSE2 is part of every x86-64 processor and NEON of every
// aarch64 one; a build asks for the portable forms with MNEMO_NO_SIMD (or
// MNEMO_PORTABLE, which asks for every portable form at once), which is how
// the tests check those forms on any machine.
//
// `kBlockTests` tells whether the block tests below are a few vector
// instructions; where they are not (their plain forms test the sixteen bytes
// one by one), the text routines step through bytes one at a time instead.
// MNEMO_SSE2 and MNEMO_NEON name the form taken, for the other headers of
// this directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/compiler.hpp"

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(MNEMO_NO_SIMD) && !MNEMO_PORTABLE
#define MNEMO_SSE2 1
#define MNEMO_NEON 0
#include <emmintrin.h>
#elif (defined(__aarch64__) || defined(_M_ARM64)) && !defined(MNEMO_NO_SIMD) && !MNEMO_PORTABLE
#define MNEMO_SSE2 0
#define MNEMO_NEON 1
#include <arm_neon.h>
#else
#define MNEMO_SSE2 0
#define MNEMO_NEON 0
#endif
#define MNEMO_BLOCKS (MNEMO_SSE2 || MNEMO_NEON)

namespace mnemo::platform {

#if MNEMO_SSE2
// Bit i is set when byte i of the sixteen at p is an ASCII digit.
MNEMO_ALWAYS_INLINE std::uint32_t digit_bits(const unsigned char* p) {
    // Adding 0x46 takes '0'..'9' to 0x76..0x7F, the only bytes then above
    // 0x75 as signed bytes.
    const __m128i x =
        _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8(0x46));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x75))));
}

// Bit i is set when byte i of the sixteen at p ends a plain run of string
// text: a double quote, a backslash or a control byte (0x00-0x1F).
MNEMO_ALWAYS_INLINE std::uint32_t string_stop_bits(const unsigned char* p) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Unsigned x <= 0x1F exactly when min(x, 0x1F) == x.
    const __m128i stop = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))),
        _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(0x1F)), x));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(stop));
}
#elif MNEMO_NEON
// The lanes of m, each 0x00 or 0xFF, as the bits of a number (lane i in
// bit i): each lane keeps its own bit, and the eight of each half are added.
MNEMO_ALWAYS_INLINE std::uint32_t lane_bits(uint8x16_t m) {
    static constexpr std::uint8_t kBit[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                              1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t bits = vandq_u8(m, vld1q_u8(kBit));
    return static_cast<std::uint32_t>(vaddv_u8(vget_low_u8(bits))) |
           static_cast<std::uint32_t>(vaddv_u8(vget_high_u8(bits))) << 8;
}

MNEMO_ALWAYS_INLINE std::uint32_t digit_bits(const unsigned char* p) {
    return lane_bits(vcleq_u8(vsubq_u8(vld1q_u8(p), vdupq_n_u8('0')), vdupq_n_u8(9)));
}

MNEMO_ALWAYS_INLINE std::uint32_t string_stop_bits(const unsigned char* p) {
    const uint8x16_t x = vld1q_u8(p);
    return lane_bits(vorrq_u8(vorrq_u8(vceqq_u8(x, vdupq_n_u8('"')), vceqq_u8(x, vdupq_n_u8('\\'))),
                              vcleq_u8(x, vdupq_n_u8(0x1F))));
}
#else
// The plain forms, for the same answers where no block test is used.
MNEMO_ALWAYS_INLINE std::uint32_t digit_bits(const unsigned char* p) {
    std::uint32_t bits = 0;
    for (unsigned i = 0; i < 16; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i] - '0') < 10) << i;
    return bits;
}

MNEMO_ALWAYS_INLINE std::uint32_t string_stop_bits(const unsigned char* p) {
    std::uint32_t bits = 0;
    for (unsigned i = 0; i < 16; ++i)
        bits |= static_cast<std::uint32_t>(p[i] == '"' || p[i] == '\\' || p[i] < 0x20) << i;
    return bits;
}
#endif

inline constexpr bool kBlockTests = MNEMO_BLOCKS;

// The value of the `count` decimal digits (1 <= count <= 16) that end the
// sixteen bytes at p; the bytes before them are not looked at.
// kDigitBlockValue tells whether this is a few vector instructions (else
// the plain form adds the digits one by one, and callers read digits a word
// at a time instead).
#if MNEMO_SSE2
inline constexpr bool kDigitBlockValue = true;

MNEMO_ALWAYS_INLINE std::uint64_t digit_block_value(const unsigned char* p, unsigned count) {
    // Lane i of the 16 loaded from kKeepLast + count is 0xFF when i >= 16 - count.
    alignas(16) static constexpr std::uint8_t kKeepLast[32] = {
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
        0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    };
    const __m128i digits = _mm_and_si128(
        _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('0')),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + count)));
    // Pairs of digits (the first of each pair in the lower byte of a 16-bit
    // lane), then quadruples and eights by multiply-adds of adjacent lanes.
    const __m128i pairs = _mm_add_epi16(
        _mm_mullo_epi16(_mm_and_si128(digits, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10)),
        _mm_srli_epi16(digits, 8));
    const __m128i quads = _mm_madd_epi16(pairs, _mm_set1_epi32(100 | 1 << 16));
    const __m128i eights =
        _mm_madd_epi16(_mm_packs_epi32(quads, quads), _mm_set1_epi32(10000 | 1 << 16));
    const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
    return (both & 0xFFFFFFFFu) * 100000000 + (both >> 32);
}
#else
inline constexpr bool kDigitBlockValue = false;

inline std::uint64_t digit_block_value(const unsigned char* p, unsigned count) {
    std::uint64_t value = 0;
    for (unsigned i = 16 - count; i < 16; ++i) value = value * 10 + (p[i] - '0');
    return value;
}
#endif

// Whether the N bytes at p (N <= 32) equal the N bytes at text. Reads
// max(N, 16) bytes at p and at text; the caller makes sure they are there.
template <std::size_t N>
MNEMO_ALWAYS_INLINE bool same_bytes_in_blocks(const unsigned char* p, const char* text) {
    static_assert(N >= 1 && N <= 32);
#if MNEMO_SSE2
    auto equal = [](const void* a, const void* b) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(static_cast<const __m128i*>(a)),
                              _mm_loadu_si128(static_cast<const __m128i*>(b)));
    };
    if constexpr (N <= 16) {
        constexpr unsigned kMask = (1u << N) - 1;
        return (static_cast<unsigned>(_mm_movemask_epi8(equal(p, text))) & kMask) == kMask;
    } else {
        return _mm_movemask_epi8(_mm_and_si128(equal(p, text), equal(p + N - 16, text + N - 16))) ==
               0xFFFF;
    }
#elif MNEMO_NEON
    auto equal = [](const void* a, const void* b) {
        return vceqq_u8(vld1q_u8(static_cast<const std::uint8_t*>(a)),
                        vld1q_u8(static_cast<const std::uint8_t*>(b)));
    };
    if constexpr (N < 16) {
        // Lanes past the N bytes count as equal: lane i of the 16 loaded from
        // kPast + 16 - N is 0xFF when i >= N.
        static constexpr std::uint8_t kPast[32] = {
            0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
            0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        };
        return vminvq_u8(vorrq_u8(equal(p, text), vld1q_u8(kPast + 16 - N))) == 0xFF;
    } else {
        return vminvq_u8(vandq_u8(equal(p, text), equal(p + N - 16, text + N - 16))) == 0xFF;
    }
#else
    return std::memcmp(p, text, N) == 0;
#endif
}

}  // namespace mnemo::platform
