#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/error.h"

namespace tivarne {

// Median of the first `count` values of `x` (count equals the length of x).
// Works on a copy; x is left untouched. For an even count it is the mean of
// the two middle order statistics. The order statistics come from
// nth_element (the same values a sort puts there); with a NaN among the
// values, whose place depends on the algorithm, or a zero (which one of
// -0 and +0 lands in the middle does too), from the sort as always.
template <class Seq, class Int>
double get_median(const Seq& x, const Int& count) {
    if (count < 1) fail(Error::Kind::Internal, message::kMedianOfNothing);
    std::vector<double> s(x.begin(), x.end());
    const double m = static_cast<double>(count);
    const bool even = std::fmod(m, 2.0) < 1e-10;
    const auto mid = static_cast<std::size_t>(even ? m / 2 : m * 0.5 - 0.5);
    double below = 0;  // with an even count, the order statistic before mid
    if (std::any_of(s.begin(), s.end(), [](double v) { return v != v || v == 0; })) {
        std::sort(s.begin(), s.end());
        below = even ? s[mid - 1] : 0;
    } else {
        std::nth_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(mid), s.end());
        if (even) below = *std::max_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(mid));
    }
    return even ? (below + s[mid]) * 0.5 : s[mid];
}

}  // namespace tivarne
