// The lazy, parallel ranking against sort2 itself: the same keys and tags in
// every position made final, for ties, sorted and reversed input, and any
// sequence of partial requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "scoring/lazy_rank.h"
#include "scoring/sort2.h"

namespace tivarne {
namespace {

void check_against_sort2(std::vector<double> key, const LazyRanking::Tuning& tuning,
                         std::mt19937_64& rng) {
    const auto N = static_cast<std::int32_t>(key.size());
    std::vector<std::int32_t> tag(N);
    for (std::int32_t k = 0; k < N; ++k) tag[k] = k;
    std::vector<double> want_key = key;
    std::vector<std::int32_t> want_tag = tag;
    sort2(want_key.data(), want_tag.data(), N);

    LazyRanking lazy(key.data(), tag.data(), N, tuning);
    std::int64_t made = 0;
    while (made < N) {
        made = std::min<std::int64_t>(N, made + 1 + static_cast<std::int64_t>(rng() % (N / 3 + 1)));
        lazy.ensure(made);
        for (std::int64_t k = 0; k < made; ++k) {
            ASSERT_EQ(key[k], want_key[k]) << "N " << N << ", position " << k;
            ASSERT_EQ(tag[k], want_tag[k]) << "N " << N << ", position " << k;
        }
    }
}

TEST(LazyRanking, SameArrangementAsSort2) {
    std::mt19937_64 rng(2024);
    for (int trial = 0; trial < 600; ++trial) {
        const int N = trial < 120 ? trial : 1 + static_cast<int>(rng() % 4000);
        // Few distinct values make long runs of ties; many make nearly none.
        const int distinct[] = {1, 2, 3, 17, 1000000};
        const int d = distinct[trial % 5];
        std::vector<double> key(N);
        for (double& v : key) v = -static_cast<double>(rng() % d);
        if (trial % 7 == 1) std::sort(key.begin(), key.end());
        if (trial % 7 == 2) std::sort(key.rbegin(), key.rend());
        LazyRanking::Tuning tuning;
        // Tiny thresholds put every code path to work on small arrays.
        tuning.parallel_partition = 8 + static_cast<std::int64_t>(rng() % 64);
        tuning.task = 1 + static_cast<std::int64_t>(rng() % 40);
        tuning.chunk = 1 + static_cast<std::int64_t>(rng() % 37);
        check_against_sort2(key, tuning, rng);
    }
}

TEST(LazyRanking, LargeArraysWithDefaultTuning) {
    std::mt19937_64 rng(99);
    for (int d : {5, 1 << 30}) {
        std::vector<double> key(1 << 20);
        for (double& v : key) v = static_cast<double>(rng() % d) * 0.25;
        check_against_sort2(key, LazyRanking::Tuning{}, rng);
    }
}

TEST(LazyRanking, OnlyTheRequestedPrefixIsFinal) {
    std::mt19937_64 rng(5);
    std::vector<double> key(1 << 16);
    for (double& v : key) v = static_cast<double>(rng() % 1000);
    std::vector<std::int32_t> tag(key.size());
    for (std::size_t k = 0; k < tag.size(); ++k) tag[k] = static_cast<std::int32_t>(k);
    LazyRanking::Tuning tuning;
    tuning.task = 64;
    LazyRanking lazy(key.data(), tag.data(), static_cast<std::int64_t>(key.size()), tuning);
    lazy.ensure(10);
    EXPECT_TRUE(std::is_sorted(key.begin(), key.begin() + 10));
    EXPECT_FALSE(std::is_sorted(key.begin(), key.end()));
    for (std::size_t k = 10; k < key.size(); ++k) EXPECT_GE(key[k], key[9]);
}

}  // namespace
}  // namespace tivarne
