// The ranking sort: sort2 on hand-traced sequences, sort2 sorting and the lazy
// parallel ranking against it, and where pairs whose score is not a number go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "scoring/lazy_rank.h"
#include "scoring/ranking.h"
#include "scoring/sort2.h"

namespace tivarne {
namespace {

using Keys = std::vector<double>;
using Tags = std::vector<std::int32_t>;

Tags identity(std::size_t size) {
    Tags tags(size);
    std::iota(tags.begin(), tags.end(), 0);
    return tags;
}

TEST(Sort2, HandTracedArrangements) {
    const struct {
        Keys key;
        Tags tag;  // the arrangement traced by hand through the steps
    } rows[] = {
        // The middle key goes to position 1, the samples are ordered
        // (exchanges 0-7 and 0-1), the pivot is 1; the scans exchange 2-6 and
        // 3-4 and cross at j = 3; [4..7] is pushed, [0..2] insertion-sorted.
        {{2, 1, 2, 0, 1, 2, 0, 1}, {3, 6, 4, 7, 1, 5, 2, 0}},
        // All equal: the scans stop everywhere, exchanging 2-6, 3-5 and 4
        // with itself; the pivot swap brings tag 5 to position 1.
        {Keys(8, 0.25), {0, 5, 6, 3, 4, 1, 2, 7}},
        // Seven elements: insertion only, equal keys keep their order.
        {{1, 0, 1, 0, 1, -2, 0}, {5, 1, 3, 6, 0, 2, 4}},
        {{}, {}},
        {{3.5}, {0}},
    };
    for (const auto& row : rows) {
        Keys key = row.key;
        Tags tag = identity(key.size());
        sort2(key, tag);
        EXPECT_EQ(tag, row.tag);
        EXPECT_TRUE(std::is_sorted(key.begin(), key.end()));
    }
}

void check_lazy_against_sort2(Keys key, const LazyRanking::Tuning& tuning, std::mt19937_64& rng) {
    const auto N = static_cast<std::int32_t>(key.size());
    Tags tag = identity(key.size());
    Keys want_key = key;
    Tags want_tag = tag;
    sort2(want_key.data(), want_tag.data(), N);
    ASSERT_TRUE(std::is_sorted(want_key.begin(), want_key.end()));
    for (std::int32_t k = 0; k < N; ++k) ASSERT_EQ(want_key[k], key[want_tag[k]]);  // a rearrangement
    LazyRanking lazy(key.data(), tag.data(), N, 2, tuning);
    // Windows anywhere, then growing prefixes; what was made final stays so.
    std::vector<bool> final(key.size());
    for (std::int64_t made = 0, round = 0; made < N; ++round) {
        std::int64_t a = 0, b = 0;
        if (round % 2 == 0 && N > 2) {
            a = static_cast<std::int64_t>(rng() % N);
            b = std::min<std::int64_t>(N, a + 1 + static_cast<std::int64_t>(rng() % (N / 5 + 1)));
            lazy.ensure(a, b);
        } else {
            made = std::min<std::int64_t>(N, made + 1 + static_cast<std::int64_t>(rng() % (N / 3 + 1)));
            lazy.ensure(made);
            b = made;
        }
        for (std::int64_t k = a; k < b; ++k) final[k] = true;
        for (std::int64_t k = 0; k < N; ++k)
            ASSERT_TRUE(!final[k] || (key[k] == want_key[k] && tag[k] == want_tag[k])) << "N " << N << ", at " << k;
    }
}

TEST(LazyRanking, SameArrangementAsSort2) {
    std::mt19937_64 rng(2024);
    for (int trial = 0; trial < 250; ++trial) {
        const int N = trial < 60 ? trial : 1 + static_cast<int>(rng() % 3000);
        const int distinct[] = {1, 2, 3, 17, 1000000};  // long runs of ties to nearly none
        Keys key(N);
        for (double& v : key) v = -static_cast<double>(rng() % distinct[trial % 5]);
        if (trial % 7 == 1) std::sort(key.begin(), key.end());
        if (trial % 7 == 2) std::sort(key.rbegin(), key.rend());
        LazyRanking::Tuning tuning;  // tiny thresholds put every path to work
        tuning.parallel_partition = 8 + static_cast<std::int64_t>(rng() % 64);
        tuning.task = 1 + static_cast<std::int64_t>(rng() % 40);
        tuning.chunk = 1 + static_cast<std::int64_t>(rng() % 37);
        check_lazy_against_sort2(key, tuning, rng);
    }
    for (int d : {5, 1 << 30}) {  // a large array with the default tuning
        Keys key((1 << 20) + 3);
        for (double& v : key) v = static_cast<double>(rng() % d) * 0.25;
        check_lazy_against_sort2(key, LazyRanking::Tuning{}, rng);
    }
}

TEST(RankScores, NanScoresLastInTableOrderTheRestAsSort2OrdersThemAlone) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        Keys table(std::uniform_int_distribution<int>(0, 300)(rng)), numeric;
        Tags positions, nan_positions;
        for (std::size_t p = 0; p < table.size(); ++p) {
            const bool is_nan = rng() % 4 == 0;
            table[p] = is_nan ? nan : -static_cast<double>(rng() % 6) / 4;  // many ties
            if (!is_nan) numeric.push_back(table[p]);
            (is_nan ? nan_positions : positions).push_back(static_cast<std::int32_t>(p));
        }
        sort2(numeric, positions);
        positions.insert(positions.end(), nan_positions.begin(), nan_positions.end());
        Tags rankOrder;
        rank_scores(table, rankOrder);
        ASSERT_EQ(rankOrder, positions);
        for (std::size_t k = 0; k < table.size(); ++k)
            ASSERT_TRUE(k < numeric.size() ? table[k] == numeric[k] : std::isnan(table[k]));
    }
}

}  // namespace
}  // namespace tivarne
