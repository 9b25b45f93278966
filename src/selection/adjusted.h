#pragma once
#include <cstdint>
#include <optional>

#include "core/progress.h"
#include "scoring/pair_space.h"
#include "selection/selection.h"

namespace tivarne {

// The Benjamini-Hochberg cut over every pair's p-value: the largest rank k
// with m p_(k) / k <= level (0 when there is none), and its p-value: a pair
// passes (q <= level) exactly when its p-value is at or below `threshold`.
// At level 1 and above every p-value passes (the threshold is the largest).
struct BhCut {
    std::int64_t m = 0;  // pairs with a p-value
    std::int64_t k = 0;
    double threshold = -1;
};

// The cut on the fast engine, in two scoring passes and memory that does not
// grow with the pairs: a histogram of the ECOR statistic, then the exact
// p-values of the pairs whose ranks could hold the cut.
BhCut bh_cut(const PairSpace& space, double level, const Context& context);

// The selection with Benjamini-Hochberg q-values, or in p-value order, on the
// fast engine, without a table of all pairs: a first scoring pass counts the
// ECOR statistic in a histogram (and keeps the listing's scores); the cut
// follows from the exact p-values of the pairs whose ranks could hold it;
// the selection is the scoring pass's selection at the cut's p-value (in
// score order) or the pairs of smallest p-value; each selected pair's q-value
// needs the smallest m p_(j) / j from its rank on, which the histogram's
// bounds settle except where they are close: those ranks get their exact
// p-values in one more pass. The q-values are those of the plain computation
// over all p-values, bit for bit. Memory grows with the pairs whose p-values
// are needed, not with all pairs. nullopt when equal scores need the ranked
// table of all pairs to be arranged (or the exact p-values needed would not
// fit in `max_exact` values): then the caller ranks the table. The
// selection's p_threshold is the cut's p-value, NaN at level 1 and above
// (every p-value passes; bh_cut finds the largest when it is wanted).
std::optional<Selection> select_adjusted(const PairSpace& space, const Criteria& criteria, Adjust adjust,
                                         Order order, bool listing, const Context& context,
                                         std::int64_t max_exact = std::int64_t{1} << 25);

}  // namespace tivarne
