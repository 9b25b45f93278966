#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "core/progress.h"
#include "scoring/ranked_pairs.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// The pair as the result shows it: c recovered as score / |r1 - r2|, and the
// p-value with its base-10 logarithm.
SelectedPair selected_pair(const RankedPair& pair, double p_value);

// The best kListingLength pairs of the ranking, c recovered from the score.
std::vector<PairScore> listing_of(RankedPairs& ranking);

struct WalkOutcome {
    std::int64_t examined = 0;         // pairs looked at, from the best down
    std::int64_t without_p_value = 0;  // of those, pairs with no p-value
};

// Walks the ranking from the best pair down, computing each pair's ECOR
// p-value, and hands every pair with p <= level to `emit` in rank order, until
// max_pairs pairs were handed over (the first always is). class1, class2 are
// the class sizes the p-value is formed with.
WalkOutcome select_pairs(RankedPairs& ranking, const Criteria& answers, std::int32_t class1,
                         std::int32_t class2, const Context& context,
                         const std::function<void(const SelectedPair&)>& emit);

// The same walk in the given order and with the given adjustment, taking the
// p-value of every pair first (the straightforward way: 24 bytes per pair).
// With Adjust::BH a pair qualifies when its q-value is at or below the level;
// `tested` receives the number of pairs with a p-value.
WalkOutcome select_pairs_adjusted(RankedPairs& ranking, const Criteria& answers, Adjust adjust,
                                  Order order, std::int32_t class1, std::int32_t class2,
                                  const Context& context,
                                  const std::function<void(const SelectedPair&)>& emit,
                                  std::int64_t& tested);

}  // namespace tivarne
