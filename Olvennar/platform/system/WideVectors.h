#pragma once

// Marks a hot loop to be compiled twice, for AVX2 and for the baseline, the copy picked once when the program
// loads. Only for loops of integer or element-wise float arithmetic (no fused multiply-add is enabled): they
// compute the same bytes either way, only more of them per instruction.
// A thread-sanitized build keeps the baseline only: the loader runs the picker before the sanitizer's
// runtime is up, and an instrumented picker crashes the program at its start.
#if defined(__SANITIZE_THREAD__)
#define OLVENNAR_WIDE_VECTORS
#else
#define OLVENNAR_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#endif
