#include "scoring/kernel/pair_kernel.h"

namespace tivarne {
#ifdef TIVARNE_X86_KERNELS
namespace avx512 {
PairKernel kernel();
}
namespace avx2 {
PairKernel kernel();
}
namespace sse2 {
PairKernel kernel();
}
#endif
namespace portable {
PairKernel kernel();
}

int available_pair_kernels(PairKernel* out, int capacity) {
    int count = 0;
    auto add = [&](const PairKernel& k) {
        if (count < capacity) out[count] = k;
        ++count;
    };
#ifdef TIVARNE_X86_KERNELS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) add(avx512::kernel());
    if (__builtin_cpu_supports("avx2")) add(avx2::kernel());
    add(sse2::kernel());
#endif
    add(portable::kernel());
    return count;
}

PairKernel select_pair_kernel() {
    PairKernel k[4];
    available_pair_kernels(k, 4);
    return k[0];
}

}  // namespace tivarne
