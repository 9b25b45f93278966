// The kernel for any processor: GCC vectors of two doubles, which the
// compiler maps to the machine's own SIMD registers or to scalar code.
#define KERNEL_NS portable
#define KERNEL_NAME "portable"
#define VW 2
#define RI 6
#define NV 2
#define VSQRT(x)                                                    \
    ({                                                              \
        vd root_;                                                   \
        for (int lane_ = 0; lane_ < VW; ++lane_) root_[lane_] = __builtin_sqrt((x)[lane_]); \
        root_;                                                      \
    })
#include "scoring/kernel/pair_kernel.inc"
