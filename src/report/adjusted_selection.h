#pragma once
#include <cstdint>
#include <vector>

#include "core/progress.h"
#include "stats/biweight_terms.h"
#include "tivarne/tivarne.h"

namespace tivarne {

struct AdjustedOutcome {
    std::vector<PairScore> top_pairs;
    std::vector<SelectedPair> selected;
    std::int64_t without_p_value = 0;
    std::int64_t tested = 0;
};

// The selection with Benjamini-Hochberg q-values, or in p-value order, on the
// fast engine, in one scoring pass and 16 bytes per pair: each pair's score
// and a 4-byte hint of its ECOR statistic go to tables; a histogram of the
// hints places the cut (the largest rank k with m p_(k) / k <= level, or the
// level itself); only the pairs whose hint puts them near or above the cut get
// their exact p-value, and the histogram's bounds prove that no pair below
// them could have changed the cut. The q-values are then those of the plain
// computation over all p-values, bit for bit. The listing (top_pairs) only
// when `listing` asks for it.
AdjustedOutcome select_adjusted(const ClassTerms terms[2], std::int32_t genes,
                                const Criteria& answers, Adjust adjust, Order order, bool listing,
                                const Context& context);

}  // namespace tivarne
