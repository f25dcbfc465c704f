// Finding the end of a plain run in string text: the first byte that is a
// double quote, a backslash or a control byte (0x00-0x1F). The reader stops
// there to end the string or to read an escape, and the writer stops at the
// same bytes to escape them. Sixteen bytes are tested at a time where the
// processor has SIMD (platform/simd.hpp); elsewhere, and for the last few
// bytes, one at a time.
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
    if constexpr (platform::kBlockTests) {
        while (n - i >= 16) {
            const std::uint32_t mask = platform::string_stop_bits(p + i);
            if (mask != 0) return i + platform::count_trailing_zeros(mask);
            i += 16;
        }
    }
    while (i < n && !kStringStop[p[i]]) ++i;
    return i;
}

}  // namespace mnemo::json
