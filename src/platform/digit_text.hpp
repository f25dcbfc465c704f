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

// m in every 16-bit lane, hidden from GCC, which would multiply by it in
// several shifts and additions rather than one instruction.
inline __m128i multiplier(short m) {
    __m128i v = _mm_set1_epi16(m);
#if defined(__GNUC__)
    __asm__("" : "+x"(v));
#endif
    return v;
}

}  // namespace digit_text_detail

// The digits of high and low (each below 10^8, zero-padded) one after the
// other, split at once in a vector's two halves into fours, pairs, digits:
// a quotient (in the lane's lower, earlier half) and remainder by 10^4, 100,
// 10, x * 0xD1B71759 >> 45, x * 5243 >> 19, x * 6554 >> 16, exact here.
inline SixteenDigits sixteen_digits(std::uint32_t high, std::uint32_t low) {
    using digit_text_detail::multiplier;
    const __m128i v = _mm_unpacklo_epi64(_mm_cvtsi32_si128(static_cast<int>(high)),
                                         _mm_cvtsi32_si128(static_cast<int>(low)));
    const __m128i q4 = _mm_srli_epi64(_mm_mul_epu32(v, _mm_set1_epi32(-0x2E48E8A7)), 45);
    const __m128i r4 = _mm_sub_epi32(v, _mm_mul_epu32(q4, _mm_set1_epi32(10000)));
    const __m128i fours = _mm_or_si128(q4, _mm_slli_epi64(r4, 32));
    // The lanes' upper halves are 0.
    const __m128i q2 = _mm_srli_epi16(_mm_mulhi_epu16(fours, _mm_set1_epi32(5243)), 3);
    const __m128i r2 = _mm_sub_epi16(fours, _mm_mullo_epi16(q2, multiplier(100)));
    const __m128i pairs = _mm_or_si128(q2, _mm_slli_epi32(r2, 16));
    // The remainder's byte is (pairs - 10 q) << 8, then q + '0' + ('0' << 8).
    const __m128i q1 = _mm_mulhi_epu16(pairs, _mm_set1_epi16(6554));
    return {_mm_add_epi16(
        _mm_add_epi16(_mm_slli_epi16(pairs, 8), _mm_mullo_epi16(q1, multiplier(-2559))),
        _mm_set1_epi16(0x3030))};
}

// Writes the sixteen digits at `at`.
inline void store_digits(char* at, SixteenDigits d) { digit_text_detail::store(at, d.text); }

// How many of the sixteen come up to the last that is not '0' (0 if none).
inline int digits_to_last_nonzero(SixteenDigits d) {
    const int zeros = _mm_movemask_epi8(_mm_cmpeq_epi8(d.text, _mm_set1_epi8('0')));
    return static_cast<int>(highest_set_bit(static_cast<std::uint32_t>(zeros << 1 ^ 0x1FFFF)));
}

// Writes the digits at `at` with a point after the first k of them
// (0 <= k < 16): seventeen bytes. Byte i of the vector stored at `at` is
// digit i before place k and digit i - 1 from there on, the point stored
// over place k after it and the last digit by a store one place on before.
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
    return last < 8 ? 16 - last : 8 - zeros(d.text[0]);
}

inline void store_digits_with_point(char* at, SixteenDigits d, int k) {
    const auto* digits = reinterpret_cast<const char*>(d.text);
    std::memcpy(at, digits, 16);
    at[k] = '.';
    std::memcpy(at + k + 1, digits + k, static_cast<std::size_t>(16 - k));
}
#endif

}  // namespace mnemo::platform
