#pragma once

// Marks a hot loop to be compiled twice, for AVX2 and for the baseline, the copy picked once when the program
// loads. Only for loops of integer or element-wise float arithmetic (no fused multiply-add is enabled): they
// compute the same bytes either way, only more of them per instruction.
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer's runtime is not up yet when the loader picks a copy: such builds keep the baseline only.
#define OLVENNAR_WIDE_VECTORS
#else
#define OLVENNAR_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#endif
