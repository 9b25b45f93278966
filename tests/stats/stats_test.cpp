// Worked values of the robust statistics: median, biweight midcovariance and
// midvariance, per-gene statistics by class and the pairwise midcorrelation.

#include "core/containers.h"
#include "stats/bicov.h"
#include "stats/biweight.h"
#include "stats/median.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

using Seq = std::vector<double>;
using test::six_digits;

TEST(Median, OddEvenRepeatedAndNegativeCounts) {
    const struct {
        Seq values;
        double median;
    } rows[] = {{{42.5}, 42.5},        {{3, 1}, 2},          {{3, 1, 2, 5, 4}, 3},
                {{4, 1, 3, 2}, 2.5},   {{7, 7, 7, 1}, 7},    {{0, 0, 5, 5}, 2.5},
                {{-3, -1, -2}, -2},    {{9, -1, 4, 4, 0.5, 12}, 4}};
    for (const auto& row : rows) {
        Seq copy = row.values;
        const int count = static_cast<int>(copy.size());
        EXPECT_EQ(get_median(copy, count), row.median);
        EXPECT_EQ(copy, row.values);  // the input keeps its order
    }
    // Against the middle of the sorted values, bit for bit: many sizes, few
    // distinct values (ties), infinities, zeros of both signs.
    std::mt19937_64 rng(5);
    const double pool[] = {-1.5, 0.25, 3, 3, 7.125, -HUGE_VAL, HUGE_VAL, -0.0, 0.0, 1e-300};
    for (int count = 1; count < 60; ++count)
        for (int round = 0; round < 20; ++round) {
            Seq x(static_cast<std::size_t>(count));
            for (double& v : x) v = round % 2 ? pool[rng() % 10] : std::ldexp(static_cast<double>(rng() % 1000), -7);
            Seq s = x;
            std::sort(s.begin(), s.end());
            const std::size_t h = x.size() / 2;
            const double want = count % 2 ? s[h] : (s[h - 1] + s[h]) * 0.5;
            const double got = get_median(x, count);
            EXPECT_TRUE(test::same_bits(got, want)) << count << " values, round " << round;
        }
}

double bicov(const Seq& x, const Seq& y, const Seq& dx, const Seq& dy, double Mx, double My,
             double Sx, double Sy) {
    const int m = static_cast<int>(x.size());
    const int tuning = kTuning;
    double out = -1;
    get_bicov(x, y, dx, dy, tuning, m, Mx, My, Sx, Sy, out);
    return out;
}

// x has an outlier (100, u = 97/9) that gets weight 0; y is evenly spaced.
const Seq kX{1, 2, 3, 4, 100}, kDx{2, 1, 0, 1, 97};
const Seq kY{2, 4, 6, 8, 10}, kDy{4, 2, 0, 2, 4};

TEST(Bicov, WorkedValuesSymmetryZeroScaleAndBoundaryWeights) {
    EXPECT_TRUE(six_digits(bicov(kX, kX, kDx, kDx, 3, 3, 1, 1), 2.02891));
    EXPECT_TRUE(six_digits(bicov(kY, kY, kDy, kDy, 6, 6, 2, 2), 9.18826));
    EXPECT_TRUE(six_digits(bicov(kX, kY, kDx, kDy, 3, 6, 1, 2), 3.37991));
    EXPECT_EQ(bicov(kX, kY, kDx, kDy, 3, 6, 1, 2), bicov(kY, kX, kDy, kDx, 6, 3, 2, 1));
    const Seq none;
    EXPECT_EQ(bicov(none, none, none, none, 0, 0, 0, 0), 0.0);
    // More than half of the values on the median: MAD 0, every u is 0/0 or
    // infinite and counts as outside, so the result is exactly 0.
    const Seq z{5, 5, 5, 7}, dz{0, 0, 0, 2}, y{1, 2, 3, 4}, dy{1.5, 0.5, 0.5, 1.5};
    EXPECT_EQ(bicov(z, z, dz, dz, 5, 5, 0, 0), 0.0);
    EXPECT_EQ(bicov(z, y, dz, dy, 5, 2.5, 0, 1), 0.0);
    EXPECT_EQ(bicov(Seq{3}, Seq{3}, Seq{0}, Seq{0}, 3, 3, 0, 0), 0.0);
    // |u| = 1 exactly (-9 and 9 with MAD 1) gets weight 0 and no share of the
    // denominator, like a far outlier; the centre adds 1. By hand:
    // 5 * 2 (80/81)^4 / (1 + 2 (80/81)(76/81))^2.
    const Seq x{-9, -1, 0, 1, 9}, dx{9, 1, 0, 1, 9}, far{-100, -1, 0, 1, 100}, dfar{100, 1, 0, 1, 100};
    EXPECT_NEAR(bicov(x, x, dx, dx, 0, 0, 1, 1), 1.1686968175361336, 1e-13);
    EXPECT_EQ(bicov(x, x, dx, dx, 0, 0, 1, 1), bicov(far, far, dfar, dfar, 0, 0, 1, 1));
}

