#include "selection/listing.h"

#include <algorithm>
#include <cmath>

#include "scoring/scoring.h"
#include "selection/ties.h"

namespace tivarne {

std::vector<PairScore> first_pairs(const PairSpace& space) {
    std::vector<PairScore> listed;
    for (std::int64_t p = 0; p < space.pairs() && p < kListingLength; ++p) {
        std::int32_t i, k;
        space.index().pair_at(p, i, k);
        const PairValues v = space.values(i, k);
        listed.push_back({i, k, v.score, v.r1, v.r2, v.c});
    }
    return listed;
}

std::vector<PairScore> first_pairs(const PairTable& table, const StatMatrix& bivar) {
    std::vector<PairScore> listed;
    for (std::size_t p = 0; p < table.negScore.size() && p < kListingLength; ++p) {
        const std::int32_t i = table.geneX[p], k = table.geneY[p];
        const double c = pair_weight(bivar(i, 0), bivar(i, 1), bivar(k, 0), bivar(k, 1));
        listed.push_back({i, k, -table.negScore[p], table.r1[p], table.r2[p], c});
    }
    return listed;
}

std::vector<PairScore> listing_of(RankedPairs& ranking) {
    const std::int64_t shown = std::min<std::int64_t>(ranking.size(), kListingLength);
    std::vector<RankedPair> top(static_cast<std::size_t>(shown));
    ranking.fetch(0, shown, top.data());
    std::vector<PairScore> listed;
    for (const RankedPair& e : top)
        listed.push_back({e.geneX, e.geneY, e.score, e.r1, e.r2, e.score / std::fabs(e.r1 - e.r2)});
    return listed;
}

bool listing_without_table(const ListingScores::Merged& scores, const PairSpace& space,
                           std::vector<PairScore>& listing) {
    const std::int64_t npairs = space.pairs();
    const std::int64_t numeric = npairs - scores.nans;
    const std::int64_t shown = std::min<std::int64_t>(kListingLength, npairs);
    const std::int64_t shown_numeric = std::min(shown, numeric);
    if (ties_among(scores.best, static_cast<std::size_t>(std::min<std::int64_t>(kListingLength + 1, numeric))))
        return false;
    // NaN scores are all alike; the table arranges them.
    if (shown > shown_numeric && scores.nans > 1) return false;
    listing.clear();
    for (std::int64_t k = 0; k < shown; ++k) {
        const std::int64_t position =
            k < shown_numeric ? scores.best[static_cast<std::size_t>(k)].position : scores.first_nan;
        std::int32_t i, j;
        space.index().pair_at(position, i, j);
        const PairValues v = space.values(i, j);
        listing.push_back({i, j, v.score, v.r1, v.r2, v.score / std::fabs(v.r1 - v.r2)});
    }
    return true;
}

}  // namespace tivarne
