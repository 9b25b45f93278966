#include <immintrin.h>
#define KERNEL_NS avx2
#define KERNEL_NAME "avx2"
#define VW 4
#define RI 6
#define NV 2
#define VSQRT(x) _mm256_sqrt_pd((__m256d)(x))
#include "scoring/kernel/pair_kernel.inc"
