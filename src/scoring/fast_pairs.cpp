#include "scoring/fast_pairs.h"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "scoring/kernel/pair_kernel.h"
#include "stats/bicov.h"

namespace tivarne {
namespace scalar {

inline double vsqrt(double x) { return std::sqrt(x); }
inline double vabs(double x) { return std::fabs(x); }
inline double vmax_gt(double a, double b) { return a > b ? a : b; }
inline double vinvert_gt(double c) { return c > 1.0 ? 1.0 / c : c; }

#include "scoring/pair_math.inc"

}  // namespace scalar

namespace {

// Pairs (i, k), i < k, with i0 <= i < i0 + rows and k_begin <= k < k_end.
std::int64_t block_pairs(std::int32_t i0, std::int32_t rows, std::int32_t k_begin, std::int32_t k_end) {
    std::int64_t pairs = 0;
    for (std::int32_t i = i0; i < i0 + rows; ++i) pairs += k_end - (i + 1 > k_begin ? i + 1 : k_begin);
    return pairs;
}

}  // namespace

void pair_at_position(std::int64_t genes, std::int64_t p, std::int32_t& i, std::int32_t& k) {
    // Row i starts at i*genes - i*(i+1)/2; estimate i from the quadratic and
    // correct by whole rows.
    const double g = static_cast<double>(genes);
    const double b = 2 * g - 1;
    auto row_start = [genes](std::int64_t r) { return r * genes - r * (r + 1) / 2; };
    std::int64_t r = static_cast<std::int64_t>((b - std::sqrt(b * b - 8.0 * static_cast<double>(p))) / 2);
    if (r < 0) r = 0;
    if (r > genes - 2) r = genes - 2;
    while (r > 0 && row_start(r) > p) --r;
    while (r + 1 <= genes - 2 && row_start(r + 1) <= p) ++r;
    i = static_cast<std::int32_t>(r);
    k = static_cast<std::int32_t>(p - row_start(r) + r + 1);
}

PairValues pair_values(const ClassTerms terms[2], std::int32_t i, std::int32_t k) {
    double r[2];
    for (int c = 0; c < 2; ++c) {
        const ClassTerms& t = terms[c];
        const std::size_t m = static_cast<std::size_t>(t.m);
        const double* ai = t.by_gene.data() + static_cast<std::size_t>(i) * m;
        const double* ak = t.by_gene.data() + static_cast<std::size_t>(k) * m;
        double P = 0;
        for (std::size_t s = 0; s < m; ++s) P = P + ai[s] * ak[s];
        r[c] = scalar::class_correlation(P, t.D[i], t.D[k], t.bivar[i], t.bivar[k],
                                         static_cast<double>(t.m));
    }
    PairValues v;
    v.r1 = r[0];
    v.r2 = r[1];
    v.c = scalar::pair_weight_of(terms[0].bivar[i], terms[1].bivar[i], terms[0].bivar[k],
                                 terms[1].bivar[k]);
    v.score = scalar::pair_score_of(v.c, v.r1, v.r2);
    return v;
}

std::int32_t partner_panel_width(const ClassTerms terms[2], std::size_t panel_bytes) {
    const std::size_t bytes_per_gene = 8 * static_cast<std::size_t>(terms[0].m + terms[1].m) + 1;
    const std::size_t fit = panel_bytes / bytes_per_gene / kPanelAlign * kPanelAlign;
    return fit < static_cast<std::size_t>(kPanelAlign) ? kPanelAlign
                                                       : static_cast<std::int32_t>(std::min<std::size_t>(fit, 1 << 24));
}

KernelInput kernel_input(const ClassTerms terms[2], std::int32_t genes) {
    KernelInput in;
    in.genes = genes;
    for (int c = 0; c < 2; ++c) {
        in.cls[c].by_sample = terms[c].by_sample.data();
        in.cls[c].ld = terms[c].ld;
        in.cls[c].m = terms[c].m;
        in.cls[c].D = terms[c].D.data();
        in.cls[c].bivar = terms[c].bivar.data();
    }
    return in;
}

std::int64_t for_each_row_block(std::int32_t genes, std::int32_t rows, std::int32_t panel,
                                const Context& context, const RowBlockFn& score) {
    // Partner genes are taken in panels that stay in the core's L2 cache
    // while every row block above them streams past. The last panels have
    // the most rows: hand them out first so that the cores finish together.
    const std::int32_t panels = genes < 2 ? 0 : (genes + panel - 1) / panel;
    std::int64_t nan_count = 0;
    ProgressReporter& progress = context.progress;
#pragma omp parallel for schedule(dynamic, 1) reduction(+ : nan_count) num_threads(context.threads)
    for (std::int32_t q = 0; q < panels; ++q) {
        const int thread = omp_get_thread_num();
        const std::int32_t k_begin = (panels - 1 - q) * panel;
        const std::int32_t k_end = k_begin + panel < genes ? k_begin + panel : genes;
        for (std::int32_t i0 = 0; i0 < k_end - 1 && !progress.stopped(); i0 += rows) {
            const std::int32_t count = k_end - 1 - i0 < rows ? k_end - 1 - i0 : rows;
            nan_count += score(thread, i0, count, k_begin, k_end);
            progress.add(block_pairs(i0, count, k_begin, k_end));
        }
    }
    return nan_count;
}

std::int64_t score_pairs_fast(const ClassTerms terms[2], std::int32_t genes, double* negScore,
                              const Context& context, std::size_t panel_bytes) {
    const PairKernel kernel = select_pair_kernel();
    KernelInput in = kernel_input(terms, genes);
    in.negScore = negScore;
    return for_each_row_block(genes, kernel.rows, partner_panel_width(terms, panel_bytes), context,
                              [&](int, std::int32_t i0, std::int32_t count, std::int32_t k_begin,
                                  std::int32_t k_end) {
                                  return kernel.score_rows(in, i0, count, k_begin, k_end);
                              });
}

}  // namespace tivarne
