#include "stats/biweight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "input/types.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

using test::SixDigits;
using Matrix = boost::numeric::ublas::matrix<double>;

// Expression data of a few genes with the per-gene statistics filled in, as
// the run builds them before the pair pass.
struct Study {
    ExpressionMatrix expression;
    LabelVector labels, nclass;
    Matrix bivar, medmad;
    int samples = 0, genes = 0, tuning = 9;

    Study(const std::vector<int>& label_values, const std::vector<std::vector<double>>& gene_rows)
        : samples(static_cast<int>(label_values.size())), genes(static_cast<int>(gene_rows.size())) {
        expression.resize(samples, genes);
        labels.resize(samples);
        nclass.resize(2);
        nclass(0) = nclass(1) = 0;
        for (int j = 0; j < samples; ++j) {
            labels(j) = label_values[j];
            ++nclass(label_values[j] > 0 ? 0 : 1);
            for (int g = 0; g < genes; ++g) expression(j, g) = gene_rows[g][j];
        }
        bivar.resize(genes, 2);
        medmad.resize(genes, 4);
        get_meanvar_biweight(expression, labels, bivar, medmad, samples, tuning, genes, nclass);
    }

    void corr(int i, int k, double& r1, double& r2) const {
        get_corr_biweight(expression, labels, bivar, medmad, samples, tuning, i, k, nclass, r1, r2);
    }
};

const std::vector<int> kFiveFive{1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const std::vector<double> kGeneI{1, 2, 3, 4, 100, 2, 4, 6, 8, 10};
const std::vector<double> kGeneK{2, 4, 6, 8, 10, 1, 2, 3, 4, 5};

TEST(GetMeanvarBiweight, WorkedGeneRow) {
    const Study s(kFiveFive, {kGeneI});
    EXPECT_EQ(s.medmad(0, 0), 3.0);
    EXPECT_EQ(s.medmad(0, 1), 6.0);
    EXPECT_EQ(s.medmad(0, 2), 1.0);
    EXPECT_EQ(s.medmad(0, 3), 2.0);
    EXPECT_TRUE(SixDigits(s.bivar(0, 0), 2.02891));
    EXPECT_TRUE(SixDigits(s.bivar(0, 1), 9.18826));
}

TEST(GetMeanvarBiweight, ConstantSingleAndTwoSampleClasses) {
    // Gene 0 is constant in class 1; class 2 has samples 4 and 5 only for the
    // second study, and a single sample for the third.
    const Study constant(kFiveFive, {{4, 4, 4, 4, 4, 1, 2, 3, 5, 8}});
    EXPECT_EQ(constant.medmad(0, 0), 4.0);
    EXPECT_EQ(constant.medmad(0, 2), 0.0);
    EXPECT_EQ(constant.bivar(0, 0), 0.0);
    EXPECT_GT(constant.bivar(0, 1), 0.0);

    const Study two({1, 1, 1, 0, 0}, {{1, 2, 3, 2, 5}});
    EXPECT_EQ(two.medmad(0, 1), 3.5);
    EXPECT_EQ(two.medmad(0, 3), 1.5);

    const Study one({1, 1, 1, 0}, {{1, 2, 3, -7.25}});
    EXPECT_EQ(one.medmad(0, 1), -7.25);
    EXPECT_EQ(one.medmad(0, 3), 0.0);
    EXPECT_EQ(one.bivar(0, 1), 0.0);
}

TEST(GetMeanvarBiweight, InterleavingTheClassesChangesNothing) {
    // The worked gene with its samples shuffled, labels moved along.
    const std::vector<int> order{5, 0, 9, 1, 2, 6, 4, 8, 3, 7};
    std::vector<int> labels;
    std::vector<double> gene;
    for (int j : order) {
        labels.push_back(kFiveFive[j]);
        gene.push_back(kGeneI[j]);
    }
    const Study sorted(kFiveFive, {kGeneI}), shuffled(labels, {gene});
    for (int c = 0; c < 4; ++c) EXPECT_EQ(shuffled.medmad(0, c), sorted.medmad(0, c));
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(shuffled.bivar(0, c), sorted.bivar(0, c), 1e-12);
}

TEST(GetCorrBiweight, WorkedPair) {
    const Study s(kFiveFive, {kGeneI, kGeneK});
    double r1 = 0, r2 = 0;
    s.corr(0, 1, r1, r2);
    EXPECT_TRUE(SixDigits(r1, 0.782811));  // the outlier 100 has weight 0
    EXPECT_DOUBLE_EQ(r2, 1.0);             // class-2 values of k are half those of i

    // Only the label decides the class, not the position of the sample.
    const std::vector<int> order{5, 0, 9, 1, 2, 6, 4, 8, 3, 7};
    std::vector<int> labels;
    std::vector<double> gene_i, gene_k;
    for (int j : order) {
        labels.push_back(kFiveFive[j]);
        gene_i.push_back(kGeneI[j]);
        gene_k.push_back(kGeneK[j]);
    }
    const Study shuffled(labels, {gene_i, gene_k});
    double s1 = 0, s2 = 0;
    shuffled.corr(0, 1, s1, s2);
    EXPECT_NEAR(s1, r1, 1e-12);
    EXPECT_NEAR(s2, r2, 1e-12);
}

TEST(GetCorrBiweight, LinearRelationsSymmetryAndSelfPairs) {
    // Gene 1 is 2x + 1 of gene 0 in class 1 and -x in class 2.
    const std::vector<double> x{1, 5, 2, 8, 3, 4, 1, 7, 3, 9};
    std::vector<double> y(x.size());
    for (std::size_t j = 0; j < x.size(); ++j) y[j] = kFiveFive[j] > 0 ? 2 * x[j] + 1 : -x[j];
    const Study s(kFiveFive, {x, y, kGeneI});

    double r1 = 0, r2 = 0;
    s.corr(0, 1, r1, r2);
    EXPECT_DOUBLE_EQ(r1, 1.0);
    EXPECT_DOUBLE_EQ(r2, -1.0);

    double a1 = 0, a2 = 0, b1 = 0, b2 = 0;
    s.corr(0, 2, a1, a2);
    s.corr(2, 0, b1, b2);
    EXPECT_EQ(a1, b1);
    EXPECT_EQ(a2, b2);
    EXPECT_LT(std::fabs(a1), 1.0);

    for (int g = 0; g < 3; ++g) {
        s.corr(g, g, r1, r2);
        EXPECT_DOUBLE_EQ(r1, 1.0) << "gene " << g;
        EXPECT_DOUBLE_EQ(r2, 1.0) << "gene " << g;
    }
}

TEST(GetCorrBiweight, GeneConstantInOneClassGivesNanThere) {
    const Study s(kFiveFive, {{4, 4, 4, 4, 4, 1, 2, 3, 5, 8}, kGeneI, kGeneK});
    for (int partner = 1; partner < 3; ++partner) {
        double r1 = 0, r2 = 0;
        s.corr(0, partner, r1, r2);
        EXPECT_TRUE(std::isnan(r1)) << "partner " << partner;
        EXPECT_TRUE(std::isfinite(r2)) << "partner " << partner;
    }
}

}  // namespace
}  // namespace tivarne
