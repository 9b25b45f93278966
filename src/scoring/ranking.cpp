#include "scoring/ranking.h"

#include <cmath>
#include <utility>

#include "scoring/sort2.h"

namespace tivarne {

void rank_scores(std::vector<double>& negScore, std::vector<std::int32_t>& rankOrder) {
    const auto L = static_cast<std::int32_t>(negScore.size());
    rankOrder.clear();
    rankOrder.reserve(negScore.size());
    for (std::int32_t k = 0; k < L; ++k) rankOrder.push_back(k);

    // NaN keys would break the comparisons of sort2: move them behind the
    // numeric keys, both groups keeping table order (and the NaNs their bits),
    // and sort the numeric front alone.
    std::vector<std::pair<double, std::int32_t>> nans;
    std::int32_t numeric = 0;
    for (std::int32_t k = 0; k < L; ++k) {
        if (std::isnan(negScore[k])) {
            nans.emplace_back(negScore[k], k);
        } else {
            negScore[numeric] = negScore[k];
            rankOrder[numeric] = k;
            ++numeric;
        }
    }
    std::int32_t back = numeric;
    for (const auto& [key, position] : nans) {
        negScore[back] = key;
        rankOrder[back] = position;
        ++back;
    }
    sort2(negScore.data(), rankOrder.data(), numeric);
}

void TableRanking::fetch(std::int64_t k_begin, std::int64_t k_end, RankedPair* out) {
    for (std::int64_t k = k_begin; k < k_end; ++k) {
        const std::int32_t p = rankOrder_[k];
        out[k - k_begin] = {-table_.negScore[k], table_.r1[p], table_.r2[p], table_.geneX[p],
                            table_.geneY[p], p};
    }
}

}  // namespace tivarne
