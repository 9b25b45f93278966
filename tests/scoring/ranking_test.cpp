#include "scoring/ranking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "scoring/sort2.h"

namespace tivarne {
namespace {

using Keys = std::vector<double>;
using Tags = std::vector<std::int32_t>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(RankScores, BestScoreFirst) {
    Keys negScore{-0.3, -0.9, -0.5};
    Tags rankOrder;
    rank_scores(negScore, rankOrder);
    EXPECT_EQ(rankOrder, (Tags{1, 2, 0}));
    EXPECT_EQ(negScore, (Keys{-0.9, -0.5, -0.3}));

    // Equal scores in a table of at most seven pairs keep table order.
    Keys ties{-0.5, -0.7, -0.5, -0.7, -0.5, -0.0};
    rank_scores(ties, rankOrder);
    EXPECT_EQ(rankOrder, (Tags{1, 3, 0, 2, 4, 5}));

    Keys empty;
    rank_scores(empty, rankOrder);
    EXPECT_TRUE(rankOrder.empty());
}

TEST(RankScores, NanScoresComeLastInTableOrder) {
    Keys negScore{kNaN, -0.3, kNaN, -0.9, -0.5};
    Tags rankOrder;
    rank_scores(negScore, rankOrder);
    EXPECT_EQ(rankOrder, (Tags{3, 4, 1, 0, 2}));
    EXPECT_EQ(negScore[0], -0.9);
    EXPECT_EQ(negScore[1], -0.5);
    EXPECT_EQ(negScore[2], -0.3);
    EXPECT_TRUE(std::isnan(negScore[3]));
    EXPECT_TRUE(std::isnan(negScore[4]));
}

TEST(RankScores, NumericScoresOrderedAsSort2OrdersThemAlone) {
    std::mt19937 rng(7);
    for (int round = 0; round < 100; ++round) {
        const int size = std::uniform_int_distribution<int>(0, 400)(rng);
        Keys table(size);
        Keys numeric;
        Tags positions, nan_positions;
        for (int p = 0; p < size; ++p) {
            if (rng() % 4 == 0) {
                table[p] = kNaN;
                nan_positions.push_back(p);
            } else {
                table[p] = -static_cast<double>(rng() % 6) / 4;  // many ties
                numeric.push_back(table[p]);
                positions.push_back(p);
            }
        }
        sort2(numeric, positions);
        Tags expected = positions;
        expected.insert(expected.end(), nan_positions.begin(), nan_positions.end());

        Keys negScore = table;
        Tags rankOrder;
        rank_scores(negScore, rankOrder);
        ASSERT_EQ(rankOrder, expected) << "round " << round;
        for (std::size_t k = 0; k < numeric.size(); ++k) ASSERT_EQ(negScore[k], numeric[k]);
        for (std::size_t k = numeric.size(); k < negScore.size(); ++k)
            ASSERT_TRUE(std::isnan(negScore[k]));
    }
}

TEST(RankPairs, ListingShowsZeroBasedGenesAndAtMost100Lines) {
    PairTable one;
    one.r1 = {0.9};
    one.r2 = {-0.5};
    one.negScore = {-0.952};
    one.geneX = {3};
    one.geneY = {17};
    Tags rankOrder;
    testing::internal::CaptureStdout();
    rank_pairs(one, rankOrder);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nranking: (up to 100th)\n(rank,score,geneX,geneY,r1,r2,c)\n"
              "1 0.95 3 17 0.90 -0.50 0.68\n");

    PairTable many;
    for (int p = 0; p < 120; ++p) {
        many.r1.push_back(0.75);
        many.r2.push_back(0.25);
        many.negScore.push_back(-p / 1000.0);
        many.geneX.push_back(0);
        many.geneY.push_back(p + 1);
    }
    testing::internal::CaptureStdout();
    rank_pairs(many, rankOrder);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3 + 100);
    EXPECT_NE(out.find("\n1 0.12 0 120 0.75 0.25 0.24\n"), std::string::npos);
    EXPECT_NE(out.find("\n100 0.02 0 21 0.75 0.25 0.04\n"), std::string::npos);
    EXPECT_EQ(out.find("\n101 "), std::string::npos);
}

}  // namespace
}  // namespace tivarne
