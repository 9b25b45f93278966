#include "analysis/all_pairs.h"

#include <cmath>
#include <vector>

#include "selection/adjusted.h"

namespace tivarne {

bool all_pairs_asked(const Options& options) { return options.gene_summary || options.histograms; }

std::unique_ptr<AllPairsCollector> one_pass_collector(const PairSpace& space, const Criteria& criteria,
                                                      const Options& options, const Context& context) {
    if (!all_pairs_asked(options)) return nullptr;
    return std::make_unique<AllPairsCollector>(space, criteria.level, options.gene_summary, options.histograms,
                                               context.threads, true);
}

void deliver_all_pairs(const AllPairsCollector& collector, const PairSpace& space, double threshold,
                       const Options& options, Result& result) {
    result.considered = space.pairs();
    result.p_threshold = threshold;
    if (options.histograms) result.histograms = collector.histograms();
    if (!options.gene_summary) return;
    const GeneCounts counts = collector.genes();
    result.passing = counts.passing;
    const std::vector<std::int64_t> partners(static_cast<std::size_t>(space.genes()), space.genes() - 1);
    result.gene_summary = gene_table(counts, partners, space.pairs());
}

void all_pairs_pass(const PairSpace& space, const Criteria& criteria, const Options& options,
                    const Context& context, double threshold, Result& result) {
    if (!all_pairs_asked(options)) return;
    if (std::isnan(threshold))
        threshold = options.adjust == Adjust::BH
                        ? bh_cut(space, criteria.level, context).threshold
                        : criteria.level;
    AllPairsCollector collector(space, threshold, options.gene_summary, options.histograms, context.threads);
    context.progress.begin(Phase::Scoring, space.pairs());
    collect_all_pairs(space, context, collector);
    context.progress.end();
    if (context.progress.stopped()) return;
    deliver_all_pairs(collector, space, threshold, options, result);
}

}  // namespace tivarne
