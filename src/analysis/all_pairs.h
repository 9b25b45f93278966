#pragma once
// The statistics over all pairs that Options::gene_summary and
// Options::histograms ask for, delivered into the Result.
#include <memory>

#include "core/progress.h"
#include "scoring/pair_space.h"
#include "selection/gene_summary.h"
#include "tivarne/tivarne.h"

namespace tivarne {

bool all_pairs_asked(const Options& options);

// A collector to ride along a OnePass at the criteria's level (null when
// nothing is asked for).
std::unique_ptr<AllPairsCollector> one_pass_collector(const PairSpace& space, const Criteria& criteria,
                                                      const Options& options, const Context& context);

// The gene table, the histograms and the counts into `result` from a
// collector that saw every pair, with `threshold` the p-value cut.
void deliver_all_pairs(const AllPairsCollector& collector, const PairSpace& space, double threshold,
                       const Options& options, Result& result);

// A pass of its own when the selection could not take the collector along:
// `threshold` is the selection's p-value cut, or NaN when it did not find one
// (then the level, or with Adjust::BH the cut found by the adjusted
// selection).
void all_pairs_pass(const PairSpace& space, const Criteria& criteria, const Options& options,
                    const Context& context, double threshold, Result& result);

}  // namespace tivarne
