// Label permutations against a plain computation that keeps every null
// p-value: the same empirical p-values and FDR estimates, bit for bit, on 1
// and 2 threads, whole or in shards merged in any order; and the refusals.

#include "analysis/permutations.h"
#include "scoring/ecor_filter.h"
#include "scoring/pval.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

// Every pair's p-value (NaN-free: the pairs that have one) under `labels`.
std::vector<double> all_p_values(const test::Study& study, const std::vector<std::int32_t>& labels, PValue route) {
    DataView view = study.view();
    view.labels = labels.data();
    Options every;
    every.testing.engine = Engine::Straightforward;
    every.order = Order::PValue;
    every.p_value = route;
    std::vector<double> p;
    for (const SelectedPair& pair : analyse(view, {2, INT32_MAX}, every).selected) p.push_back(pair.p_value);
    return p;
}

// Of sorted p-values, those at or below a threshold.
double at_or_below(const std::vector<double>& sorted, double threshold) {
    return static_cast<double>(std::upper_bound(sorted.begin(), sorted.end(), threshold) - sorted.begin());
}

// The empirical p-values and FDR estimates of `selected`, from every null p-value kept.
void expect_plain_values(const test::Study& study, const Result& got, std::int32_t n, std::uint64_t seed,
                         PValue route) {
    std::vector<double> null;
    for (std::int32_t t = 0; t < n; ++t) {
        const std::vector<double> p =
            all_p_values(study, permuted_labels(study.labels.data(), study.samples, seed, t), route);
        null.insert(null.end(), p.begin(), p.end());
    }
    std::vector<double> observed = all_p_values(study, study.labels, route);
    std::sort(null.begin(), null.end());
    std::sort(observed.begin(), observed.end());
    ASSERT_FALSE(got.selected.empty());
    std::vector<double> selected;  // the selected p-values, largest first
    for (const SelectedPair& pair : got.selected) selected.push_back(pair.p_value);
    std::sort(selected.rbegin(), selected.rend());
    for (const SelectedPair& pair : got.selected) {
        const double c = at_or_below(null, pair.p_value);
        EXPECT_TRUE(test::same_bits(pair.p_perm, (1 + c) / (1 + static_cast<double>(null.size()))));
        double fdr = 1;  // the smallest raw estimate at this p-value or any larger selected one
        for (double other : selected) {
            if (other < pair.p_value) break;
            fdr = std::min(fdr, at_or_below(null, other) / n / at_or_below(observed, other));
        }
        ASSERT_TRUE(test::same_bits(pair.fdr, fdr)) << pair.fdr << " against " << fdr;
    }
}

TEST(Permutations, AgreeWithEveryNullPValueKept) {
    const test::Study study(70, 7, 9, 71, true);
    // A short selection, and every pair (thresholds as dense as the pairs).
    for (const auto& [route, criteria] : {std::pair(PValue::Ecor, Criteria{0.2, 60}),
                                          std::pair(PValue::Calibrated, Criteria{1, 100000})}) {
        Options options;
        options.permutations = 5;
        options.seed = 12345;
        options.p_value = route;
        options.order = Order::PValue;
        std::string summary;
        for (int threads : {1, 2}) {
            options.threads = threads;
            const Result got = analyse(study.view(), criteria, options);
            expect_plain_values(study, got, 5, 12345, route);
            if (threads == 2) {
                EXPECT_EQ(got.null_summary, summary);  // integer counts: no thread dependence
            }
            summary = got.null_summary;
        }
    }
}

