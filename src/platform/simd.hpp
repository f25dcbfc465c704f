// Whether the text routines use x86 SSE2 (sixteen bytes at a time) or their
// portable byte and word forms. SSE2 is part of every x86-64 processor; a
// build asks for the portable forms with MNEMO_NO_SIMD (or MNEMO_PORTABLE,
// which asks for every portable form at once), which is how the tests check
// those forms on x86-64 too.
#pragma once

#include "platform/compiler.hpp"

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(MNEMO_NO_SIMD) && !MNEMO_PORTABLE
#define MNEMO_SSE2 1
#include <emmintrin.h>
#else
#define MNEMO_SSE2 0
#endif
