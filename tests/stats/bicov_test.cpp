#include "stats/bicov.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_support.h"

namespace tivarne {
namespace {

using Seq = std::vector<double>;
using test::SixDigits;

double bicov(const Seq& x, const Seq& y, const Seq& dx, const Seq& dy, double Mx, double My,
             double Sx, double Sy) {
    const int tuning = 9;
    const int m = static_cast<int>(x.size());
    double out = -1;
    get_bicov(x, y, dx, dy, tuning, m, Mx, My, Sx, Sy, out);
    return out;
}

// x has an outlier (100, u = 97/9) that gets weight 0; y is evenly spaced.
const Seq kX{1, 2, 3, 4, 100}, kDx{2, 1, 0, 1, 97};
const Seq kY{2, 4, 6, 8, 10}, kDy{4, 2, 0, 2, 4};

TEST(GetBicov, WorkedMidvariancesAndMidcovariance) {
    EXPECT_TRUE(SixDigits(bicov(kX, kX, kDx, kDx, 3, 3, 1, 1), 2.02891));
    EXPECT_TRUE(SixDigits(bicov(kY, kY, kDy, kDy, 6, 6, 2, 2), 9.18826));
    EXPECT_TRUE(SixDigits(bicov(kX, kY, kDx, kDy, 3, 6, 1, 2), 3.37991));
}

TEST(GetBicov, SwappingTheSamplesGivesTheSameValue) {
    EXPECT_EQ(bicov(kX, kY, kDx, kDy, 3, 6, 1, 2), bicov(kY, kX, kDy, kDx, 6, 3, 2, 1));
}

TEST(GetBicov, NoObservationsGivesZero) {
    const Seq empty;
    EXPECT_EQ(bicov(empty, empty, empty, empty, 0, 0, 0, 0), 0.0);
}

TEST(GetBicov, ZeroScaleGivesExactlyZero) {
    // More than half of the values sit on the median, so the MAD is 0: every
    // u is 0/0 or infinite and counts as outside.
    const Seq z{5, 5, 5, 7}, dz{0, 0, 0, 2};
    EXPECT_EQ(bicov(z, z, dz, dz, 5, 5, 0, 0), 0.0);
    const Seq y{1, 2, 3, 4}, dy{1.5, 0.5, 0.5, 1.5};
    EXPECT_EQ(bicov(z, y, dz, dy, 5, 2.5, 0, 1), 0.0);
    EXPECT_EQ(bicov(y, z, dy, dz, 2.5, 5, 1, 0), 0.0);
    // A single observation has scale 0 too.
    EXPECT_EQ(bicov(Seq{3}, Seq{3}, Seq{0}, Seq{0}, 3, 3, 0, 0), 0.0);
}

TEST(GetBicov, BoundaryWeightsAndCentreObservation) {
    // With MAD 1 and tuning 9, the values -9 and 9 have |u| = 1 exactly: weight
    // 0 and no share of the denominator, just like far outliers. The centre
    // value 0 has u = 0 and adds 1 to the denominator sum. By hand:
    // 5 * 2 (80/81)^4 / (1 + 2 (80/81)(76/81))^2.
    const Seq x{-9, -1, 0, 1, 9}, dx{9, 1, 0, 1, 9};
    const Seq far{-100, -1, 0, 1, 100}, dfar{100, 1, 0, 1, 100};
    const double boundary = bicov(x, x, dx, dx, 0, 0, 1, 1);
    EXPECT_NEAR(boundary, 1.1686968175361336, 1e-13);
    EXPECT_EQ(boundary, bicov(far, far, dfar, dfar, 0, 0, 1, 1));
}

}  // namespace
}  // namespace tivarne
