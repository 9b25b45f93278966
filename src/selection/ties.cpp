#include "selection/ties.h"

#include <algorithm>
#include <cmath>

namespace tivarne {
namespace {

// The scores shared within the selection, and the stop's score, ascending.
std::vector<double> tied_scores(const std::vector<Candidate>& passing, std::size_t wanted, bool stops) {
    const std::size_t considered = stops ? wanted + 1 : passing.size();
    std::vector<double> tied;
    for (std::size_t j = 1; j < considered && j < passing.size(); ++j)
        if (passing[j - 1].score == passing[j].score) tied.push_back(passing[j].score);
    if (stops) tied.push_back(passing[wanted - 1].score);
    std::sort(tied.begin(), tied.end());
    tied.erase(std::unique(tied.begin(), tied.end()), tied.end());
    return tied;
}

// Where each tied score's pairs lie in the ranking: after the `above` pairs
// with a higher score, `equal` of them.
struct TiedGroups {
    std::vector<std::int64_t> above, equal;
};

TiedGroups place_groups(const std::vector<double>& tied, const double* keys, std::int64_t key_count, int threads) {
    // below[c]: keys above exactly c of the tied scores.
    const std::size_t groups = tied.size();
    std::vector<std::int64_t> below(groups + 1, 0);
    TiedGroups g{std::vector<std::int64_t>(groups, 0), std::vector<std::int64_t>(groups, 0)};
#pragma omp parallel num_threads(threads) if (groups > 0)
    {
        std::vector<std::int64_t> b(groups + 1, 0), e(groups, 0);
#pragma omp for schedule(static)
        for (std::int64_t k = 0; k < (groups > 0 ? key_count : 0); ++k) {
            const double score = -keys[k];
            if (score != score) continue;
            const auto c = static_cast<std::size_t>(std::lower_bound(tied.begin(), tied.end(), score) - tied.begin());
            ++b[c];
            if (c < groups && tied[c] == score) ++e[c];
        }
#pragma omp critical
        {
            for (std::size_t c = 0; c <= groups; ++c) below[c] += b[c];
            for (std::size_t c = 0; c < groups; ++c) g.equal[c] += e[c];
        }
    }
    for (std::size_t c = groups; c-- > 0;) g.above[c] = below[c + 1] + (c + 1 < groups ? g.above[c + 1] : 0);
    return g;
}

}  // namespace

bool ties_among(const std::vector<Candidate>& sorted, std::size_t count) {
    for (std::size_t j = 1; j < count && j < sorted.size(); ++j)
        if (sorted[j - 1].score == sorted[j].score) return true;
    return false;
}

ArrangedSelection arrange_selection(const double* keys, std::int64_t key_count,
                                    const std::function<FastRanking&()>& ranked, const PairSpace& space,
                                    const std::vector<Candidate>& passing, std::size_t wanted, double threshold,
                                    int threads) {
    if (wanted == 0) return {};
    const bool stops = passing.size() >= wanted;
    const std::vector<double> tied = tied_scores(passing, wanted, stops);
    const TiedGroups groups = place_groups(tied, keys, key_count, threads);
    auto kept = [&](const Candidate& c) { return selected_pair(c, space.index(), space.p_value(c.r1, c.r2)); };

    ArrangedSelection out;
    std::int64_t no_p_in_group = 0;  // of the last group walked, before the stop
    for (std::size_t j = 0; j < passing.size() && out.selected.size() < wanted;) {
        const double score = passing[j].score;
        std::size_t next = j;
        while (next < passing.size() && passing[next].score == score) ++next;
        const auto g = static_cast<std::size_t>(std::lower_bound(tied.begin(), tied.end(), score) - tied.begin());
        no_p_in_group = 0;
        if (g < tied.size() && tied[g] == score && groups.equal[g] > 1) {
            // The group in the ranking's arrangement; each member's p-value
            // decides, as the walk would.
            FastRanking& ranking = ranked();
            const std::int64_t first = groups.above[g], end = first + groups.equal[g];
            ranking.arrange(first, end);
            for (std::int64_t k = first; k < end && out.selected.size() < wanted; ++k) {
                std::int32_t x, y;
                space.index().pair_at(ranking.position(k), x, y);
                const PairValues v = space.values(x, y);
                const double p = space.p_value(v.r1, v.r2);
                if (std::isnan(p)) ++no_p_in_group;
                if (p <= threshold) out.selected.push_back(kept({v.score, v.r1, v.r2, ranking.position(k)}));
            }
        } else {
            for (std::size_t k = j; k < next && out.selected.size() < wanted; ++k)
                out.selected.push_back(kept(passing[k]));
        }
        j = next;
    }
    if (stops) out.without_p_value_at_stop = no_p_in_group;
    return out;
}

}  // namespace tivarne
