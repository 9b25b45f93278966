#include "scoring/sort2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace tivarne {
namespace {

using Keys = std::vector<double>;
using Tags = std::vector<std::int32_t>;

Tags identity(std::size_t size) {
    Tags tags(size);
    std::iota(tags.begin(), tags.end(), 0);
    return tags;
}

TEST(Sort2, EightKeysWithTiesHandTraced) {
    // Traced by hand through the steps of the algorithm. l = 0, ir = 7: the
    // middle key (k = 3) goes to position 1, the three samples are ordered
    // (exchanges 0-7 and 0-1), the pivot is 1; the scans exchange positions
    // 2-6 and 3-4 and cross at j = 3, where the pivot is placed. The right part
    // [4..7] is pushed, [0..2] is sorted by insertion (tag 6 moves before tag
    // 4), then [4..7] is already in order.
    Keys key{2, 1, 2, 0, 1, 2, 0, 1};
    Tags tag = identity(8);
    sort2(key, tag);
    EXPECT_EQ(key, (Keys{0, 0, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(tag, (Tags{3, 6, 4, 7, 1, 5, 2, 0}));
}

TEST(Sort2, EightEqualKeysHandTraced) {
    // Traced by hand: the middle element moves to position 1 (tag 3); no
    // sample comparison exchanges; the scans stop at every element, exchanging
    // 2-6, 3-5 and 4 with itself, and cross at j = 3; the pivot swap brings tag
    // 5 to position 1 and tag 3 to position 3; the insertion passes move nothing.
    Keys key(8, 0.25);
    Tags tag = identity(8);
    sort2(key, tag);
    EXPECT_EQ(key, Keys(8, 0.25));
    EXPECT_EQ(tag, (Tags{0, 5, 6, 3, 4, 1, 2, 7}));
}

TEST(Sort2, ShortRangesKeepTheOrderOfEqualKeys) {
    Keys key{1, 0, 1, 0, 1, -2, 0};
    Tags tag = identity(7);
    sort2(key, tag);
    EXPECT_EQ(key, (Keys{-2, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(tag, (Tags{5, 1, 3, 6, 0, 2, 4}));

    Keys none;
    Tags no_tags;
    sort2(none, no_tags);
    EXPECT_TRUE(none.empty());

    Keys one{3.5};
    Tags one_tag{0};
    sort2(one, one_tag);
    EXPECT_EQ(one_tag, Tags{0});
}

TEST(Sort2, SortedAndReversedInput) {
    const std::size_t size = 40;
    Keys sorted(size);
    for (std::size_t k = 0; k < size; ++k) sorted[k] = -20.0 + 0.5 * static_cast<double>(k);

    Keys key = sorted;
    Tags tag = identity(size);
    sort2(key, tag);
    EXPECT_EQ(key, sorted);
    EXPECT_EQ(tag, identity(size));

    Keys reversed(sorted.rbegin(), sorted.rend());
    tag = identity(size);
    sort2(reversed, tag);
    EXPECT_EQ(reversed, sorted);
    Tags expected = identity(size);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(tag, expected);
}

TEST(Sort2, RandomKeysSortedWithTagsCarried) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 3000)(rng);
        // Half of the rounds draw from a few values, so ties are frequent.
        const int distinct = round % 2 ? 5 : 1000000;
        std::uniform_int_distribution<int> draw(-distinct, distinct);
        Keys original(size);
        for (double& v : original) v = draw(rng) / 7.0;

        Keys key = original;
        Tags tag = identity(size);
        sort2(key, tag);
        ASSERT_TRUE(std::is_sorted(key.begin(), key.end())) << "size " << size;
        Tags seen = tag;
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen, identity(size)) << "size " << size;
        for (std::size_t k = 0; k < size; ++k) ASSERT_EQ(key[k], original[tag[k]]);
    }
}

}  // namespace
}  // namespace tivarne
