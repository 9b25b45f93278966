#include "report/selection.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

#include "report/adjustment.h"
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

std::vector<PairScore> listing_of(RankedPairs& ranking) {
    const std::int64_t shown = ranking.size() < kListingLength ? ranking.size() : kListingLength;
    std::vector<RankedPair> top(static_cast<std::size_t>(shown));
    ranking.fetch(0, shown, top.data());
    std::vector<PairScore> listed;
    for (const RankedPair& e : top)
        listed.push_back({e.geneX, e.geneY, e.score, e.r1, e.r2, e.score / std::fabs(e.r1 - e.r2)});
    return listed;
}

WalkOutcome select_pairs(RankedPairs& ranking, const Criteria& answers, std::int32_t class1,
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

WalkOutcome select_pairs_adjusted(RankedPairs& ranking, const Criteria& answers, Adjust adjust,
                                  Order order, std::int32_t class1, std::int32_t class2,
                                  const Context& context,
                                  const std::function<void(const SelectedPair&)>& emit,
                                  std::int64_t& tested) {
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
            double r1 = e.r1, r2 = e.r2;
            pvals[k] = get_pval(r1, r2, class1, class2);
            scores[k] = e.score;
            positions[k] = e.position;
        }
        progress.add(k1 - k0);
        progress.check();
    }
    std::optional<BenjaminiHochberg> bh;
    if (adjust == Adjust::BH) {
        bh.emplace(pvals);
        tested = bh->tested();
    }
    std::vector<std::int64_t> walk(pvals.size());
    std::iota(walk.begin(), walk.end(), std::int64_t{0});
    if (order == Order::PValue) {
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

    WalkOutcome outcome;
    std::int32_t selected = 0;
    for (const std::int64_t k : walk) {
        const double pval = pvals[k];
        ++outcome.examined;
        if (std::isnan(pval)) ++outcome.without_p_value;
        const double q = bh ? bh->q_value(pval) : std::numeric_limits<double>::quiet_NaN();
        if (!((bh ? q : pval) <= answers.level)) continue;
        RankedPair e;
        ranking.fetch(k, k + 1, &e);
        SelectedPair pair = selected_pair(e, pval);
        pair.q_value = q;
        emit(pair);
        if (++selected >= answers.max_pairs) break;
    }
    progress.add(npairs);
    progress.end();
    return outcome;
}

}  // namespace tivarne
