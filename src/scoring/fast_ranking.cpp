#include "scoring/fast_ranking.h"

#include <cmath>
#include <limits>

#include "scoring/fast_pairs.h"

namespace tivarne {

FastRanking::FastRanking(const ClassTerms terms[2], std::int32_t genes, double* negScore,
                         std::int32_t* rankOrder, std::int64_t npairs, std::int64_t nan_count,
                         int threads)
    : terms_(terms),
      genes_(genes),
      negScore_(negScore),
      rankOrder_(rankOrder),
      npairs_(npairs),
      threads_(threads) {
    if (nan_count == 0) {
#pragma omp parallel for schedule(static) num_threads(threads)
        for (std::int64_t k = 0; k < npairs; ++k) rankOrder[k] = static_cast<std::int32_t>(k);
        numeric_ = npairs;
    } else {
        // Numeric keys to the front, in table order; then the positions of the
        // NaN keys, in table order, found as the gaps between the front's.
        std::int64_t front = 0;
        for (std::int64_t k = 0; k < npairs; ++k) {
            if (std::isnan(negScore[k])) continue;
            negScore[front] = negScore[k];
            rankOrder[front] = static_cast<std::int32_t>(k);
            ++front;
        }
        numeric_ = front;
        std::int64_t back = front, next_numeric = 0;
        for (std::int64_t k = 0; k < npairs; ++k) {
            if (next_numeric < front && rankOrder[next_numeric] == k) {
                ++next_numeric;
                continue;
            }
            rankOrder[back] = static_cast<std::int32_t>(k);
            negScore[back] = std::numeric_limits<double>::quiet_NaN();  // recomputed when shown
            ++back;
        }
    }
    lazy_ = std::make_unique<LazyRanking>(negScore, rankOrder, numeric_, threads);
}

void FastRanking::fetch(std::int64_t k_begin, std::int64_t k_end, RankedPair* out) {
    lazy_->ensure(k_end < numeric_ ? k_end : numeric_);
    const std::int64_t count = k_end - k_begin;
#pragma omp parallel for schedule(static) if (count > 256) num_threads(threads_)
    for (std::int64_t t = 0; t < count; ++t) {
        const std::int64_t k = k_begin + t;
        std::int32_t i, j;
        pair_at_position(genes_, rankOrder_[k], i, j);
        const PairValues v = pair_values(terms_, i, j);
        // The stored key is the score's own bits; a NaN's is not kept.
        out[t] = {k < numeric_ ? -negScore_[k] : v.score, v.r1, v.r2, i, j, rankOrder_[k]};
    }
}

}  // namespace tivarne
