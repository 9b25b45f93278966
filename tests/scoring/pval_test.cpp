#include "scoring/pval.h"
#include "selection/bh.h"

#include "support/test_support.h"

namespace tivarne {
namespace {

using test::six_digits;

TEST(EcorPvalue, WorkedRows) {
    struct Row {
        double r1, r2;
        int n1, n2;
        double rho, T, p;
    };
    const Row rows[] = {
        {0.8, 0.1, 10, 10, 0.536675, 4.78867, 0.0286476},
        {0.5, -0.5, 10, 20, -0.212214, 7.54304, 0.00602424},
        {0.95, 0.2, 6, 8, 0.688737, 8.18037, 0.00423460},
    };
    for (const Row& row : rows) {
        double rho = 0, T = 0;
        ASSERT_TRUE(ecor_statistic(row.r1, row.r2, row.n1, row.n2, rho, T));
        EXPECT_TRUE(six_digits(rho, row.rho)) << "r1 " << row.r1;
        EXPECT_TRUE(six_digits(T, row.T)) << "r1 " << row.r1;
        EXPECT_TRUE(six_digits(get_pval(row.r1, row.r2, row.n1, row.n2), row.p)) << "r1 " << row.r1;
    }
}

TEST(EcorPvalue, LinearEquationWhenLeadingCoefficientIsZero) {
    // n1 r2 + n2 r1 = 10 (-0.4) + 20 (0.2) = 0: rho = -C/B = 6 / -27.6.
    double rho = 0, T = 0;
    ASSERT_TRUE(ecor_statistic(0.2, -0.4, 10, 20, rho, T));
    EXPECT_NEAR(rho, -5.0 / 23.0, 1e-15);
    EXPECT_TRUE(six_digits(T, 2.55997));
    EXPECT_TRUE(six_digits(get_pval(0.2, -0.4, 10, 20), 0.109600));
    // r1 = -r2 with equal class sizes: rho = 0, T = 20 ln(4/3).
    EXPECT_TRUE(six_digits(get_pval(0.5, -0.5, 10, 10), 0.0164545));
    // r1 = r2 = 0: rho = 0 and T = 0 exactly, so p = 1.
    EXPECT_EQ(get_pval(0.0, 0.0, 10, 10), 1.0);
    EXPECT_EQ(get_pval(0.0, 0.0, 7, 3), 1.0);
}

TEST(EcorPvalue, StableRootWhenTextbookRootsAreLostToCancellation) {
    // The leading coefficient is a rounding residue near 0: both textbook
    // roots leave [-1, 1], while the common correlation is about -C/B.
    const double r1 = 0.7526148656727555, r2 = -0.28599364895564705;
    const int n1 = 200, n2 = 76;
    const double A = n1 * r2 + n2 * r1, B = -((n1 + n2) * (1 + r1 * r2)), C = n1 * r1 + n2 * r2;
    const double D = B * B - 4 * A * C;
    ASSERT_NE(A, 0.0);
    ASSERT_GT(std::fabs((std::sqrt(D) - B) / (2 * A)), 1.0);
    ASSERT_GT(std::fabs((-B - std::sqrt(D)) / (2 * A)), 1.0);

    double rho = 0, T = 0;
    ASSERT_TRUE(ecor_statistic(r1, r2, n1, n2, rho, T));
    EXPECT_NEAR(rho, -C / B, 1e-12);
    EXPECT_TRUE(six_digits(T, 80.5795));
    EXPECT_TRUE(six_digits(get_pval(r1, r2, n1, n2), 2.79235e-19));
}

TEST(EcorPvalue, StatisticAtOrBelowZeroOrInfinite) {
    // Equal correlations: T is 0 up to rounding, p is 1 or just below.
    EXPECT_NEAR(get_pval(0.5, 0.5, 10, 10), 1.0, 1e-6);
    EXPECT_NEAR(get_pval(-0.3, -0.3, 12, 5), 1.0, 1e-6);
    // One class correlation exactly 1 and rounding puts rho inside: T = +inf.
    double rho = 0, T = 0;
    ASSERT_TRUE(ecor_statistic(1.0, -0.99, 10, 10, rho, T));
    ASSERT_EQ(T, std::numeric_limits<double>::infinity());
    EXPECT_EQ(get_pval(1.0, -0.99, 10, 10), 0.0);
    // A finite statistic so large that the tail underflows.
    EXPECT_EQ(get_pval(0.99, -0.99, 1000, 1000), 0.0);
}

TEST(EcorPvalue, NoPvalueGivesNan) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // NaN correlations; r1 = 1, r2 = -1 with equal sizes: A = B = 0, no root;
    // r1 = r2 = 1: rho = 1 and the ratio is 0/0; r1 = 1 with n1 < n2: both
    // roots are admissible (1 and 2/3), the first is taken and with it the
    // ratio is 0/0; correlations beyond 1: the logarithm of a negative ratio.
    const struct {
        double r1, r2;
        int n1, n2;
    } rows[] = {{nan, 0.5, 10, 10}, {0.5, nan, 10, 10}, {nan, nan, 10, 10}, {1, -1, 10, 10},
                {1, 1, 10, 10},     {1, 0, 2, 3},       {2, -2, 10, 10}};
    for (const auto& r : rows)
        EXPECT_TRUE(std::isnan(get_pval(r.r1, r.r2, r.n1, r.n2))) << r.r1 << ", " << r.r2 << ", n1 " << r.n1;
}

TEST(BenjaminiHochberg, WorkedQValues) {
    // m = 7 p-values (the NaN is left out). Sorted: 0, .01, .03, .04, .04, .5,
    // 1; 7p/k: 0, .035, .07, .07, .056, .5833, 1; the minimum from the right.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const BenjaminiHochberg bh({0.01, 0.04, 0.03, 0.04, nan, 0, 1, 0.5});
    EXPECT_EQ(bh.tested(), 7);
    const double p[] = {0, 0.01, 0.03, 0.04, 0.5, 1};
    const double q[] = {0, 0.035, 0.056, 0.056, 3.5 / 6, 1};
    for (int k = 0; k < 6; ++k) EXPECT_DOUBLE_EQ(bh.q_value(p[k]), q[k]) << "p " << p[k];
    EXPECT_TRUE(std::isnan(bh.q_value(nan)));
}

}  // namespace
}  // namespace tivarne
