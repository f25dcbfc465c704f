// Finding the end of a plain run in string text: the first byte that is a
// double quote, a backslash or a control byte (0x00-0x1F). The reader stops
// there to end the string or to read an escape, and the writer stops at the
// same bytes to escape them. On x86-64 sixteen bytes are tested at a time
// with SSE2; elsewhere, and for the last few bytes, one at a time.
#pragma once

#include <array>
#include <cstddef>

#include "platform/bits.hpp"
#include "platform/simd.hpp"

namespace mnemo::json {

inline constexpr auto kStringStop = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = true;
    t['"'] = true;
    t['\\'] = true;
    return t;
}();

// The index of the first stop byte in p[from, n), or n when there is none.
inline std::size_t find_string_stop(const unsigned char* p, std::size_t from, std::size_t n) {
    std::size_t i = from;
#if MNEMO_SSE2
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i control_max = _mm_set1_epi8(0x1F);
    while (n - i >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // Unsigned x <= 0x1F exactly when min(x, 0x1F) == x.
        const __m128i stop =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)),
                         _mm_cmpeq_epi8(_mm_min_epu8(x, control_max), x));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
        if (mask != 0) return i + platform::count_trailing_zeros(mask);
        i += 16;
    }
#endif
    while (i < n && !kStringStop[p[i]]) ++i;
    return i;
}

}  // namespace mnemo::json
