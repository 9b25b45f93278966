#include "analysis/focused.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/error.h"
#include "core/messages.h"
#include "selection/bh.h"
#include "selection/gene_summary.h"
#include "selection/selection.h"

namespace tivarne {
namespace {

std::int64_t counted_from_1(std::int32_t g) { return std::int64_t{g} + 1; }

void check_gene(std::int32_t g, std::int32_t genes, const char* where) {
    if (g < 0 || g >= genes) input_error(message::focus_gene_unknown(counted_from_1(g), where, genes));
}

struct FocusPair {
    std::int32_t i, k;
    std::int64_t position;
    double score, r1, r2, p, q;
};

// The focused pairs in pair order (genes i < k).
std::vector<FocusPair> focus_pairs(const Options& o, const PairIndex& index) {
    std::vector<FocusPair> pairs;
    const FocusPair blank{0, 0, 0, 0, 0, 0, 0, 0};
    auto add = [&](std::int32_t a, std::int32_t b) {
        FocusPair p = blank;
        p.i = std::min(a, b);
        p.k = std::max(a, b);
        p.position = index.position(p.i, p.k);
        pairs.push_back(p);
    };
    if (!o.focus_pairs.empty()) {
        for (const auto& pr : o.focus_pairs) add(pr.first, pr.second);
    } else {
        std::vector<char> in_set(static_cast<std::size_t>(index.genes()), 0);
        for (const std::int32_t g : o.focus_genes) in_set[static_cast<std::size_t>(g)] = 1;
        for (const std::int32_t g : o.focus_genes)
            for (std::int32_t k = 0; k < index.genes(); ++k) {
                if (k == g) continue;
                const bool both = in_set[static_cast<std::size_t>(k)] != 0;
                if (o.focus_within ? both && g < k : !both || g < k) add(g, k);
            }
    }
    std::sort(pairs.begin(), pairs.end(), [](const FocusPair& a, const FocusPair& b) { return a.position < b.position; });
    return pairs;
}

}  // namespace

bool focused(const Options& o, std::int32_t genes) {
    if (o.focus_genes.empty() && o.focus_pairs.empty()) return false;
    if (!o.focus_genes.empty() && !o.focus_pairs.empty()) input_error(message::kFocusBoth);
    if (!o.focus_genes.empty()) {
        std::vector<std::int32_t> sorted = o.focus_genes;
        for (const std::int32_t g : sorted) check_gene(g, genes, "of the gene set");
        std::sort(sorted.begin(), sorted.end());
        const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
        if (twice != sorted.end()) input_error(message::focus_gene_twice(counted_from_1(*twice)));
        if (o.focus_within && sorted.size() < 2) input_error(message::kFocusOneGeneWithin);
        if (!o.focus_within && genes < 2) input_error(message::kFocusOneGene);
        return true;
    }
    std::vector<std::pair<std::int32_t, std::int32_t>> sorted;
    for (const auto& pr : o.focus_pairs) {
        check_gene(pr.first, genes, "of the pair list");
        check_gene(pr.second, genes, "of the pair list");
        if (pr.first == pr.second) input_error(message::focus_pair_self(counted_from_1(pr.first)));
        sorted.emplace_back(std::min(pr.first, pr.second), std::max(pr.first, pr.second));
    }
    std::sort(sorted.begin(), sorted.end());
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice != sorted.end())
        input_error(message::focus_pair_twice(counted_from_1(twice->first), counted_from_1(twice->second)));
    return true;
}

Selection select_focused(const PairSpace& space, const Criteria& criteria, const Options& options,
                         const Context& context, Result& result) {
    std::vector<FocusPair> pairs = focus_pairs(options, space.index());
    const auto n = static_cast<std::int64_t>(pairs.size());
    ProgressReporter& progress = context.progress;
    progress.begin(Phase::Scoring, n);
#pragma omp parallel for schedule(dynamic, 256) num_threads(context.threads)
    for (std::int64_t j = 0; j < n; ++j) {
        if (progress.stopped()) continue;
        FocusPair& f = pairs[static_cast<std::size_t>(j)];
        const PairValues v = space.values(f.i, f.k);
        f.score = v.score;
        f.r1 = v.r1;
        f.r2 = v.r2;
        f.p = space.p_value(v.r1, v.r2);
        if ((j & 1023) == 1023) progress.add(1024);
    }
    progress.add(n % 1024);
    progress.end();
    Selection out;
    if (progress.stopped()) return out;

    const bool bh = options.adjust == Adjust::BH;
    std::vector<double> p_values(pairs.size());
    for (std::size_t j = 0; j < pairs.size(); ++j) p_values[j] = pairs[j].p;
    const BenjaminiHochberg adjusted(bh ? p_values : std::vector<double>());
    double threshold = bh ? -1 : criteria.level;
    for (FocusPair& f : pairs) {
        f.q = bh ? adjusted.q_value(f.p) : std::nan("");
        if (bh && f.q <= criteria.level && f.p > threshold) threshold = f.p;
    }
    auto passes = [&](const FocusPair& f) { return bh ? f.q <= criteria.level : f.p <= criteria.level; };

    if (options.gene_summary || options.histograms) {
        result.considered = n;
        result.p_threshold = threshold;
        GeneCounts counts(options.gene_summary ? space.genes() : 0);
        const HistogramBins bins;
        if (options.histograms) bins.start(result.histograms);
        std::vector<std::int64_t> partners(static_cast<std::size_t>(options.gene_summary ? space.genes() : 0));
        for (const FocusPair& f : pairs) {
            if (options.histograms) {
                bins.add(result.histograms, f.score, std::nan(""), 0);  // the score alone
                bins.add_p(result.histograms, f.p);
            }
            if (!options.gene_summary) continue;
            ++partners[static_cast<std::size_t>(f.i)];
            ++partners[static_cast<std::size_t>(f.k)];
            if (std::isnan(f.p))
                counts.without_p(f.i, f.k);
            else if (f.p <= threshold)
                counts.pass(f.i, f.k, f.r1, f.r2);
        }
        if (options.gene_summary) {
            result.passing = counts.passing;
            result.gene_summary = gene_table(counts, partners, n);
        }
    }

    if (options.order == Order::PValue)
        std::sort(pairs.begin(), pairs.end(), [](const FocusPair& a, const FocusPair& b) {
            const bool na = std::isnan(a.p), nb = std::isnan(b.p);
            if (na != nb) return nb;
            if (!na && a.p != b.p) return a.p < b.p;
            return ranks_before(a, b);
        });
    else
        std::sort(pairs.begin(), pairs.end(), ranks_before<FocusPair>);
    const std::size_t wanted = static_cast<std::size_t>(std::max(1, criteria.max_pairs));
    std::int64_t without_p = 0;
    for (const FocusPair& f : pairs) {
        if (out.pairs.size() >= wanted) break;
        if (std::isnan(f.p)) ++without_p;
        if (!passes(f)) continue;
        SelectedPair s = selected_pair(Candidate{f.score, f.r1, f.r2, f.position}, space.index(), f.p);
        s.q_value = f.q;
        out.pairs.push_back(s);
    }
    out.without_p_value = without_p;
    out.tested = bh ? adjusted.tested() : 0;
    return out;
}

}  // namespace tivarne
