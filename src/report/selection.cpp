#include "report/selection.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "scoring/pval.h"

namespace tivarne {
namespace {

// Ranks fetched and given p-values ahead of the walk: the first batch, which
// doubles up to the last.
constexpr std::int64_t kFirstBatch = 256;
constexpr std::int64_t kLastBatch = 1 << 16;

}  // namespace

SelectedPair selected_pair(const RankedPair& pair, double p_value) {
    SelectedPair s;
    s.gene_x = pair.geneX;
    s.gene_y = pair.geneY;
    s.score = pair.score;
    s.r1 = pair.r1;
    s.r2 = pair.r2;
    s.c = pair.score / std::fabs(pair.r1 - pair.r2);
    s.p_value = p_value;
    s.log10_p = std::log10(p_value);
    return s;
}

WalkOutcome select_pairs(RankedPairs& ranking, const Answers& answers, std::int32_t class1,
                         std::int32_t class2, const Context& context,
                         const std::function<void(const SelectedPair&)>& emit) {
    // The walk takes the ranking in growing batches whose p-values are
    // computed ahead, in parallel; which pairs are examined and selected, and
    // where the walk stops, are decided one rank at a time.
    const double level = answers.level;
    const std::int64_t npairs = ranking.size();
    ProgressReporter& progress = context.progress;
    progress.begin(Phase::Selecting, npairs);
    WalkOutcome outcome;
    std::int32_t selected = 0;
    std::int64_t batch = kFirstBatch;
    std::vector<RankedPair> pairs;
    std::vector<double> pvals;
    bool done = false;
    for (std::int64_t k0 = 0; k0 < npairs && !done; k0 += batch, batch = std::min(2 * batch, kLastBatch)) {
        const std::int64_t k1 = std::min(npairs, k0 + batch);
        const std::int64_t count = k1 - k0;
        pairs.resize(static_cast<std::size_t>(count));
        pvals.resize(static_cast<std::size_t>(count));
        ranking.fetch(k0, k1, pairs.data());
#pragma omp parallel for schedule(static) if (count > 64) num_threads(context.threads)
        for (std::int64_t t = 0; t < count; ++t) {
            double r1 = pairs[t].r1, r2 = pairs[t].r2;
            pvals[t] = get_pval(r1, r2, class1, class2);
        }
        progress.add(count);
        progress.check();
        for (std::int64_t t = 0; t < count; ++t) {
            const double pval = pvals[t];
            ++outcome.examined;
            if (std::isnan(pval)) ++outcome.without_p_value;
            if (!(pval <= level)) continue;
            ++selected;
            emit(selected_pair(pairs[t], pval));
            if (selected >= answers.max_pairs) {
                done = true;
                break;
            }
        }
    }
    progress.end();
    return outcome;
}

}  // namespace tivarne
