#pragma once
#include <cstddef>
#include <cstdint>

namespace tivarne {

// What a scoring kernel reads: both classes' terms and the output table.
struct KernelInput {
    std::int32_t genes;
    struct Class {
        const double* by_sample;  // a_g[s] at s * ld + g
        std::size_t ld;
        std::int32_t m;
        const double* D;
        const double* bivar;
    } cls[2];
    double* negScore;
};

// Scores the pairs (i, k) with i in [i0, i0 + rows) and k in (i, genes) and in
// [k_begin, k_end): writes -score at each pair's position and returns the
// number of NaN scores. rows is at most PairKernel::rows; k_begin is a
// multiple of kPanelAlign, k_end is a multiple of it or the gene count.
using ScoreRowsFn = std::int64_t (*)(const KernelInput&, std::int32_t i0, std::int32_t rows,
                                     std::int32_t k_begin, std::int32_t k_end);

// Every kernel's tile width divides this.
constexpr std::int32_t kPanelAlign = 48;

struct PairKernel {
    const char* name;
    ScoreRowsFn score_rows;
    std::int32_t rows;  // rows per call
};

// The widest kernel this processor runs: on x86-64 AVX-512, AVX2 or SSE2;
// elsewhere the portable one (GCC vectors of two doubles, no intrinsics).
PairKernel select_pair_kernel();
// Every kernel this processor can run, widest first, the portable one last
// (for tests and benchmarks). Returns how many there are.
int available_pair_kernels(PairKernel* out, int capacity);

}  // namespace tivarne
