#include "selection/walk.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <vector>

#include "selection/bh.h"

namespace tivarne {
namespace {

// Ranks fetched and given p-values ahead of the walk: the first batch, which
// doubles up to the last.
constexpr std::int64_t kFirstBatch = 256;
constexpr std::int64_t kLastBatch = 1 << 16;

// Keeps a selected pair: to the sink, or into the selection.
void keep(Selection& selection, const PairSink& sink, const SelectedPair& pair) {
    if (sink)
        sink(pair);
    else
        selection.pairs.push_back(pair);
}

// Smallest p-value first; equal p-values by score, best first, then in pair
// order; pairs without a p-value last.
void sort_by_p_value(std::vector<std::int64_t>& walk, const std::vector<double>& pvals,
                     const std::vector<double>& scores, const std::vector<std::int64_t>& positions) {
    std::sort(walk.begin(), walk.end(), [&](std::int64_t a, std::int64_t b) {
        const bool na = std::isnan(pvals[a]), nb = std::isnan(pvals[b]);
        if (na != nb) return nb;
        if (!na && pvals[a] != pvals[b]) return pvals[a] < pvals[b];
        const bool sa = std::isnan(scores[a]), sb = std::isnan(scores[b]);
        if (sa != sb) return sb;
        if (!sa && scores[a] != scores[b]) return scores[a] > scores[b];
        return positions[a] < positions[b];
    });
}

}  // namespace

Selection walk_ranking(RankedPairs& ranking, const Criteria& criteria, const PValueSizes& sizes,
                       const Context& context, const PairSink& sink) {
    // The walk takes the ranking in growing batches whose p-values are
    // computed ahead, in parallel; which pairs are examined and selected, and
    // where the walk stops, are decided one rank at a time.
    const std::int64_t npairs = ranking.size();
    ProgressReporter& progress = context.progress;
    progress.begin(Phase::Selecting, npairs);
    Selection out;
    std::int32_t selected = 0;
    std::int64_t batch = kFirstBatch;
    std::vector<RankedPair> pairs;
    std::vector<double> pvals;
    bool done = false;
    for (std::int64_t k0 = 0; k0 < npairs && !done; k0 += batch, batch = std::min(2 * batch, kLastBatch)) {
        const std::int64_t count = std::min(npairs, k0 + batch) - k0;
        pairs.resize(static_cast<std::size_t>(count));
        pvals.resize(static_cast<std::size_t>(count));
        ranking.fetch(k0, k0 + count, pairs.data());
#pragma omp parallel for schedule(static) if (count > 64) num_threads(context.threads)
        for (std::int64_t t = 0; t < count; ++t) pvals[t] = sizes.p_value(pairs[t].r1, pairs[t].r2);
        progress.add(count);
        progress.check();
        for (std::int64_t t = 0; t < count && !done; ++t) {
            const double pval = pvals[t];
            if (std::isnan(pval)) ++out.without_p_value;
            if (!(pval <= criteria.level)) continue;
            keep(out, sink, selected_pair(pairs[t], pval));
            done = ++selected >= criteria.max_pairs;
        }
    }
    progress.end();
    return out;
}

Selection walk_all_p_values(RankedPairs& ranking, const Criteria& criteria, Adjust adjust, Order order,
                            const PValueSizes& sizes, const Context& context, const PairSink& sink) {
    const std::int64_t npairs = ranking.size();
    ProgressReporter& progress = context.progress;
    progress.begin(Phase::Selecting, 2 * npairs);
    // Every pair's p-value, score and position, by rank.
    std::vector<double> pvals(static_cast<std::size_t>(npairs)), scores(pvals.size());
    std::vector<std::int64_t> positions(pvals.size());
    std::vector<RankedPair> batch;
    for (std::int64_t k0 = 0; k0 < npairs; k0 += kLastBatch) {
        const std::int64_t k1 = std::min(npairs, k0 + kLastBatch);
        batch.resize(static_cast<std::size_t>(k1 - k0));
        ranking.fetch(k0, k1, batch.data());
#pragma omp parallel for schedule(static) num_threads(context.threads)
        for (std::int64_t k = k0; k < k1; ++k) {
            const RankedPair& e = batch[static_cast<std::size_t>(k - k0)];
            pvals[k] = sizes.p_value(e.r1, e.r2);
            scores[k] = e.score;
            positions[k] = e.position;
        }
        progress.add(k1 - k0);
        progress.check();
    }
    Selection out;
    std::optional<BenjaminiHochberg> bh;
    if (adjust == Adjust::BH) {
        bh.emplace(pvals);
        out.tested = bh->tested();
    }
    std::vector<std::int64_t> walk(pvals.size());
    std::iota(walk.begin(), walk.end(), std::int64_t{0});
    if (order == Order::PValue) sort_by_p_value(walk, pvals, scores, positions);

    std::int32_t selected = 0;
    for (const std::int64_t k : walk) {
        const double pval = pvals[k];
        if (std::isnan(pval)) ++out.without_p_value;
        const double q = bh ? bh->q_value(pval) : std::numeric_limits<double>::quiet_NaN();
        if (!((bh ? q : pval) <= criteria.level)) continue;
        RankedPair e;
        ranking.fetch(k, k + 1, &e);
        SelectedPair pair = selected_pair(e, pval);
        pair.q_value = q;
        keep(out, sink, pair);
        if (++selected >= criteria.max_pairs) break;
    }
    progress.add(npairs);
    progress.end();
    return out;
}

}  // namespace tivarne
