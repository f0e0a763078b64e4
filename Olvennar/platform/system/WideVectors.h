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

// Whether the processor runs the hand-written vector loops: AVX2, and AVX-512 with its byte and word forms.
// Asked once; the answer never changes while the program runs.
namespace WideVectors {

inline bool hasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

inline bool hasAvx512()
{
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return avx512;
}

} // namespace WideVectors
