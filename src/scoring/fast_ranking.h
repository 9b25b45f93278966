#pragma once
#include <cstdint>
#include <memory>

#include "core/progress.h"
#include "scoring/big_array.h"
#include "scoring/lazy_rank.h"
#include "scoring/pair_space.h"
#include "scoring/ranked_pairs.h"

namespace tivarne {

// The ranking of the compact pair table: per pair only the negated score and
// the rank index are stored; gene numbers come from the pair's position and
// r1, r2 are recomputed (the same bits) for the pairs that are shown.
// Pairs with a NaN score rank last, in table order; the others are ordered as
// sort2 orders them, sorted lazily as far as the ranks fetched.
class FastRanking : public RankedPairs {
public:
    // negScore holds the scoring pass's keys of all pairs, of which nan_count
    // are NaN; rankOrder has room for as many entries. Both are reordered in
    // place.
    FastRanking(const PairSpace& space, double* negScore, std::int32_t* rankOrder, std::int64_t nan_count,
                int threads);

    std::int64_t size() const override { return npairs_; }
    void fetch(std::int64_t k_begin, std::int64_t k_end, RankedPair* out) override;

    // The pairs with a numeric score come first; their keys, in no
    // particular order until arranged.
    std::int64_t numeric() const { return numeric_; }
    const double* keys() const { return negScore_; }
    // Makes ranks [k_begin, k_end) final (numeric ones only), and the pair
    // position at a final rank.
    void arrange(std::int64_t k_begin, std::int64_t k_end) { lazy_->ensure(k_begin, k_end); }
    std::int64_t position(std::int64_t k) const { return rankOrder_[k]; }

private:
    const PairSpace& space_;
    double* negScore_;
    std::int32_t* rankOrder_;
    std::int64_t npairs_;
    std::int64_t numeric_;  // keys that are not NaN, ranked first
    int threads_;
    std::unique_ptr<LazyRanking> lazy_;
};

// The compact table of all pairs, 12 bytes per pair: the negated score and
// the rank index. The constructor scores every pair into it; ranking() ranks
// it on first use.
class CompactTable {
public:
    CompactTable(const PairSpace& space, const Context& context);
    FastRanking& ranking();

private:
    const PairSpace& space_;
    int threads_;
    BigArray<double> keys_;
    BigArray<std::int32_t> order_;
    std::int64_t nan_count_;
    std::unique_ptr<FastRanking> ranking_;
};

}  // namespace tivarne
