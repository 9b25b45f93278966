#include <emmintrin.h>
#define KERNEL_NS sse2
#define KERNEL_NAME "sse2"
#define VW 2
#define RI 6
#define NV 2
#define VSQRT(x) _mm_sqrt_pd((__m128d)(x))
#include "scoring/kernel/pair_kernel.inc"
