#pragma once

// Marks a hot loop to be compiled twice, for AVX2 and for the baseline, the copy picked once when the program
// loads. Only for loops of integer or element-wise float arithmetic (no fused multiply-add is enabled): they
// compute the same bytes either way, only more of them per instruction.
#if defined(__SANITIZE_THREAD__)
// The copy is picked by a resolver the loader runs before the thread sanitizer's runtime is up, and the
// instrumented resolver crashes there: sanitized builds keep the baseline copy only.
#define OLVENNAR_WIDE_VECTORS
#else
#define OLVENNAR_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#endif