// Genes (rows) of a study with the per-gene statistics filled in.
struct Genes {
    std::vector<double> values;
    std::vector<std::int32_t> labels;
    DataView data;
    LabelVector class_sizes{2};
    StatMatrix medmad, bivar;

    Genes(const std::vector<std::int32_t>& label_values, const std::vector<Seq>& rows)
        : labels(label_values) {
        for (const Seq& row : rows) values.insert(values.end(), row.begin(), row.end());
        data = {values.data(), static_cast<std::int32_t>(rows.size()),
                static_cast<std::int32_t>(labels.size()), static_cast<std::ptrdiff_t>(labels.size()), 1,
                labels.data()};
        class_sizes(0) = class_sizes(1) = 0;
        for (int label : labels) ++class_sizes(label > 0 ? 0 : 1);
        medmad.resize(rows.size(), 4);
        bivar.resize(rows.size(), 2);
        const int tuning = kTuning;
        per_gene_biweight_statistics(ExpressionView(data), LabelView(data), bivar, medmad,
                                     data.samples, tuning, data.genes, class_sizes, 1);
    }
    void corr(int i, int k, double& r1, double& r2) const {
        const int tuning = kTuning;
        get_corr_biweight(ExpressionView(data), LabelView(data), bivar, medmad, data.samples,
                          tuning, i, k, class_sizes, r1, r2);
    }
};

const std::vector<std::int32_t> kFiveFive{1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const Seq kGeneI{1, 2, 3, 4, 100, 2, 4, 6, 8, 10};
const Seq kGeneK{2, 4, 6, 8, 10, 1, 2, 3, 4, 5};

TEST(PerGeneStatistics, WorkedRowAndDegenerateClasses) {
    const Genes s(kFiveFive, {kGeneI, {4, 4, 4, 4, 4, 1, 2, 3, 5, 8}});
    const double row[] = {3, 6, 1, 2};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(s.medmad(0, c), row[c]);
    EXPECT_TRUE(six_digits(s.bivar(0, 0), 2.02891));
    EXPECT_TRUE(six_digits(s.bivar(0, 1), 9.18826));
    EXPECT_EQ(s.medmad(1, 2), 0.0);  // constant in class 1
    EXPECT_EQ(s.bivar(1, 0), 0.0);

    const Genes two({1, 1, 1, 0, 0}, {{1, 2, 3, 2, 5}}), one({1, 1, 1, 0}, {{1, 2, 3, -7.25}});
    EXPECT_EQ(two.medmad(0, 1), 3.5);  // class 2 of two samples
    EXPECT_EQ(two.medmad(0, 3), 1.5);
    EXPECT_EQ(one.medmad(0, 1), -7.25);  // class 2 of one sample
    EXPECT_EQ(one.bivar(0, 1), 0.0);
}

TEST(Midcorrelation, WorkedPairInAnySampleOrderLinearRelationsSymmetrySelfPairsAndConstantGenes) {
    const std::vector<int> order{5, 0, 9, 1, 2, 6, 4, 8, 3, 7};
    std::vector<std::int32_t> labels;
    Seq gene_i, gene_k;
    for (int j : order) {
        labels.push_back(kFiveFive[j]);
        gene_i.push_back(kGeneI[j]);
        gene_k.push_back(kGeneK[j]);
    }
    const Genes sorted(kFiveFive, {kGeneI, kGeneK}), shuffled(labels, {gene_i, gene_k});
    for (const Genes* s : {&sorted, &shuffled}) {
        double r1 = 0, r2 = 0;
        s->corr(0, 1, r1, r2);
        EXPECT_TRUE(six_digits(r1, 0.782811));  // the outlier 100 has weight 0
        EXPECT_NEAR(r2, 1.0, 1e-15);           // class-2 values of k are half those of i
    }

    // Gene 1 is 2x + 1 of gene 0 in class 1 and -x in class 2; gene 3 is
    // constant in class 1.
    const Seq x{1, 5, 2, 8, 3, 4, 1, 7, 3, 9};
    Seq y(x.size());
    for (std::size_t j = 0; j < x.size(); ++j) y[j] = kFiveFive[j] > 0 ? 2 * x[j] + 1 : -x[j];
    const Genes s(kFiveFive, {x, y, kGeneI, {4, 4, 4, 4, 4, 1, 2, 3, 5, 8}});
    double r1 = 0, r2 = 0, b1 = 0, b2 = 0;
    s.corr(0, 1, r1, r2);
    EXPECT_DOUBLE_EQ(r1, 1.0);
    EXPECT_DOUBLE_EQ(r2, -1.0);
    s.corr(0, 2, r1, r2);
    s.corr(2, 0, b1, b2);
    EXPECT_TRUE(r1 == b1 && r2 == b2);
    for (int g = 0; g < 3; ++g) {
        s.corr(g, g, r1, r2);
        EXPECT_TRUE(std::fabs(r1 - 1) < 1e-15 && std::fabs(r2 - 1) < 1e-15) << g << ": " << r1 << ", " << r2;
    }
    s.corr(3, 2, r1, r2);
    EXPECT_TRUE(std::isnan(r1));
    EXPECT_TRUE(std::isfinite(r2));
}

}  // namespace
}  // namespace tivarne
