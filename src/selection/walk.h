#pragma once
// The walk down a ranked table of all pairs: the straightforward selection,
// and the fast engine's when nothing quicker can tell.
#include "core/progress.h"
#include "scoring/pair_space.h"
#include "scoring/ranked_pairs.h"
#include "selection/selection.h"

namespace tivarne {

// Walks the ranking from the best pair down, computing each pair's ECOR
// p-value, and hands every pair with p <= level to `sink` (into
// Selection::pairs without one) in rank order, until max_pairs pairs were
// selected (the first always is).
Selection walk_ranking(RankedPairs& ranking, const Criteria& criteria, const PValueSizes& sizes,
                       const Context& context, const PairSink& sink = {});

// The same walk in the given order and with the given adjustment, taking the
// p-value of every pair first (the plain way: 24 bytes per pair). With
// Adjust::BH a pair qualifies when its q-value is at or below the level.
Selection walk_all_p_values(RankedPairs& ranking, const Criteria& criteria, Adjust adjust, Order order,
                            const PValueSizes& sizes, const Context& context, const PairSink& sink = {});

}  // namespace tivarne
