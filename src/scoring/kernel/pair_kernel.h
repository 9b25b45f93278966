#pragma once
#include <cstddef>
#include <cstdint>

#include "stats/padding.h"

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
        // The partner genes k_begin .. k_end - 1 of the call, copied tile by
        // tile (PairKernel::tile genes a tile): gene k_begin + j * tile + l
        // at panel[(j * m + s) * tile + l], so that a tile's samples are one
        // stream.
        const double* panel = nullptr;
        // The row genes i0 .. i0 + PairKernel::rows - 1 of the call: gene
        // i0 + r at rows[s * PairKernel::rows + r].
        const double* rows = nullptr;
    } cls[2];
    // Table mode (score_rows): -score at each pair's position, and when
    // `hint` is set, a hint of the pair's ECOR statistic T there: NaN when
    // the pair has no p-value, +infinity when T is (p = 0) or the hint is
    // unsure, else T within a relative 1e-6 (class sizes from `level`).
    double* negScore = nullptr;
    float* hint = nullptr;
    const struct EcorLevel* level = nullptr;
    // Block mode (score_block): score, r1 and r2 of pair (i0 + r, k) at
    // r * block_width + k - k_begin of each array.
    double* block_score = nullptr;
    double* block_r1 = nullptr;
    double* block_r2 = nullptr;
    std::int64_t block_width = 0;
};

// What deciding p <= level needs of the ECOR statistic T (ecor_filter.h makes
// it): the class sizes, and the bounds of T beyond which the decision is sure.
struct EcorLevel {
    double m1, m2;  // the class sizes
    double n12;     // their sum, summed as integers
    double t_fail;  // T <= t_fail: p > level
    double t_pass;  // T >= t_pass: p <= level
    bool finite_passes;  // level >= 1: every p-value passes
    bool zero_passes;    // level >= 0: p = 0 passes
};

// A pair's decision: p > level, p <= level, no p-value, or too close to the
// level to tell without the exact p-value.
enum EcorDecision : std::uint8_t { kEcorFail = 0, kEcorPass = 1, kEcorNone = 2, kEcorUnsure = 3 };

// Scores the pairs (i, k) with i in [i0, i0 + rows) and k in (i, genes) and in
// [k_begin, k_end), writes them as the mode says and returns the number of
// NaN scores. rows is at most PairKernel::rows; k_begin is a
// multiple of kPanelAlign, k_end is a multiple of it or the gene count.
using ScoreRowsFn = std::int64_t (*)(const KernelInput&, std::int32_t i0, std::int32_t rows,
                                     std::int32_t k_begin, std::int32_t k_end);

// Decides count pairs from their r1 and r2; never contradicts the exact
// p-value: kEcorPass and kEcorFail are sure, kEcorNone exactly when there is
// no p-value.
using ClassifyFn = void (*)(const EcorLevel&, const double* r1, const double* r2,
                            std::int32_t count, std::uint8_t* decision);

// The ECOR statistic T of count pairs from their r1 and r2 (sizes from the
// level; its bounds unused): NaN when a pair has no p-value, +infinity when T
// is infinite (p = 0) or the fast form cannot vouch for it, otherwise within
// 1e-9 * (1 + T) of the exact routine's T.
using HintsFn = void (*)(const EcorLevel&, const double* r1, const double* r2, std::int32_t count, double* T);

// Partner panels start at multiples of the genes' padding in the terms, which
// every kernel's tile width divides (each kernel asserts it).
constexpr std::int32_t kPanelAlign = static_cast<std::int32_t>(kGenePadding);

// A hint h stands for a statistic within kHintSlack * (1 + |h|) of it (also
// when h has been rounded to a float).
constexpr double kHintSlack = 1e-6;

struct PairKernel {
    const char* name;
    ScoreRowsFn score_rows;   // table mode
    ScoreRowsFn score_block;  // block mode
    ClassifyFn classify;
    std::int32_t rows;  // rows per call
    HintsFn hints;
    std::int32_t tile;  // partner genes per tile of the packed panel
};

// The widest kernel this processor runs: on x86-64 AVX-512, AVX2 or SSE2;
// elsewhere the portable one (GCC vectors of two doubles, no intrinsics).
PairKernel select_pair_kernel();
// Every kernel this processor can run, widest first, the portable one last
// (for tests and benchmarks). Returns how many there are.
int available_pair_kernels(PairKernel* out, int capacity);

}  // namespace tivarne
