// The formula's bounds, a > b ? a : b and a < b ? a : b, as SSE2's maxsd and
// minsd, which mean exactly that (the second operand when the comparison
// fails, NaN and zeros of either sign included), rather than as a comparison
// and a branch that is as good as random from item to item.
#pragma once

#include "platform/simd.hpp"

namespace mnemo::platform {

#if MNEMO_SSE2
MNEMO_ALWAYS_INLINE double greater_else_second(double a, double b) {
    return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(a), _mm_set_sd(b)));
}
MNEMO_ALWAYS_INLINE double lesser_else_second(double a, double b) {
    return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(a), _mm_set_sd(b)));
}
#else
MNEMO_ALWAYS_INLINE double greater_else_second(double a, double b) { return a > b ? a : b; }
MNEMO_ALWAYS_INLINE double lesser_else_second(double a, double b) { return a < b ? a : b; }
#endif

}  // namespace mnemo::platform
