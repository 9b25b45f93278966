#pragma once
// Equal scores: the one thing a bounded selection cannot place. Their order
// is what the ranking sort makes of the whole table, so the pairs that share
// a score are put in place through the ranked table.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "scoring/fast_ranking.h"
#include "scoring/pair_space.h"
#include "selection/selection.h"

namespace tivarne {

// Whether two of the first `count` entries (best first) have equal scores.
bool ties_among(const std::vector<Candidate>& sorted, std::size_t count);

// The selection as the walk down the ranking makes it, from `passing` (best
// first): the pairs whose p-value is at or below `threshold`, all of them
// down to the wanted-th (the stop) when there are that many. Pairs that share
// a score are put in the ranking's arrangement through the ranked table, each
// member of such a group decided by its exact p-value.
struct ArrangedSelection {
    std::vector<SelectedPair> selected;
    // Pairs without a p-value that share the stop's score and come before it.
    std::int64_t without_p_value_at_stop = 0;
};
// keys: the negated scores of the table (NaN ones are skipped); `ranking`
// gives the ranked table when a group needs arranging.
ArrangedSelection arrange_selection(const double* keys, std::int64_t key_count,
                                    const std::function<FastRanking&()>& ranking, const PairSpace& space,
                                    const std::vector<Candidate>& passing, std::size_t wanted, double threshold,
                                    int threads);

}  // namespace tivarne
