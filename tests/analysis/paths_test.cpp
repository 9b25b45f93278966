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
// thread with the listings and on two without them; returns whether the
// scoring pass alone sufficed.
bool expect_same_on_both_paths(const test::Study& study, const Criteria& criteria, const std::string& what,
                               Adjust adjust = Adjust::None, Order order = Order::Score,
                               std::int64_t max_exact = std::int64_t{1} << 25) {
    Options table;
    table.testing.max_exact = max_exact;
    table.min_class_size = 0;
    table.testing.pair_table = true;
    table.listings = true;
    table.adjust = adjust;
    table.order = order;
    const Result want = analyse(study.view(), criteria, table);
    bool one_pass = false;
    for (int threads : {1, 2}) {
        Options options = table;
        options.testing.pair_table = false;
        options.threads = threads;
        options.listings = threads == 1;
        Result expected = want;
        if (!options.listings) expected.listings = {};
        const Result got = analyse(study.view(), criteria, options);
        EXPECT_EQ(test::fingerprint(got), test::fingerprint(expected))
            << what << ", level " << criteria.level << ", " << criteria.max_pairs << " pairs, "
            << (order == Order::PValue ? "p order, " : "score order, ") << threads << " threads, "
            << (got.used_pair_table ? "table" : "one pass");
        one_pass |= !got.used_pair_table;
    }
    return one_pass;
}

TEST(SelectionPaths, OnePassAgreesWithTheRankedTable) {
    const test::Study clean(200, 14, 11, 41, false), ties(200, 9, 12, 42, true), tiny(12, 3, 4, 43, false);
    // Classes of two and three samples: correlations of 1 and -1, scores
    // shared by many pairs, many pairs without a p-value.
    const test::Study small_classes(90, 2, 3, 44, true), huge = test::huge_values();
    // Levels at a pair's exact p-value and just below it.
    const Result loose = analyse(clean.view(), {0.5, 50});
    ASSERT_GE(loose.selected.size(), 30u);
    const double exact = loose.selected[29].p_value;
    const Criteria answers[] = {
        {0.05, 20}, {0.05, 1000}, {1e-3, 1000000}, {1e-12, 1000}, {1, 5}, {2, 40000},
        {0, 10},    {-1, 3},      {0.5, 0},        {0.5, -4},     {exact, 30},
        {std::nextafter(exact, 0.0), 30},          {std::nan(""), 5},
    };
    int one_pass = 0;
    for (const Criteria& a : answers) {
        one_pass += expect_same_on_both_paths(clean, a, "planted pairs");
        expect_same_on_both_paths(ties, a, "duplicated and constant genes");
        expect_same_on_both_paths(tiny, a, "12 genes");
        expect_same_on_both_paths(small_classes, a, "classes of 2 and 3 samples");
        expect_same_on_both_paths(huge, a, "values near 1e200");
    }
    // Without equal scores the table is not needed.
    EXPECT_GE(one_pass, 10);
}

// Equal scores only among the listed pairs: a caller who does not ask for the
// listings (Python, R) gets no table of all pairs.
TEST(SelectionPaths, ListingsOnlyOnRequest) {
    test::Study noise(3000, 10, 10, 46, false);
    Options listed;
    listed.listings = true;
    noise.add_multiple(analyse(noise.view(), {1e-300, 20}, listed).listings.top_pairs[0].gene_x, 1);
    const Result with_listings = analyse(noise.view(), {1e-300, 20}, listed), without = analyse(noise.view(), {1e-300, 20});
    EXPECT_TRUE(with_listings.used_pair_table && !without.used_pair_table);
    EXPECT_TRUE(without.selected.empty() && without.listings.top_pairs.empty() && without.listings.first_pairs.empty());
    EXPECT_EQ(without.without_p_value, with_listings.without_p_value);
}

// Equal scores exactly where a bounded selection must notice them: one pair
// of equal scores at the stop (the max_pairs-th and the next passing pair),
// and at listing places 100 and 101.
TEST(SelectionPaths, OnePairOfEqualScoresAtTheStopOrAtTheListingsEnd) {
    Options table;
    table.testing.pair_table = true;
    // Studies where the pair at `place` of the selection by `criteria`
    // (max_pairs large), twice, is selected at place and place + 1 and no
    // other two selected up to there share a score (the new genes' other
    // pairs may share scores with the old genes' pairs).
    auto twins_at = [&](const Criteria& criteria, std::size_t place, bool in_front, std::size_t wanted) {
        std::vector<test::Study> found;
        for (unsigned seed = 61; seed < 81 && found.size() < wanted; ++seed) {
            const test::Study clean(150, 12, 11, seed, false);
            const SelectedPair p = analyse(clean.view(), criteria, table).selected[place - 1];
            test::Study twice = test::with_pair_twice(clean, p.gene_x, p.gene_y, in_front);
            const Result after = analyse(twice.view(), criteria, table);
            std::size_t ties = 0;
            for (std::size_t k = 1; k <= place; ++k) ties += after.selected[k - 1].score == after.selected[k].score;
            if (ties == 1 && after.selected[place - 1].score == after.selected[place].score) found.push_back(std::move(twice));
        }
        EXPECT_FALSE(found.empty()) << "no equal scores at " << place;
        return found;
    };
    for (std::size_t place : {2, 7, 40})
        for (const double level : {0.05, 1.0})
            for (const test::Study& twice : twins_at({level, 1000}, place, place == 7, 1))
                EXPECT_FALSE(expect_same_on_both_paths(twice, {level, static_cast<std::int32_t>(place)}, "at the stop"));
    // Level 2 selects every pair with a p-value, in rank order.
    for (bool in_front : {false, true})
        for (const test::Study& twice : twins_at({2, 1000}, kListingLength, in_front, 2))
            expect_same_on_both_paths(twice, {1e-300, 5}, "at the listing's end");
}