TEST(Permutations, ShardsMergeInAnyOrderToTheWholeRun) {
    const test::Study study(50, 8, 8, 72, true);
    Options options;
    options.permutations = 6;
    options.seed = 9;
    options.threads = 2;
    const Criteria criteria{0.05, 25};
    const Result whole = analyse(study.view(), criteria, options);
    std::vector<std::string> shards;
    for (const auto& [from, to] : {std::pair(0, 2), std::pair(2, 5), std::pair(5, -1)}) {
        Options shard = options;
        shard.permutations_from = from, shard.permutations_to = to;
        const Result part = analyse(study.view(), criteria, shard);
        ASSERT_FALSE(part.selected.empty());
        EXPECT_TRUE(std::isnan(part.selected[0].p_perm));  // a shard alone has no empirical values
        shards.push_back(part.null_summary);
    }
    for (const std::vector<int>& order : {std::vector<int>{0, 1, 2}, {2, 0, 1}, {1, 2, 0}}) {
        Options merging = options;
        for (int s : order) merging.null_summaries.push_back(shards[static_cast<std::size_t>(s)]);
        const Result merged = analyse(study.view(), criteria, merging);
        EXPECT_EQ(merged.null_summary, whole.null_summary);
        EXPECT_EQ(test::fingerprint(merged), test::fingerprint(whole));
        for (std::size_t j = 0; j < merged.selected.size(); ++j) {
            EXPECT_TRUE(test::same_bits(merged.selected[j].p_perm, whole.selected[j].p_perm));
            EXPECT_TRUE(test::same_bits(merged.selected[j].fdr, whole.selected[j].fdr));
        }
    }
    // Streamed pairs carry their values too.
    std::vector<SelectedPair> streamed;
    Options streaming = options;
    streaming.on_selected = [&](const SelectedPair& p) { streamed.push_back(p); };
    EXPECT_TRUE(analyse(study.view(), criteria, streaming).selected.empty());
    ASSERT_EQ(streamed.size(), whole.selected.size());
    EXPECT_TRUE(test::same_bits(streamed.back().fdr, whole.selected.back().fdr));

    // Overlapping, missing, foreign.
    Options bad = options;
    bad.null_summaries = {shards[0], shards[1], shards[1], shards[2]};
    EXPECT_ERROR(analyse(study.view(), criteria, bad),
                 "Null summaries 2 and 3 both hold permutation 2: merge each range of permutations once.");
    bad.null_summaries = {shards[2], shards[0]};
    EXPECT_ERROR(analyse(study.view(), criteria, bad),
                 "The null summaries miss permutations 2 to 4: run that range and merge its summary too.");
    bad.null_summaries = shards;
    bad.seed = 10;
    EXPECT_ERROR(analyse(study.view(), criteria, bad),
                 "Null summary 1 was made from other data or options (data, classes, level, pairs, adjust, "
                 "order, p-value, permutations or seed differ): make every shard with the same.");
}

// The cheap condition before the bulk decision: a pair it rules out has a
// p-value, above the level, for every kind of pair and class size.
TEST(Permutations, PairsRuledOutCheaplyHaveAPValueAboveTheLevel) {
    std::mt19937_64 rng(81);
    std::uniform_real_distribution<double> unit(-0.99, 0.99), small(-0.05, 0.05);
    std::int64_t ruled_out = 0;
    for (const auto& [n1, n2] : {std::pair(1, 1), std::pair(17, 17), std::pair(2, 300), std::pair(97, 997)})
        for (double level : {0.9999, 0.5, 0.05, 1e-3, 1e-9, 1e-200}) {
            const EcorLevel lv = ecor_level(level, n1, n2);
            const double bound = may_pass_bound(lv.t_fail, lv.m1, lv.m2);
            for (int k = 0; k < 200000; ++k) {
                const double r1 = unit(rng), r2 = k % 3 == 0 ? r1 + small(rng) * (k % 2 ? 1 : 1e-6) : unit(rng);
                if (may_pass(r1, r2, bound)) continue;
                ++ruled_out;
                const double p = get_pval(r1, r2, n1, n2);
                ASSERT_TRUE(p > level) << r1 << " " << r2 << " " << n1 << " " << n2 << " " << level << ": " << p;
            }
        }
    EXPECT_GT(ruled_out, 1000000);
    EXPECT_TRUE(may_pass(0.995, 0.995, 1.0) && may_pass(std::nan(""), 0, 1.0));
    EXPECT_LT(may_pass_bound(0, 10, 10), 0);
}

TEST(Permutations, UnusableSettingsAreRefused) {
    const test::Study study(20, 3, 4, 73, false);
    Options o;
    o.permutations = -2;
    EXPECT_ERROR(analyse(study.view(), {}, o),
                 "The number of permutations must be at least 1 (0 runs none); got -2.");
    o.permutations = 36;  // C(7, 3) = 35
    EXPECT_ERROR(analyse(study.view(), {}, o),
                 "36 permutations asked for, but classes of 3 and 4 samples have only 35 distinct "
                 "labelings: ask for at most 35.");
    o.permutations = 35;
    o.permutations_from = 30, o.permutations_to = 40;
    EXPECT_ERROR(analyse(study.view(), {}, o),
                 "The range of permutations 30 to 40 (the last excluded) is not within 0 to 35: the first "
                 "must lie below the last, the last at most the number of permutations.");
    EXPECT_EQ(distinct_labelings(50, 50, INT64_MAX / 2), INT64_MAX / 2);
    EXPECT_EQ(distinct_labelings(10, 10, 1 << 30), 184756);
    // A permutation keeps the labels (their counts) and depends on the seed and its index only.
    const std::vector<std::int32_t> a = permuted_labels(study.labels.data(), 7, 3, 4);
    EXPECT_EQ(std::count(a.begin(), a.end(), 1), 3);
    EXPECT_EQ(a, permuted_labels(study.labels.data(), 7, 3, 4));
    EXPECT_NE(a, permuted_labels(study.labels.data(), 7, 3, 5));
}

}  // namespace
}  // namespace tivarne
