// The gene-level summary, the all-pairs histograms, the correlation classes
// and the focused analyses, each against a plain computation over every pair.

#include <array>
#include <map>
#include <memory>

#include "core/containers.h"
#include "scoring/ecor_filter.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/pair_space.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

using test::same_bits;

// Every pair of a study through PairSpace::values and p_value.
struct Plain {
    struct Pair {
        int i, k;
        PairValues v;
        double p;
    };
    std::vector<Pair> pairs;
    int genes;

    Plain(const test::Study& study) : genes(study.genes) {
        const DataView data = study.view();
        const ExpressionView x(data);
        const LabelView labels(data);
        LabelVector sizes(2);
        sizes(0) = static_cast<int>(std::count(study.labels.begin(), study.labels.end(), 1));
        sizes(1) = study.samples - sizes(0);
        StatMatrix medmad(genes, 4), bivar(genes, 2);
        const int tuning = kTuning;
        per_gene_biweight_statistics(x, labels, bivar, medmad, study.samples, tuning, genes, sizes, 1);
        std::array<ClassTerms, 2> terms;
        compute_class_terms(x, labels, bivar, medmad, 1, terms.data());
        const PairSpace space(genes, PValueSizes{sizes(0), sizes(1)}, std::move(terms));
        for (int i = 0; i + 1 < genes; ++i)
            for (int k = i + 1; k < genes; ++k) {
                const PairValues v = space.values(i, k);
                pairs.push_back({i, k, v, space.p_value(v.r1, v.r2)});
            }
    }

    // The plain Benjamini-Hochberg q-values of a set of p-values (NaN: none).
    static std::vector<double> bh(const std::vector<double>& p) {
        std::vector<std::size_t> order;
        for (std::size_t j = 0; j < p.size(); ++j)
            if (!std::isnan(p[j])) order.push_back(j);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
        std::vector<double> q(p.size(), std::nan(""));
        const double m = static_cast<double>(order.size());
        double smallest = 1;
        for (std::size_t r = order.size(); r-- > 0;) {
            smallest = std::min(smallest, m * p[order[r]] / static_cast<double>(r + 1));
            q[order[r]] = smallest;
        }
        // equal p-values share the q-value of the last of them
        for (std::size_t r = order.size(); r-- > 1;)
            if (p[order[r - 1]] == p[order[r]]) q[order[r - 1]] = q[order[r]];
        return q;
    }

    std::vector<bool> passing(double level, bool bh_adjusted) const {
        std::vector<double> p;
        for (const Pair& x : pairs) p.push_back(x.p);
        const std::vector<double> q = bh_adjusted ? bh(p) : p;
        std::vector<bool> out;
        for (double v : q) out.push_back(v <= level);
        return out;
    }
};

// P(X >= d), X ~ Binomial(n, rate), summed term by term in long double.
double binomial_upper_tail(std::int64_t d, std::int64_t n, double rate) {
    if (d <= 0) return 1;
    long double sum = 0;
    for (std::int64_t x = d; x <= n; ++x)
        sum += std::exp(std::lgamma(n + 1.0L) - std::lgamma(x + 1.0L) - std::lgamma(n - x + 1.0L) +
                        x * std::log(static_cast<long double>(rate)) + (n - x) * std::log1p(-static_cast<long double>(rate)));
    return static_cast<double>(sum);
}

