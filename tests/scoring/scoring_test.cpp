#include "scoring/scoring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "input/sizes.h"
#include "stats/biweight.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

TEST(PairWeight, RatioOfTheLargerMidvariances) {
    // A = max(class-1 midvariances), B = max(class-2 midvariances).
    EXPECT_EQ(pair_weight(2, 2, 1, 1), 1.0);
    EXPECT_EQ(pair_weight(1, 2, 2, 0.5), 1.0);
    EXPECT_EQ(pair_weight(1, 4, 0.5, 2), 0.25);  // A/B below 1
    EXPECT_EQ(pair_weight(0.5, 2, 8, 1), 0.25);  // A/B = 4 is inverted
}

TEST(PairWeight, DegenerateMidvariances) {
    EXPECT_EQ(pair_weight(1, 0, 0.5, 0), 0.0);  // B = 0: A/B infinite, c = 0
    EXPECT_EQ(pair_weight(0, 1, 0, 2), 0.0);    // A = 0
    EXPECT_TRUE(std::isnan(pair_weight(0, 0, 0, 0)));
}

struct Scored {
    ExpressionMatrix expression;
    LabelVector labels, nclass{2};
    StatMatrix bivar, medmad;
    PairTable table;
    std::string listing;

    Scored(const std::vector<int>& label_values, const std::vector<std::vector<double>>& genes) {
        n = static_cast<std::int32_t>(label_values.size());
        ngene = static_cast<std::int32_t>(genes.size());
        n1 = static_cast<std::int32_t>(std::count(label_values.begin(), label_values.end(), 1));
        n2 = n - n1;
        expression.resize(n, ngene);
        labels.resize(n);
        for (int j = 0; j < n; ++j) {
            labels(j) = label_values[j];
            for (int g = 0; g < ngene; ++g) expression(j, g) = genes[g][j];
        }
        nclass(0) = n1;
        nclass(1) = n2;
        const int tuning = 9;
        bivar.resize(ngene, 2);
        medmad.resize(ngene, 4);
        get_meanvar_biweight(expression, labels, bivar, medmad, n, tuning, ngene, nclass);
        testing::internal::CaptureStdout();
        score_all_pairs(expression, labels, bivar, medmad, nclass, tuning, table);
        listing = testing::internal::GetCapturedStdout();
    }
};

const char kListingHeader[] =
    "biweight midcorrelations and scores: (first 100 pairs)\n(geneX, geneY,score, r1, r2, c)\n";

TEST(ScoreAllPairs, WorkedPairIsListedWithOneBasedGenes) {
    // r1 = 0.782811, r2 = 1; the larger midvariances are both those of
    // (2, 4, 6, 8, 10), so c = 1 and the score is |r1 - r2|.
    const Scored s({1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                   {{1, 2, 3, 4, 100, 2, 4, 6, 8, 10}, {2, 4, 6, 8, 10, 1, 2, 3, 4, 5}});
    EXPECT_EQ(s.listing, std::string(kListingHeader) + "1 2 0.22 0.78 1.00 1.00\n");
    ASSERT_EQ(s.table.negScore.size(), 1u);
    EXPECT_EQ(s.table.geneX[0], 0);
    EXPECT_EQ(s.table.geneY[0], 1);
    EXPECT_TRUE(test::SixDigits(-s.table.negScore[0], 1 - 0.782811));
}

TEST(ScoreAllPairs, TableOrderAndListingLimit) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> value(-5, 5);
    std::vector<std::vector<double>> genes(15, std::vector<double>(6));
    for (auto& gene : genes)
        for (double& v : gene) v = value(rng);
    const Scored s({1, 0, 1, 0, 1, 0}, genes);

    ASSERT_EQ(s.table.r1.size(), 105u);
    ASSERT_EQ(s.table.geneX.size(), 105u);
    for (int i = 0; i < 15; ++i)
        for (int j = i + 1; j < 15; ++j) {
            const int p = i * 15 - i * (i + 1) / 2 + (j - i - 1);
            EXPECT_EQ(s.table.geneX[p], i);
            EXPECT_EQ(s.table.geneY[p], j);
            // The stored values are those of the per-pair routines, to the bit.
            double r1 = 0, r2 = 0;
            const int tuning = 9;
            get_corr_biweight(s.expression, s.labels, s.bivar, s.medmad, n, tuning, i, j, s.nclass,
                              r1, r2);
            EXPECT_EQ(s.table.r1[p], r1);
            EXPECT_EQ(s.table.r2[p], r2);
            const double c = pair_weight(s.bivar(i, 0), s.bivar(i, 1), s.bivar(j, 0), s.bivar(j, 1));
            EXPECT_EQ(s.table.negScore[p], -(c * std::fabs(r1 - r2)));
        }
    EXPECT_EQ(std::count(s.listing.begin(), s.listing.end(), '\n'), 2 + 100);
    const std::size_t last = s.listing.rfind('\n', s.listing.size() - 2);
    EXPECT_EQ(s.listing.compare(last + 1, 6, "12 13 "), 0) << s.listing.substr(last + 1);
}

TEST(ScoreAllPairs, FewerThanTwoGenesGiveAnEmptyTable) {
    const Scored one({1, 0}, {{1, 2}});
    EXPECT_EQ(one.listing, kListingHeader);
    EXPECT_TRUE(one.table.negScore.empty());
    EXPECT_TRUE(one.table.geneY.empty());
}

TEST(ScoreAllPairs, ConstantGeneGivesNanScoreButIsStored) {
    const Scored s({1, 1, 1, 0, 0, 0}, {{2, 2, 2, 1, 5, 3}, {1, 4, 2, 6, 2, 9}});
    ASSERT_EQ(s.table.r1.size(), 1u);
    EXPECT_TRUE(std::isnan(s.table.r1[0]));
    EXPECT_TRUE(std::isfinite(s.table.r2[0]));
    EXPECT_TRUE(std::isnan(s.table.negScore[0]));
}

}  // namespace
}  // namespace tivarne
