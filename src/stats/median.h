#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/error.h"

namespace tivarne {

// Median of the first `count` values of `x` (count equals the length of x).
// Works on a sorted copy; x is left untouched. For an even count it is the
// mean of the two middle order statistics.
template <class Seq, class Int>
double get_median(const Seq& x, const Int& count) {
    if (count < 1) fail(Error::Kind::Internal, message::kMedianOfNothing);
    std::vector<double> s(x.begin(), x.end());
    std::sort(s.begin(), s.end());
    const double m = static_cast<double>(count);
    if (std::fmod(m, 2.0) < 1e-10)
        return (s[static_cast<std::size_t>(m / 2 - 1)] + s[static_cast<std::size_t>(m / 2)]) * 0.5;
    return s[static_cast<std::size_t>(m * 0.5 - 0.5)];
}

}  // namespace tivarne