// The gene table every route gives equals the counts and tests of a loop
// over every pair: no adjustment and BH, score and p-value order, one and
// two threads, the forced table and the straightforward engine.
TEST(GeneSummary, EveryRouteCountsEveryPairAsTheCriterionDecides) {
    const test::Study study(70, 14, 16, 5);
    const Plain plain(study);
    for (const bool bh : {false, true})
        for (const double level : {0.1, 0.5}) {
            const std::vector<bool> pass = plain.passing(level, bh);
            std::vector<std::int64_t> degree(study.genes), s1(study.genes), s2(study.genes), sign(study.genes),
                tested(study.genes);
            std::int64_t passing = 0, with_p = 0;
            for (std::size_t j = 0; j < plain.pairs.size(); ++j) {
                const Plain::Pair& x = plain.pairs[j];
                if (std::isnan(x.p)) continue;
                ++with_p, ++tested[x.i], ++tested[x.k];
                if (!pass[j]) continue;
                ++passing;
                for (int g : {x.i, x.k}) {
                    ++degree[g];
                    s1[g] += std::fabs(x.v.r1) > std::fabs(x.v.r2);
                    s2[g] += std::fabs(x.v.r2) > std::fabs(x.v.r1);
                    sign[g] += x.v.r1 * x.v.r2 < 0;
                }
            }
            ASSERT_GT(passing, 0) << bh << " " << level;
            const double rate = static_cast<double>(passing) / static_cast<double>(with_p);
            std::vector<double> p(study.genes);
            for (int g = 0; g < study.genes; ++g)
                p[g] = tested[g] ? binomial_upper_tail(degree[g], tested[g], rate) : std::nan("");
            const std::vector<double> q = Plain::bh(p);

            std::string first;
            for (int route = 0; route < 6; ++route) {
                Options o;
                o.gene_summary = true;
                o.adjust = bh ? Adjust::BH : Adjust::None;
                o.threads = route % 2 + 1;
                o.order = route == 2 ? Order::PValue : Order::Score;
                o.testing.pair_table = route == 3;
                if (route == 4) o.testing.engine = Engine::Straightforward;
                const Result r = analyse(study.view(), {level, 5}, o);
                const std::string what = "bh " + std::to_string(bh) + " level " + std::to_string(level) +
                                         " route " + std::to_string(route);
                ASSERT_EQ(r.gene_summary.size(), static_cast<std::size_t>(study.genes)) << what;
                EXPECT_EQ(r.passing, passing) << what;
                std::string table;
                for (std::size_t row = 0; row < r.gene_summary.size(); ++row) {
                    const GeneSummary& s = r.gene_summary[row];
                    const int g = s.gene;
                    EXPECT_EQ(s.degree, degree[g]) << what << " gene " << g;
                    EXPECT_EQ(s.tested, tested[g]);
                    EXPECT_EQ(s.stronger_in_class1, s1[g]);
                    EXPECT_EQ(s.stronger_in_class2, s2[g]);
                    EXPECT_EQ(s.sign_changes, sign[g]);
                    EXPECT_DOUBLE_EQ(s.expected, tested[g] * rate);
                    EXPECT_EQ(std::isnan(s.p_value), std::isnan(p[g])) << what << " gene " << g;
                    if (!std::isnan(p[g])) {
                        EXPECT_NEAR(s.p_value, p[g], 1e-12 + 1e-9 * p[g]) << what << " gene " << g;
                        EXPECT_NEAR(s.q_value, q[g], 1e-12 + 1e-9 * q[g]) << what << " gene " << g;
                    }
                    if (row > 0 && !std::isnan(s.p_value)) {
                        EXPECT_LE(r.gene_summary[row - 1].p_value, s.p_value);
                    }
                    table += std::to_string(g) + ":" + std::to_string(s.p_value) + ";";
                }
                if (route == 0) first = table;
                EXPECT_EQ(table, first) << what;
            }
        }
}

// The histograms: scores to the bit of their bins, p-values each within the
// stated 0.002 of -log10 p of its bin.
TEST(Histograms, EveryPairInTheBinsOfItsScoreAndPValue) {
    const test::Study study(70, 9, 12, 17);
    const Plain plain(study);
    for (int threads : {1, 2}) {
        Options o;
        o.histograms = true;
        o.threads = threads;
        const Result r = analyse(study.view(), {0.05, 5}, o);
        const Histograms& h = r.histograms;
        std::vector<std::int64_t> scores(h.scores.size());
        std::int64_t nan_scores = 0, with_p = 0;
        std::vector<double> log_p;
        for (const Plain::Pair& x : plain.pairs) {
            if (std::isnan(x.v.score))
                ++nan_scores;
            else
                ++scores[std::min(static_cast<std::size_t>(x.v.score / h.score_width), scores.size() - 1)];
            if (!std::isnan(x.p)) ++with_p, log_p.push_back(-std::log10(x.p));
        }
        EXPECT_EQ(h.scores, scores);
        EXPECT_EQ(h.nan_scores, nan_scores);
        EXPECT_EQ(h.with_p_value, with_p);
        EXPECT_EQ(r.considered, r.pairs);
        // Up to each edge, the count differs from the exact one only by pairs
        // within the binning error of the edge.
        std::int64_t below = 0;
        for (std::size_t b = 0; b <= h.log10_p.size(); ++b) {
            const double edge = static_cast<double>(b) * h.log10_p_width;
            std::int64_t exact = 0, near = 0;
            for (double v : log_p) exact += v < edge, near += std::fabs(v - edge) <= 0.002;
            EXPECT_LE(std::llabs(below - exact), near) << "edge " << edge;
            if (b < h.log10_p.size()) below += h.log10_p[b];
        }
        EXPECT_EQ(below + h.p_below, with_p);
    }
}

// Each kernel's statistic gives the exact p-value, and no p-value exactly
// where there is none.
TEST(Histograms, EveryKernelsStatisticGivesTheExactPValue) {
    const test::Study study(45, 6, 8, 23);
    const Plain plain(study);
    std::vector<double> r1, r2;
    for (const Plain::Pair& x : plain.pairs) r1.push_back(x.v.r1), r2.push_back(x.v.r2);
    PairKernel kernels[8];
    const int count = available_pair_kernels(kernels, 8);
    for (int q = 0; q < count; ++q) {
        std::vector<double> T(r1.size(), 42);
        kernels[q].hints(ecor_level(0.05, 6, 8), r1.data(), r2.data(), static_cast<std::int32_t>(r1.size()),
                         T.data());
        for (std::size_t j = 0; j < T.size(); ++j) {
            const double p = plain.pairs[j].p;
            ASSERT_EQ(std::isnan(T[j]), std::isnan(p)) << kernels[q].name << " pair " << j;
            if (!std::isnan(p) && T[j] != INFINITY) {
                EXPECT_NEAR(ecor_tail(T[j]), p, 1e-8 * p) << kernels[q].name;
            }
        }
    }
}

