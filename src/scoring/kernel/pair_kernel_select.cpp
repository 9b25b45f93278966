#include "scoring/kernel/pair_kernel.h"

namespace tivarne {
namespace avx512 {
extern const PairKernel kernel;
}
namespace avx2 {
extern const PairKernel kernel;
}
namespace sse2 {
extern const PairKernel kernel;
}

int available_pair_kernels(const PairKernel** out, int capacity) {
    int count = 0;
    auto add = [&](const PairKernel& k) {
        if (count < capacity) out[count] = &k;
        ++count;
    };
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) add(avx512::kernel);
    if (__builtin_cpu_supports("avx2")) add(avx2::kernel);
    add(sse2::kernel);
    return count;
}

const PairKernel& select_pair_kernel() {
    static const PairKernel* chosen = [] {
        const PairKernel* k[3];
        available_pair_kernels(k, 3);
        return k[0];
    }();
    return *chosen;
}

}  // namespace tivarne
