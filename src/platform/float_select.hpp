// The formula's bounds, a > b ? a : b and a < b ? a : b, as one
// instruction where the processor has one of exactly that meaning (SSE2's
// maxsd and minsd return their second operand when the comparison is
// false, NaN and zeros of either sign included), rather than a comparison
// and a branch that is as good as random from item to item.
#pragma once

#include "platform/compiler.hpp"
#include "platform/simd.hpp"

namespace mnemo::platform {

MNEMO_ALWAYS_INLINE double greater_else_second(double a, double b) {
#if MNEMO_SSE2
    return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(a), _mm_set_sd(b)));
#else
    return a > b ? a : b;
#endif
}

MNEMO_ALWAYS_INLINE double lesser_else_second(double a, double b) {
#if MNEMO_SSE2
    return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(a), _mm_set_sd(b)));
#else
    return a < b ? a : b;
#endif
}

}  // namespace mnemo::platform