// R: t <- r * sqrt((n - 2) / (1 - r^2)); 2 * pt(-abs(t), n - 2)
TEST(CorrelationClass, StudentsTOfTheMidcorrelationAsCorTestComputesIt) {
    EXPECT_TRUE(test::six_digits(correlation_p_value(0.5, 20), 0.0247696));
    EXPECT_TRUE(test::six_digits(correlation_p_value(-0.3, 12), 0.343439));
    EXPECT_TRUE(test::six_digits(correlation_p_value(0.9, 5), 0.0373861));
    EXPECT_EQ(correlation_p_value(1.0, 10), 0);
    EXPECT_TRUE(std::isnan(correlation_p_value(0.5, 2)));
    EXPECT_EQ(correlation_class(0.5, -0.3, 20, 12), "+/0");
    EXPECT_EQ(correlation_class(-0.9, 0.9, 5, 5), "-/+");
    EXPECT_EQ(correlation_class(0.5, 0.5, 20, 20, 0.01), "0/0");
    EXPECT_EQ(correlation_class(std::nan(""), 0.5, 20, 20), "NA");
}

// Focused runs give the same bits as the same pairs of a full run, BH over
// the focused pairs alone, the gene table over them, and clear refusals.
TEST(Focused, SamePairsAsAFullRunBitForBit) {
    const test::Study study(50, 10, 12, 29, false);
    const Plain plain(study);
    std::map<std::pair<int, int>, SelectedPair> full;
    for (const SelectedPair& s : analyse(study.view(), {1.0, 5000}).selected) full[{s.gene_x, s.gene_y}] = s;
    Options genes, within, listed;
    genes.focus_genes = {7, 3, 40};
    within.focus_genes = {7, 3, 40, 12};
    within.focus_within = true;
    listed.focus_pairs = {{5, 2}, {0, 49}, {30, 31}};
    for (Options* o : {&genes, &within, &listed}) {
        o->adjust = Adjust::BH;
        o->gene_summary = true;
        const Result r = analyse(study.view(), {1.0, 5000}, *o);
        std::vector<double> p;
        for (const SelectedPair& s : r.selected) {
            const SelectedPair& f = full.at({s.gene_x, s.gene_y});
            EXPECT_TRUE(same_bits(s.score, f.score) && same_bits(s.r1, f.r1) && same_bits(s.r2, f.r2) &&
                        same_bits(s.c, f.c) && same_bits(s.p_value, f.p_value));
            p.push_back(s.p_value);
            if (&s != &r.selected.front()) {
                EXPECT_GE((&s - 1)->score, s.score);
            }
        }
        const std::vector<double> q = Plain::bh(p);
        for (std::size_t j = 0; j < q.size(); ++j) EXPECT_DOUBLE_EQ(r.selected[j].q_value, q[j]);
        EXPECT_EQ(r.tested, static_cast<std::int64_t>(p.size()));
        std::int64_t degrees = 0;
        for (const GeneSummary& g : r.gene_summary) degrees += g.degree;
        EXPECT_EQ(degrees, 2 * r.passing);
        EXPECT_EQ(r.considered, static_cast<std::int64_t>(p.size()));  // no pair here lacks a p-value
    }
    EXPECT_EQ(analyse(study.view(), {1.0, 5000}, genes).selected.size(), 3u * 49 - 3);
    EXPECT_EQ(analyse(study.view(), {1.0, 5000}, within).selected.size(), 6u);

    Options bad;
    bad.focus_genes = {3, 50};
    EXPECT_ERROR(analyse(study.view(), {}, bad), "Gene 51 of the gene set is not in the data (genes 1 to 50).");
    bad.focus_genes = {3, 8, 3};
    EXPECT_ERROR(analyse(study.view(), {}, bad), "Gene 4 is listed twice in the gene set.");
    bad.focus_genes = {3};
    bad.focus_within = true;
    EXPECT_ERROR(analyse(study.view(), {}, bad), "The gene set has one gene: there is no pair within it.");
    bad = Options();
    bad.focus_pairs = {{1, 2}, {4, 4}};
    EXPECT_ERROR(analyse(study.view(), {}, bad), "The pair (5, 5) pairs a gene with itself.");
    bad.focus_pairs = {{1, 2}, {2, 1}};
    EXPECT_ERROR(analyse(study.view(), {}, bad), "The pair (2, 3) is listed twice.");
}

}  // namespace
}  // namespace tivarne
