#include "selection/gene_summary.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <boost/math/distributions/binomial.hpp>

#include "scoring/ecor_filter.h"
#include "selection/bh.h"

namespace tivarne {
namespace {

constexpr double kScoreWidth = 0.001;
constexpr std::size_t kScoreBins = 2000;  // scores are at most 2
constexpr double kLog10PWidth = 0.01;
constexpr std::size_t kLog10PBins = 1200;  // down to p = 1e-12
// Steps of sqrt(T) per unit: T is binned on this grid, each step going to the
// bin of the p-value at its middle.
constexpr double kRootSteps = 2000;
constexpr double kRootMax = 7.5;  // p(7.5^2) is about 6e-14, below the last bin

// P(X >= degree) for X ~ Binomial(tested, rate).
double upper_tail(std::int64_t degree, std::int64_t tested, double rate) {
    if (tested <= 0) return std::numeric_limits<double>::quiet_NaN();
    if (degree <= 0 || rate >= 1) return 1;
    if (rate <= 0) return 0;
    const boost::math::binomial_distribution<double> binomial(static_cast<double>(tested), rate);
    return boost::math::cdf(boost::math::complement(binomial, static_cast<double>(degree - 1)));
}

}  // namespace

GeneCounts::GeneCounts(std::int32_t genes)
    : degree(static_cast<std::size_t>(genes)),
      stronger1(degree.size()),
      stronger2(degree.size()),
      sign_changes(degree.size()),
      no_p(degree.size()) {}

void GeneCounts::merge(const GeneCounts& other) {
    for (std::size_t g = 0; g < degree.size(); ++g) {
        degree[g] += other.degree[g];
        stronger1[g] += other.stronger1[g];
        stronger2[g] += other.stronger2[g];
        sign_changes[g] += other.sign_changes[g];
        no_p[g] += other.no_p[g];
    }
    passing += other.passing;
    no_p_total += other.no_p_total;
}

std::vector<GeneSummary> gene_table(const GeneCounts& counts, const std::vector<std::int64_t>& partners,
                                    std::int64_t considered) {
    const std::int64_t with_p = considered - counts.no_p_total;
    const double rate = with_p > 0 ? static_cast<double>(counts.passing) / static_cast<double>(with_p) : 0;
    std::vector<GeneSummary> table(counts.degree.size());
    std::vector<double> p_values(table.size());
    for (std::size_t g = 0; g < table.size(); ++g) {
        GeneSummary& s = table[g];
        s.gene = static_cast<std::int32_t>(g);
        s.degree = counts.degree[g];
        s.tested = partners[g] - counts.no_p[g];
        s.expected = static_cast<double>(s.tested) * rate;
        s.stronger_in_class1 = counts.stronger1[g];
        s.stronger_in_class2 = counts.stronger2[g];
        s.sign_changes = counts.sign_changes[g];
        s.p_value = p_values[g] = upper_tail(s.degree, s.tested, rate);
    }
    const BenjaminiHochberg bh(p_values);
    for (GeneSummary& s : table) s.q_value = bh.q_value(s.p_value);
    std::sort(table.begin(), table.end(), [](const GeneSummary& a, const GeneSummary& b) {
        const bool na = std::isnan(a.p_value), nb = std::isnan(b.p_value);
        if (na != nb) return nb;
        if (!na && a.p_value != b.p_value) return a.p_value < b.p_value;
        if (a.degree != b.degree) return a.degree > b.degree;
        return a.gene < b.gene;
    });
    return table;
}

HistogramBins::HistogramBins() : by_root_(static_cast<std::size_t>(kRootMax * kRootSteps)) {
    for (std::size_t j = 0; j < by_root_.size(); ++j) {
        const double z = (static_cast<double>(j) + 0.5) / kRootSteps;
        const double p = ecor_tail(z * z);
        const double bin = std::floor(-std::log10(p) / kLog10PWidth);
        by_root_[j] = static_cast<std::int32_t>(std::min<double>(bin, kLog10PBins));
    }
}

void HistogramBins::start(Histograms& h) const {
    h.score_width = kScoreWidth;
    h.scores.assign(kScoreBins, 0);
    h.log10_p_width = kLog10PWidth;
    h.log10_p.assign(kLog10PBins, 0);
}

void HistogramBins::add_p(Histograms& h, double p) const {
    if (std::isnan(p)) return;
    ++h.with_p_value;
    const double bin = p > 0 ? std::floor(-std::log10(p) / kLog10PWidth) : kLog10PBins;
    if (bin >= static_cast<double>(kLog10PBins))
        ++h.p_below;
    else
        ++h.log10_p[static_cast<std::size_t>(std::max(0.0, bin))];
}

void HistogramBins::add(Histograms& h, double score, double T, double p) const {
    if (score != score)
        ++h.nan_scores;
    else
        ++h.scores[std::min(static_cast<std::size_t>(score / kScoreWidth), kScoreBins - 1)];
    if (T != T) return;
    if (T == std::numeric_limits<double>::infinity()) return add_p(h, p);
    ++h.with_p_value;
    const double step = T > 0 ? std::sqrt(T) * kRootSteps : 0;
    const std::int32_t bin =
        step < static_cast<double>(by_root_.size()) ? by_root_[static_cast<std::size_t>(step)] : kLog10PBins;
    if (bin >= static_cast<std::int32_t>(kLog10PBins))
        ++h.p_below;
    else
        ++h.log10_p[static_cast<std::size_t>(bin)];
}

void HistogramBins::merge(Histograms& into, const Histograms& part) {
    if (into.scores.empty()) {
        into = part;
        return;
    }
    for (std::size_t b = 0; b < into.scores.size(); ++b) into.scores[b] += part.scores[b];
    for (std::size_t b = 0; b < into.log10_p.size(); ++b) into.log10_p[b] += part.log10_p[b];
    into.nan_scores += part.nan_scores;
    into.p_below += part.p_below;
    into.with_p_value += part.with_p_value;
}

AllPairsCollector::AllPairsCollector(const PairSpace& space, double threshold, bool genes, bool histograms,
                                     int threads, bool block_decisions)
    : space_(space),
      threshold_(threshold),
      genes_(genes),
      histograms_(histograms),
      block_decisions_(block_decisions && genes),
      kernel_(select_pair_kernel()),
      level_(space.p_sizes().level(threshold)) {
    local_.resize(static_cast<std::size_t>(threads));
    for (Local& l : local_) {
        l.counts = GeneCounts(genes ? space.genes() : 0);
        if (histograms) bins_.start(l.histograms);
    }
}

void AllPairsCollector::collect(int thread, const ScoredBlock& b) {
    Local& l = local_[static_cast<std::size_t>(thread)];
    for (std::int32_t r = 0; r < b.rows; ++r) {
        const std::int32_t i = b.i0 + r;
        const std::int32_t k_first = b.first_partner(r);
        if (k_first >= b.k_end) continue;
        const std::int64_t at = b.at(r, k_first);
        const std::int32_t count = b.k_end - k_first;
        const double* r1 = b.r1 + at;
        const double* r2 = b.r2 + at;
        if (genes_) {
            const std::uint8_t* decision = b.decision ? b.decision + at : nullptr;
            if (!block_decisions_ || !decision) {
                l.decision.resize(static_cast<std::size_t>(count));
                kernel_.classify(level_, r1, r2, count, l.decision.data());
                decision = l.decision.data();
            }
            for (std::int32_t j = 0; j < count; ++j) {
                std::uint8_t d = decision[j];
                if (d == kEcorFail) continue;
                if (d == kEcorUnsure) {
                    const double p = space_.p_value(r1[j], r2[j]);
                    d = std::isnan(p) ? kEcorNone : p <= threshold_ ? kEcorPass : kEcorFail;
                }
                if (d == kEcorPass)
                    l.counts.pass(i, k_first + j, r1[j], r2[j]);
                else if (d == kEcorNone)
                    l.counts.without_p(i, k_first + j);
            }
        }
        if (histograms_) {
            l.T.resize(static_cast<std::size_t>(count));
            kernel_.hints(level_, r1, r2, count, l.T.data());
            const double* score = b.score + at;
            for (std::int32_t j = 0; j < count; ++j) {
                const double T = l.T[static_cast<std::size_t>(j)];
                const double p = T == std::numeric_limits<double>::infinity() ? space_.p_value(r1[j], r2[j]) : 0;
                bins_.add(l.histograms, score[j], T, p);
            }
        }
    }
}

GeneCounts AllPairsCollector::genes() const {
    GeneCounts all(space_.genes());
    for (const Local& l : local_) all.merge(l.counts);
    return all;
}

Histograms AllPairsCollector::histograms() const {
    Histograms all;
    for (const Local& l : local_) HistogramBins::merge(all, l.histograms);
    return all;
}

void collect_all_pairs(const PairSpace& space, const Context& context, AllPairsCollector& collector) {
    score_in_blocks(space, context, collector);
}

}  // namespace tivarne
