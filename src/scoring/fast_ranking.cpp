#include "scoring/fast_ranking.h"

#include <cmath>
#include <limits>
#include <new>

#include "scoring/fast_pairs.h"

namespace tivarne {
namespace {

// The pair count, once the whole table (12 bytes per pair) fits in memory.
std::size_t fitting(std::int64_t pairs) {
    const auto count = static_cast<std::size_t>(pairs);
    if (!fits_in_memory(count * (sizeof(double) + sizeof(std::int32_t)))) throw std::bad_alloc();
    return count;
}

}  // namespace

FastRanking::FastRanking(const PairSpace& space, double* negScore, std::int32_t* rankOrder,
                         std::int64_t nan_count, int threads)
    : space_(space),
      negScore_(negScore),
      rankOrder_(rankOrder),
      npairs_(space.pairs()),
      threads_(threads) {
    const std::int64_t npairs = npairs_;
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
        space_.index().pair_at(rankOrder_[k], i, j);
        const PairValues v = space_.values(i, j);
        // The stored key is the score's own bits; a NaN's is not kept.
        out[t] = {k < numeric_ ? -negScore_[k] : v.score, v.r1, v.r2, i, j, rankOrder_[k]};
    }
}

CompactTable::CompactTable(const PairSpace& space, const Context& context)
    : space_(space),
      threads_(context.threads),
      keys_(fitting(space.pairs())),
      order_(static_cast<std::size_t>(space.pairs())) {
    // Left uninitialised: the scoring pass writes every key, each core
    // touching its own pages.
    nan_count_ = score_pairs_fast(space, keys_.get(), context);
}

FastRanking& CompactTable::ranking() {
    if (!ranking_) ranking_ = std::make_unique<FastRanking>(space_, keys_.get(), order_.get(), nan_count_, threads_);
    return *ranking_;
}

}  // namespace tivarne
