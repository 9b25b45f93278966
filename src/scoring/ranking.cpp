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

void rank_pairs(PairTable& table, std::vector<std::int32_t>& rankOrder) {
    std::putchar('\n');
    std::puts("ranking: (up to 100th)");
    std::puts("(rank,score,geneX,geneY,r1,r2,c)");
    rank_scores(table.negScore, rankOrder);
    const auto npairs = static_cast<std::int32_t>(table.negScore.size());
    for (std::int32_t k = 0; k <= 99 && k < npairs; ++k) {
        const std::int32_t p = rankOrder[k];
        const double score = -table.negScore[k];
        const double c = score / std::fabs(table.r1[p] - table.r2[p]);
        std::printf("%d %.2f %d %d %.2f %.2f %.2f\n", k + 1, score, table.geneX[p], table.geneY[p],
                    table.r1[p], table.r2[p], c);
    }
}

}  // namespace tivarne
