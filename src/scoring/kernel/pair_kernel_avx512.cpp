#include <immintrin.h>
#define KERNEL_NS avx512
#define KERNEL_NAME "avx512"
#define VW 8
#define RI 8
#define NV 2
#define VSQRT(x) _mm512_maskz_sqrt_pd(0xFF, (__m512d)(x))
#include "scoring/kernel/pair_kernel.inc"
