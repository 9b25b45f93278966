#pragma once
#include <cstdint>
#include <vector>

#include "core/progress.h"
#include "stats/biweight_terms.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// The listing and the selection found in the scoring pass itself, without the
// table of all pairs: each thread keeps the best pairs it has seen (for the
// listing) and the best pairs whose p-value passes (for the selection); a pair
// below both cuts is dropped at once, and whether a p-value passes is settled
// by the kernels' bound on the ECOR statistic, with the exact p-value only near
// the level.
//
// What a bounded selection cannot know is how the ranking sort arranges equal
// scores. When equal scores touch the listed or the selected pairs, the pair
// where the walk would stop, or the count of pairs without a p-value before
// it, the outcome is not usable and the caller ranks the full table instead.
struct OnePassOutcome {
    bool usable = false;
    std::vector<PairScore> top_pairs;      // the listing, c recovered from the score
    std::vector<SelectedPair> selected;    // in rank order
    std::int64_t without_p_value = 0;      // as the walk down the ranking counts them
};

// Whether a selection of max_pairs pairs is small enough to be kept per
// thread (otherwise the table is cheaper).
bool one_pass_fits(std::int32_t max_pairs);

OnePassOutcome select_in_one_pass(const ClassTerms terms[2], std::int32_t genes,
                                  const Answers& answers, const Context& context);

}  // namespace tivarne
