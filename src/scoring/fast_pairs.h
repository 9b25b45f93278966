#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/progress.h"
#include "scoring/kernel/pair_kernel.h"
#include "stats/biweight_terms.h"

namespace tivarne {

// Everything the result of a pair can be recomputed from.
struct PairValues {
    double r1, r2, c, score;
};

// Position of pair (i, k), i < k, in row-major upper-triangle order.
inline std::int64_t pair_position(std::int64_t genes, std::int64_t i, std::int64_t k) {
    return i * genes - i * (i + 1) / 2 + (k - i - 1);
}

// The pair (i, k) at position p (the inverse of pair_position).
void pair_at_position(std::int64_t genes, std::int64_t p, std::int32_t& i, std::int32_t& k);

// r1, r2, c and the score of pair (i, k) from the per-gene terms; the same
// bits as the direct per-pair computation and as the SIMD scoring pass.
PairValues pair_values(const ClassTerms terms[2], std::int32_t i, std::int32_t k);

// Partner-gene terms kept hot per core while the rows stream past them (half of
// a 1 MiB L2 cache: the best of 256 KiB to 2 MiB at 20,000 genes x 100 samples).
constexpr std::size_t kPanelBytes = 1 << 19;

// Partner genes per panel: as many as fit in panel_bytes, in whole kernel tiles.
std::int32_t partner_panel_width(const ClassTerms terms[2], std::size_t panel_bytes);

// The kernels' view of both classes' terms (no output set).
KernelInput kernel_input(const ClassTerms terms[2], std::int32_t genes);

// Scores one block of rows i0 .. i0 + rows - 1 against partners k_begin ..
// k_end - 1 on the given thread (0 .. threads - 1); returns its NaN scores.
using RowBlockFn = std::function<std::int64_t(int thread, std::int32_t i0, std::int32_t rows,
                                              std::int32_t k_begin, std::int32_t k_end)>;

// Every pair exactly once, in blocks of at most `rows` rows against partner
// panels of `panel` genes, shared by the threads; counts the pairs to the
// progress and stops early when asked to. Returns the NaN scores counted.
std::int64_t for_each_row_block(std::int32_t genes, std::int32_t rows, std::int32_t panel,
                                const Context& context, const RowBlockFn& score);

// The scoring pass: negScore[p] = -score of the pair at position p, for all
// genes*(genes-1)/2 pairs, in parallel. Returns the number of NaN scores.
// Stops early, leaving the table incomplete, when a stop is asked for.
std::int64_t score_pairs_fast(const ClassTerms terms[2], std::int32_t genes, double* negScore,
                              const Context& context, std::size_t panel_bytes = kPanelBytes);

}  // namespace tivarne
