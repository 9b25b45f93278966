// The calibrated p-value (ECOR with class sizes n1 - 3, n2 - 3): worked
// values computed by hand, and every engine and path giving the same bits
// with it as with each other.

#include "scoring/pair_space.h"
#include "scoring/pval.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

using test::six_digits;

TEST(CalibratedPValue, WorkedValues) {
    // r1, r2, n1, n2; T and the calibrated p to six digits (T = (n1 - 3) L1 +
    // (n2 - 3) L2 at the common correlation), and the ECOR p of the same pair.
    const struct {
        double r1, r2;
        int n1, n2;
        double calibrated, ecor;
    } cases[] = {
        // rho = 0 by symmetry: T = 34 ln(4/3) = 9.78119, p = erfc(sqrt(T/2)).
        {0.5, -0.5, 20, 20, 1.76306e-3, 6.93240e-4},
        {0.8, 0.3, 50, 50, 1.58529e-4, 9.77940e-5},
        {0.1, 0.6, 20, 80, 2.94642e-2, 1.94885e-2},
        {-0.2, 0.45, 100, 100, 2.12145e-6, 1.47746e-6},
        {0.62, 0.05, 33, 95, 1.59030e-3, 1.01023e-3},
        {0.95, -0.9, 10, 12, 3.34056e-8, 6.24993e-11},
    };
    for (const auto& c : cases) {
        const PValueSizes calibrated = PValueSizes::of(c.n1, c.n2, PValue::Calibrated);
        EXPECT_EQ(calibrated.n1, c.n1 - 3);
        EXPECT_EQ(calibrated.n2, c.n2 - 3);
        EXPECT_TRUE(six_digits(calibrated.p_value(c.r1, c.r2), c.calibrated)) << c.r1 << " " << c.r2;
        EXPECT_TRUE(six_digits(PValueSizes::of(c.n1, c.n2, PValue::Ecor).p_value(c.r1, c.r2), c.ecor));
    }
    double rho = 0, T = 0;
    EXPECT_TRUE(ecor_statistic(0.5, -0.5, 17, 17, rho, T) && six_digits(T, 34 * std::log(4.0 / 3.0)));
    // No difference: p = 1 (also when rounding makes T a hair below 0).
    EXPECT_EQ(PValueSizes::of(30, 30, PValue::Calibrated).p_value(0, 0), 1.0);
    EXPECT_EQ(PValueSizes::of(20, 80, PValue::Calibrated).p_value(0.3, 0.3), 1.0);
}

TEST(CalibratedPValue, EveryEngineAndPathGivesTheSameBits) {
    const test::Study ties(90, 9, 12, 61, true), clean(70, 14, 4, 62, false);
    for (const test::Study* study : {&ties, &clean}) {
        const int n1 = static_cast<int>(std::count(study->labels.begin(), study->labels.end(), 1));
        const PValueSizes sizes{n1 - 3, study->samples - n1 - 3};
        for (const auto& [adjust, order] : {std::pair(Adjust::None, Order::Score), std::pair(Adjust::BH, Order::PValue),
                                            std::pair(Adjust::None, Order::PValue)})
            for (const Criteria& criteria : {Criteria{0.05, 30}, Criteria{1, 100000}, Criteria{1e-4, 5}}) {
                Options plain;
                plain.p_value = PValue::Calibrated;
                plain.testing.engine = Engine::Straightforward, plain.adjust = adjust, plain.order = order;
                plain.listings = true;
                const Result want = analyse(study->view(), criteria, plain);
                for (const SelectedPair& p : want.selected)
                    ASSERT_TRUE(test::same_bits(p.p_value, get_pval(p.r1, p.r2, sizes.n1, sizes.n2)));
                for (int threads : {1, 2})
                    for (bool table : {false, true}) {
                        Options fast = plain;
                        fast.testing.engine = Engine::Fast, fast.threads = threads, fast.testing.pair_table = table;
                        EXPECT_EQ(test::fingerprint(analyse(study->view(), criteria, fast)), test::fingerprint(want))
                            << study->genes << " genes, level " << criteria.level << ", " << threads << " threads"
                            << (adjust == Adjust::BH ? ", BH" : "") << (table ? ", table" : "");
                    }
            }
    }
}

TEST(CalibratedPValue, NeedsFourSamplesInEachClass) {
    Options calibrated;
    calibrated.p_value = PValue::Calibrated;
    EXPECT_ERROR(analyse(test::Study(20, 3, 8, 63).view(), {}, calibrated),
                 "Class 1 has 3 samples; the calibrated p-value needs at least 4 in each class (it counts "
                 "a class of n samples as n - 3): use the ECOR p-value or more samples.");
    EXPECT_NO_THROW(analyse(test::Study(20, 4, 4, 65).view(), {}, calibrated));
}

}  // namespace
}  // namespace tivarne
