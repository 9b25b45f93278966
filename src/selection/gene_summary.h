#pragma once
// Statistics over all pairs of a scoring pass, kept in O(genes) memory: the
// genes' degrees in the differential network (pairs whose p-value is at or
// below a threshold) and the histograms of scores and p-values.
#include <cmath>
#include <cstdint>
#include <vector>

#include "scoring/fast_pairs.h"
#include "scoring/pair_space.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// Per gene: passing pairs and their kinds, and the pairs without a p-value.
struct GeneCounts {
    std::vector<std::int64_t> degree, stronger1, stronger2, sign_changes, no_p;
    std::int64_t passing = 0, no_p_total = 0;

    explicit GeneCounts(std::int32_t genes = 0);
    // One pair (i, k) with correlations r1, r2 that passes, or has no p-value.
    void pass(std::int32_t i, std::int32_t k, double r1, double r2) {
        ++passing;
        for (const std::int32_t g : {i, k}) {
            ++degree[static_cast<std::size_t>(g)];
            if (std::fabs(r1) > std::fabs(r2)) ++stronger1[static_cast<std::size_t>(g)];
            if (std::fabs(r2) > std::fabs(r1)) ++stronger2[static_cast<std::size_t>(g)];
            if (r1 * r2 < 0) ++sign_changes[static_cast<std::size_t>(g)];
        }
    }
    void without_p(std::int32_t i, std::int32_t k) {
        ++no_p_total;
        ++no_p[static_cast<std::size_t>(i)];
        ++no_p[static_cast<std::size_t>(k)];
    }
    void merge(const GeneCounts& other);
};

// The gene table from the counts: `partners[g]` pairs of gene g were
// considered, `considered` pairs in all; ranked by p-value.
std::vector<GeneSummary> gene_table(const GeneCounts& counts, const std::vector<std::int64_t>& partners,
                                    std::int64_t considered);

// The histograms' bins, and where a pair goes.
class HistogramBins {
public:
    HistogramBins();
    void start(Histograms& h) const;
    // A pair with this score and ECOR statistic (NaN: no p-value; +infinity:
    // then p, its exact p-value, places it).
    void add(Histograms& h, double score, double T, double p) const;
    void add_p(Histograms& h, double p) const;
    static void merge(Histograms& into, const Histograms& part);

private:
    std::vector<std::int32_t> by_root_;  // the log10 p bin of each step of sqrt(T)
};

// Counts the genes' passing pairs (p <= threshold) and, when asked, fills the
// histograms, from every block of a scoring pass. With `block_decisions`,
// the blocks come decided at the threshold already (a OnePass at that level).
class AllPairsCollector : public BlockCollector {
public:
    AllPairsCollector(const PairSpace& space, double threshold, bool genes, bool histograms, int threads,
                      bool block_decisions = false);
    void collect(int thread, const ScoredBlock& block) override;
    bool wants_decisions() const override { return block_decisions_; }

    // The threads' counts together.
    GeneCounts genes() const;
    Histograms histograms() const;

private:
    struct Local {
        GeneCounts counts;
        Histograms histograms;
        std::vector<std::uint8_t> decision;
        std::vector<double> T;
    };
    const PairSpace& space_;
    const double threshold_;
    const bool genes_, histograms_, block_decisions_;
    const PairKernel kernel_;
    const EcorLevel level_;
    HistogramBins bins_;
    std::vector<Local> local_;
};

// One scoring pass with the collector alone.
void collect_all_pairs(const PairSpace& space, const Context& context, AllPairsCollector& collector);

}  // namespace tivarne
