#pragma once
#include "core/progress.h"
#include "scoring/pair_space.h"
#include "selection/selection.h"

namespace tivarne {

// The selection with Benjamini-Hochberg q-values, or in p-value order, on the
// fast engine, in one scoring pass and 16 bytes per pair: each pair's score
// and a 4-byte hint of its ECOR statistic go to tables; a histogram of the
// hints places the cut (the largest rank k with m p_(k) / k <= level, or the
// level itself); only the pairs whose hint puts them near or above the cut get
// their exact p-value, and the histogram's bounds prove that no pair below
// them could have changed the cut. The q-values are then those of the plain
// computation over all p-values, bit for bit. The listing only when `listing`
// asks for it.
Selection select_adjusted(const PairSpace& space, const Criteria& criteria, Adjust adjust, Order order,
                          bool listing, const Context& context);

}  // namespace tivarne