// Pairs without a p-value before a stop that a bounded selection cannot see
// directly. A group of equal scores at the stop mixing pairs with and
// without a p-value: every score 0 (class 2 a copy of class 1), and no
// p-value where a gene is twice another (r1 = r2 = 1). Level 1 passes every
// other pair, so the stop falls anywhere inside the group.
TEST(SelectionPaths, PairsWithoutAPValueBeforeAStopAmongEqualOrNanScores) {
    test::Study mirror(14, 6, 6, 62, false);
    mirror.mirror_classes(mirror.genes);
    mirror.add_multiple(3, 2);
    mirror.add_multiple(9, 0.5);
    const std::int32_t pairs = mirror.genes * (mirror.genes - 1) / 2;
    for (std::int32_t max_pairs = 1; max_pairs < pairs; max_pairs += 5)
        for (Adjust adjust : {Adjust::None, Adjust::BH})
            expect_same_on_both_paths(mirror, {1, max_pairs}, "scores all 0", adjust);

    // Benjamini-Hochberg in score order stopping among the pairs whose score
    // is not a number (they rank last, in pair order), with pairs without a
    // p-value both among them (a gene constant in class 1) and before them (a
    // gene twice another).
    test::Study huge = test::huge_values(36);
    for (int j = 0; j < huge.samples; ++j)
        if (huge.labels[j] == 1) huge.at(4, j) = 3e200;
    huge.add_multiple(30, 2);
    const Result all = analyse(huge.view(), {1, 100000});
    std::int32_t numeric = 0;
    for (const SelectedPair& p : all.selected) numeric += p.score == p.score;
    ASSERT_TRUE(all.without_p_value > 0 && numeric + 20 < static_cast<std::int32_t>(all.selected.size()));
    for (std::int32_t max_pairs = numeric - 1; max_pairs < static_cast<std::int32_t>(all.selected.size()); max_pairs += 17)
        expect_same_on_both_paths(huge, {1, max_pairs}, "stop among NaN scores", Adjust::BH);
}

// The fast adjusted selection against the plain one (every pair's p-value,
// sorted, as BenjaminiHochberg does it), at levels where the cut lies among
// few, half or nearly all of the pairs; with room for few exact p-values it
// ranks the table instead, with the same result.
TEST(SelectionPaths, AdjustedSelectionAgreesWithAllPValues) {
    const test::Study noise(150, 12, 13, 51, false), ties(150, 9, 10, 52, true), huge = test::huge_values();
    // Class 2 a copy of class 1 for the first 40 genes: r1 = r2, T about 0, p
    // 1; 300 samples a class: the planted pairs' p-values underflow to 0.
    test::Study mirror(120, 8, 8, 53, false), large(60, 300, 300, 54, false);
    mirror.mirror_classes(40);
    Options bh;
    bh.adjust = Adjust::BH;
    bh.order = Order::PValue;
    ASSERT_EQ(analyse(large.view(), {0.05, 10}, bh).selected.back().p_value, 0.0);
    ASSERT_EQ(analyse(mirror.view(), {1, 100000}, bh).selected.back().p_value, 1.0);
    ASSERT_LT(analyse(ties.view(), {0.05, 10}, bh).tested, ties.genes * (ties.genes - 1) / 2);  // left out: no p-value
    int without_table = 0, runs = 0;
    for (const Criteria& a : {Criteria{0.05, 5}, Criteria{0.5, 300}, Criteria{0.99, 40}, Criteria{1, 30},
                              Criteria{0.2, 100000}, Criteria{0, 10}})
        for (Order order : {Order::Score, Order::PValue}) {
            for (const test::Study* study : {&noise, &ties, &huge, static_cast<const test::Study*>(&mirror),
                                             static_cast<const test::Study*>(&large)}) {
                without_table += expect_same_on_both_paths(*study, a, "BH", Adjust::BH, order);
                ++runs;
            }
            expect_same_on_both_paths(ties, a, "unadjusted", Adjust::None, order);
            // Few pairs kept in the first pass: the exact p-values come from
            // further passes; or too few allowed: the table.
            for (const test::Study* study : {&noise, static_cast<const test::Study*>(&mirror)})
                without_table += expect_same_on_both_paths(*study, a, "passes", Adjust::BH, order, 20000);
            runs += 2;
            expect_same_on_both_paths(noise, a, "few exact p-values", Adjust::BH, order, 40);
        }
    EXPECT_GT(without_table, runs * 3 / 4);  // all but equal scores in score order
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
        // The statistic's hints: NaN exactly without a p-value, else the
        // exact routine's T within the slack, or +infinity.
        for (int q = 0; q < count; ++q) {
            std::vector<double> hint(r1.size());
            kernels[q].hints(ecor_level(0.5, n1, n2), r1.data(), r2.data(), static_cast<std::int32_t>(r1.size()),
                             hint.data());
            int unsure = 0;
            for (std::size_t j = 0; j < p.size(); ++j) {
                double rho = 0, T = 0;
                const bool exists = !std::isnan(p[j]) && ecor_statistic(r1[j], r2[j], n1, n2, rho, T);
                ASSERT_EQ(std::isnan(hint[j]), !exists) << kernels[q].name << ": r1 " << r1[j] << ", r2 " << r2[j];
                if (exists && hint[j] != HUGE_VAL) {
                    ASSERT_LE(std::fabs(hint[j] - T), 1e-9 * (1 + std::fabs(T))) << kernels[q].name << ": r1 " << r1[j];
                }
                unsure += hint[j] == HUGE_VAL && T != HUGE_VAL;
            }
            EXPECT_LT(unsure, 40) << kernels[q].name;
        }
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
