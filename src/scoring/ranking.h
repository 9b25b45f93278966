#pragma once
#include <cstdint>
#include <vector>

#include "scoring/pair_table.h"
#include "scoring/ranked_pairs.h"

namespace tivarne {

// Orders the pairs by decreasing score: sorts table.negScore ascending in
// place and leaves in rankOrder[k] the table position of the pair at rank
// k + 1. Pairs whose score is NaN come last, in table order; the others are
// ordered exactly as sort2 orders them when given alone, in table order.
void rank_scores(std::vector<double>& negScore, std::vector<std::int32_t>& rankOrder);

// The ranked view of a fully sorted pair table.
class TableRanking : public RankedPairs {
public:
    TableRanking(const PairTable& table, const std::vector<std::int32_t>& rankOrder)
        : table_(table), rankOrder_(rankOrder) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(table_.negScore.size()); }
    void fetch(std::int64_t k_begin, std::int64_t k_end, RankedPair* out) override;

private:
    const PairTable& table_;
    const std::vector<std::int32_t>& rankOrder_;
};

}  // namespace tivarne
