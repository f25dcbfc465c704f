// Sixteen decimal digits as text, made and stored where the processor does
// it best: in one SSE2 register, or, in the plain form, as two words of
// ASCII. The text of a double (json/number_text.cpp) is laid out from them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/bits.hpp"
#include "platform/simd.hpp"

namespace mnemo::platform {

#if MNEMO_SSE2
// The sixteen digits in text order, one ASCII byte per lane.
struct SixteenDigits {
    __m128i text;
};

namespace digit_text_detail {

// Bytes i < k of the 16 loaded from kBelow + 16 - k are 0xFF, the others 0.
alignas(16) inline constexpr unsigned char kBelow[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};

inline void store(char* at, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); }

// 16-bit lanes all equal to m, as a value GCC does not see through, so that
// a multiplication by it stays one instruction rather than its longer
// chain of shifts and additions.
inline __m128i multiplier(short m) {
    __m128i v = _mm_set1_epi16(m);
#if defined(__GNUC__)
    __asm__("" : "+x"(v));
#endif
    return v;
}

}  // namespace digit_text_detail

// The digits of high and low (each below 10^8, zero-padded to eight) one
// after the other. Both are split at once, in the two 64-bit halves of a
// vector: into four parts of four digits (32-bit lanes), eight pairs
// (16-bit lanes) and sixteen digits (bytes), each split a division by 10^4,
// 100 or 10, done as a multiplication by a fixed-point reciprocal exact
// over the lanes' range, whose quotient goes in the lower (earlier) half of
// the lane and the remainder in the upper.
inline SixteenDigits sixteen_digits(std::uint32_t high, std::uint32_t low) {
    const __m128i v = _mm_unpacklo_epi64(_mm_cvtsi32_si128(static_cast<int>(high)),
                                         _mm_cvtsi32_si128(static_cast<int>(low)));
    // x / 10^4 is x * 0xD1B71759 >> 45 for 32-bit x.
    const __m128i q4 = _mm_srli_epi64(_mm_mul_epu32(v, _mm_set1_epi32(-0x2E48E8A7)), 45);
    const __m128i r4 = _mm_sub_epi32(v, _mm_mul_epu32(q4, _mm_set1_epi32(10000)));
    const __m128i fours = _mm_or_si128(q4, _mm_slli_epi64(r4, 32));
    // x / 100 is x * 5243 >> 19 for x < 10^4 (the lanes' upper halves are 0).
    const __m128i q2 = _mm_srli_epi16(_mm_mulhi_epu16(fours, _mm_set1_epi32(5243)), 3);
    const __m128i r2 =
        _mm_sub_epi16(fours, _mm_mullo_epi16(q2, digit_text_detail::multiplier(100)));
    const __m128i pairs = _mm_or_si128(q2, _mm_slli_epi32(r2, 16));
    // x / 10 is x * 6554 >> 16 for x < 100; the remainder's byte is
    // (pairs << 8) less 10 q << 8, and q + '0' + ('0' << 8) adds the rest.
    const __m128i q1 = _mm_mulhi_epu16(pairs, _mm_set1_epi16(6554));
    const __m128i digits =
        _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(pairs, 8),
                                    _mm_mullo_epi16(q1, digit_text_detail::multiplier(1 - 2560))),
                      _mm_set1_epi16(0x3030));
    return {digits};
}

// Writes the sixteen digits at `at`.
inline void store_digits(char* at, SixteenDigits d) { digit_text_detail::store(at, d.text); }

// How many of the sixteen come up to the last that is not '0' (0 when all
// are).
inline int digits_to_last_nonzero(SixteenDigits d) {
    const auto nonzero =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(d.text, _mm_set1_epi8('0')))) ^
        0xFFFFu;
    return static_cast<int>(highest_set_bit(nonzero << 1 | 1));
}

// Writes the digits at `at` with a point after the first k of them
// (0 <= k < 16): seventeen bytes. Byte i of the vector stored at `at` is
// digit i before place k and digit i - 1 from there on, the point then
// stored over place k; the vector stored one place on beforehand supplies
// the last digit.
inline void store_digits_with_point(char* at, SixteenDigits d, int k) {
    using digit_text_detail::kBelow;
    const __m128i below = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBelow + 16 - k));
    digit_text_detail::store(at + 1, d.text);
    digit_text_detail::store(at, _mm_or_si128(_mm_and_si128(d.text, below),
                                              _mm_andnot_si128(below, _mm_slli_si128(d.text, 1))));
    at[k] = '.';
}
#else
// The sixteen digits in text order, eight ASCII bytes to a word (the first
// digit in the word's first byte in memory).
struct SixteenDigits {
    std::uint64_t text[2];
};

namespace digit_text_detail {

// The eight decimal digits of v < 10^8, zero-padded, as ASCII bytes in
// text order. Two halves of four digits, then four pairs, then eight single
// digits are split in parallel lanes of one 64-bit word, a division by 100
// or 10 being a multiplication and a shift exact for the lanes' ranges.
inline std::uint64_t eight_digit_text(std::uint32_t v) {
    std::uint64_t x = (v / 10000) | (static_cast<std::uint64_t>(v % 10000) << 32);
    const std::uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007Fu;
    x = hundreds | ((x - hundreds * 100) << 16);
    const std::uint64_t tens = ((x * 103) >> 10) & 0x000F000F000F000Fu;
    x = tens | ((x - tens * 10) << 8);
    return to_little_endian(x + 0x3030303030303030u);
}

}  // namespace digit_text_detail

inline SixteenDigits sixteen_digits(std::uint32_t high, std::uint32_t low) {
    return {{digit_text_detail::eight_digit_text(high), digit_text_detail::eight_digit_text(low)}};
}

inline void store_digits(char* at, SixteenDigits d) { std::memcpy(at, d.text, 16); }

inline int digits_to_last_nonzero(SixteenDigits d) {
    // The last digit in text order is a word's highest byte in memory.
    auto zeros = [](std::uint64_t word) {
        const std::uint64_t x = word ^ 0x3030303030303030u;
        if constexpr (std::endian::native == std::endian::little)
            return x == 0 ? 8 : std::countl_zero(x) / 8;
        return x == 0 ? 8 : std::countr_zero(x) / 8;
    };
    const int last = zeros(d.text[1]);
    return 16 - (last < 8 ? last : 8 + zeros(d.text[0]));
}

inline void store_digits_with_point(char* at, SixteenDigits d, int k) {
    const auto* digits = reinterpret_cast<const char*>(d.text);
    std::memcpy(at, digits, 16);
    at[k] = '.';
    std::memcpy(at + k + 1, digits + k, static_cast<std::size_t>(16 - k));
}
#endif

}  // namespace mnemo::platform
