// The compiler-specific spellings the code uses, each with a plain form.
// MNEMO_PORTABLE (a build option) takes the plain form of everything under
// src/platform/: no SIMD, no 128-bit integer type, no builtins.
#pragma once

#if defined(MNEMO_PORTABLE)
#undef MNEMO_PORTABLE
#define MNEMO_PORTABLE 1
#else
#define MNEMO_PORTABLE 0
#endif

// Kept out of line (a rare path, or one whose registers would burden its
// caller), forced inline, and marked as seldom taken.
#if defined(__GNUC__) || defined(__clang__)
#define MNEMO_NOINLINE [[gnu::noinline]]
#define MNEMO_ALWAYS_INLINE [[gnu::always_inline]] inline
#define MNEMO_COLD [[gnu::noinline, gnu::cold]]
#elif defined(_MSC_VER)
#define MNEMO_NOINLINE __declspec(noinline)
#define MNEMO_ALWAYS_INLINE __forceinline
#define MNEMO_COLD __declspec(noinline)
#else
#define MNEMO_NOINLINE
#define MNEMO_ALWAYS_INLINE inline
#define MNEMO_COLD
#endif
