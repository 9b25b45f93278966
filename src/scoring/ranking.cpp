#include "scoring/ranking.h"

#include <cmath>
#include <cstdio>
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
                            table_.geneY[p]};
    }
}

void print_ranking_listing(RankedPairs& ranking) {
    std::putchar('\n');
    std::puts("ranking: (up to 100th)");
    std::puts("(rank,score,geneX,geneY,r1,r2,c)");
    const std::int64_t shown = ranking.size() < 100 ? ranking.size() : 100;
    std::vector<RankedPair> top(static_cast<std::size_t>(shown));
    ranking.fetch(0, shown, top.data());
    for (std::int64_t k = 0; k < shown; ++k) {
        const RankedPair& e = top[k];
        const double c = e.score / std::fabs(e.r1 - e.r2);
        std::printf("%d %.2f %d %d %.2f %.2f %.2f\n", static_cast<int>(k + 1), e.score, e.geneX,
                    e.geneY, e.r1, e.r2, c);
    }
}

void rank_pairs(PairTable& table, std::vector<std::int32_t>& rankOrder) {
    rank_scores(table.negScore, rankOrder);
    TableRanking ranking(table, rankOrder);
    print_ranking_listing(ranking);
}

}  // namespace tivarne
