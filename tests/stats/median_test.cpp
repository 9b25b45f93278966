#include "stats/median.h"

#include <gtest/gtest.h>

#include <vector>

namespace tivarne {
namespace {

double median_of(std::vector<double> values) {
    const int count = static_cast<int>(values.size());
    return get_median(values, count);
}

TEST(GetMedian, OddAndEvenCounts) {
    EXPECT_EQ(median_of({42.5}), 42.5);
    EXPECT_EQ(median_of({3, 1}), 2.0);
    EXPECT_EQ(median_of({1, 3}), 2.0);
    EXPECT_EQ(median_of({3, 1, 2, 5, 4}), 3.0);
    EXPECT_EQ(median_of({4, 1, 3, 2}), 2.5);
}

TEST(GetMedian, RepeatedAndNegativeValues) {
    EXPECT_EQ(median_of({7, 7, 7, 1}), 7.0);
    EXPECT_EQ(median_of({0, 0, 5, 5}), 2.5);
    EXPECT_EQ(median_of({-3, -1, -2}), -2.0);
    EXPECT_EQ(median_of({-4, 6}), 1.0);
}

TEST(GetMedian, LeavesTheInputInItsOrder) {
    const std::vector<double> values{9, -1, 4, 4, 0.5, 12};
    std::vector<double> copy = values;
    const int count = 6;
    EXPECT_EQ(get_median(copy, count), 4.0);
    EXPECT_EQ(copy, values);
}

}  // namespace
}  // namespace tivarne
