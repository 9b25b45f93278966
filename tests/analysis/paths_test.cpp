// The selection in the scoring pass against the ranked table of all pairs: the
// same listings, pairs and counts, bit for bit, for every level, pair count and
// thread count, and the bulk decision p <= level never contradicting the
// exact p-value.

#include "scoring/ecor_filter.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/pval.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

using test::same_bits;

// The ranked table of all pairs against the selection without it, on one
// thread and two; returns whether the scoring pass alone sufficed.
bool expect_same_on_both_paths(const test::Study& study, const Answers& answers, const std::string& what,
                               Adjust adjust = Adjust::None, Order order = Order::Score) {
    Options table;
    table.min_class_size = 0;
    table.pair_table = true;
    table.adjust = adjust;
    table.order = order;
    const Result want = analyse(study.view(), answers, table);
    bool one_pass = false;
    for (int threads : {1, 2}) {
        Options options = table;
        options.pair_table = false;
        options.threads = threads;
        const Result got = analyse(study.view(), answers, options);
        EXPECT_EQ(test::fingerprint(got), test::fingerprint(want))
            << what << ", level " << answers.level << ", " << answers.max_pairs << " pairs, "
            << (order == Order::PValue ? "p order, " : "score order, ") << threads << " threads, "
            << (got.used_pair_table ? "table" : "one pass");
        one_pass |= !got.used_pair_table;
    }
    return one_pass;
}

// Values near 1e200: squares overflow, midvariances become infinite and
// weights NaN while correlations stay finite (NaN scores with p-values).
test::Study huge_values() {
    test::Study huge(40, 5, 6, 45, false);
    for (std::size_t v = 0; v < huge.values.size() / 3; ++v) huge.values[v] *= 1e200;
    return huge;
}

TEST(SelectionPaths, OnePassAgreesWithTheRankedTable) {
    const test::Study clean(200, 14, 11, 41, false), ties(200, 9, 12, 42, true), tiny(12, 3, 4, 43, false);
    // Classes of two and three samples: correlations of 1 and -1, scores
    // shared by many pairs, many pairs without a p-value.
    const test::Study small_classes(90, 2, 3, 44, true), huge = huge_values();
    // Levels at a pair's exact p-value and just below it.
    const Result loose = analyse(clean.view(), {0.5, 50});
    ASSERT_GE(loose.selected.size(), 30u);
    const double exact = loose.selected[29].p_value;
    const Answers answers[] = {
        {0.05, 20}, {0.05, 1000}, {1e-3, 1000000}, {1e-12, 1000}, {1, 5}, {2, 40000},
        {0, 10},    {-1, 3},      {0.5, 0},        {0.5, -4},     {exact, 30},
        {std::nextafter(exact, 0.0), 30},          {std::nan(""), 5},
    };
    int one_pass = 0;
    for (const Answers& a : answers) {
        one_pass += expect_same_on_both_paths(clean, a, "planted pairs");
        expect_same_on_both_paths(ties, a, "duplicated and constant genes");
        expect_same_on_both_paths(tiny, a, "12 genes");
        expect_same_on_both_paths(small_classes, a, "classes of 2 and 3 samples");
        expect_same_on_both_paths(huge, a, "values near 1e200");
    }
    // Without equal scores the table is not needed.
    EXPECT_GE(one_pass, 10);
}

// The fast adjusted selection against the plain one (every pair's p-value,
// sorted, as BenjaminiHochberg does it).
TEST(SelectionPaths, AdjustedSelectionAgreesWithAllPValues) {
    const test::Study noise(150, 12, 13, 51, false), ties(150, 9, 10, 52, true), huge = huge_values();
    // Class 2 a copy of class 1 for the first 40 genes: r1 = r2, T about 0, p
    // 1; 300 samples a class: the planted pairs' p-values underflow to 0.
    test::Study mirror(120, 8, 8, 53, false), large(60, 300, 300, 54, false);
    for (int g = 0; g < 40; ++g)
        for (int j = 0, from = 0; j < mirror.samples; ++j)
            if (mirror.labels[j] == 0) {
                while (mirror.labels[from] != 1) ++from;
                mirror.at(g, j) = mirror.at(g, from++);
            }
    Options bh;
    bh.adjust = Adjust::BH;
    bh.order = Order::PValue;
    ASSERT_EQ(analyse(large.view(), {0.05, 10}, bh).selected.back().p_value, 0.0);
    ASSERT_EQ(analyse(mirror.view(), {1, 100000}, bh).selected.back().p_value, 1.0);
    ASSERT_LT(analyse(ties.view(), {0.05, 10}, bh).tested, ties.genes * (ties.genes - 1) / 2);  // left out: no p-value
    for (const Answers& a : {Answers{0.05, 5}, Answers{0.2, 100000}, Answers{1, 30}, Answers{0, 10}})
        for (Order order : {Order::Score, Order::PValue}) {
            for (const test::Study* study : {&noise, &ties, &huge, static_cast<const test::Study*>(&mirror),
                                             static_cast<const test::Study*>(&large)})
                expect_same_on_both_paths(*study, a, "BH", Adjust::BH, order);
            expect_same_on_both_paths(ties, a, "unadjusted", Adjust::None, order);
        }
}

TEST(SelectionPaths, BulkDecisionNeverContradictsTheExactPValue) {
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> unit(-1, 1);
    const double one_up = std::nextafter(1.0, 2.0), nan = std::nan("");
    std::vector<double> r1, r2;
    for (double a : {-1.0, -0.5, 0.0, 0.3, 1.0, one_up, -one_up, nan})
        for (double b : {-1.0, -0.2, 0.0, 0.3, 0.9999999, 1.0, one_up, nan}) r1.push_back(a), r2.push_back(b);
    for (int k = 0; k < 4000; ++k) {
        const double a = unit(rng);
        r1.push_back(a);
        r2.push_back(k % 4 == 0 ? a : k % 4 == 1 ? std::nextafter(a, 2.0) : unit(rng));
    }
    PairKernel kernels[8];
    const int count = available_pair_kernels(kernels, 8);
    for (const auto& [n1, n2] : {std::pair(5, 7), std::pair(40, 3), std::pair(2, 3)}) {
        std::vector<double> p(r1.size());
        for (std::size_t j = 0; j < p.size(); ++j) p[j] = get_pval(r1[j], r2[j], n1, n2);
        for (double level : {0.05, 1e-10, 0.0, 1.0, 0.999, -0.5, p[9], std::nextafter(p[9], 0.0), p[100]}) {
            const EcorLevel lv = ecor_level(level, n1, n2);
            for (int q = 0; q < count; ++q) {
                std::vector<std::uint8_t> d(r1.size());
                kernels[q].classify(lv, r1.data(), r2.data(), static_cast<std::int32_t>(r1.size()), d.data());
                int unsure = 0;
                for (std::size_t j = 0; j < p.size(); ++j) {
                    // Pass only when p <= level, fail only when p > level, none only without a p-value.
                    ASSERT_TRUE((d[j] == kEcorNone) == std::isnan(p[j]) && (d[j] != kEcorPass || p[j] <= level) &&
                                (d[j] != kEcorFail || p[j] > level))
                        << kernels[q].name << ": decision " << int{d[j]} << ", r1 " << r1[j] << ", r2 " << r2[j]
                        << ", level " << level;
                    unsure += d[j] == kEcorUnsure;
                }
                EXPECT_LT(unsure, 40) << kernels[q].name << ", level " << level;
            }
        }
    }
}

}  // namespace
}  // namespace tivarne
