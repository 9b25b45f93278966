#include "scoring/ecor_filter.h"

#include <cmath>
#include <limits>

#include <boost/math/distributions/chi_squared.hpp>

namespace tivarne {
namespace {

// The p-value of a finite positive statistic, as get_pval computes it.
double tail(double T) {
    return boost::math::cdf(boost::math::complement(boost::math::chi_squared_distribution<double>(1), T));
}

}  // namespace

EcorLevel ecor_level(double level, std::int32_t class1, std::int32_t class2) {
    EcorLevel lv{};
    lv.m1 = static_cast<double>(class1);
    lv.m2 = static_cast<double>(class2);
    lv.n12 = static_cast<double>(class1 + class2);
    lv.finite_passes = level >= 1;  // every p-value is at most 1
    lv.zero_passes = level >= 0;
    const double inf = std::numeric_limits<double>::infinity();
    if (lv.finite_passes) {
        lv.t_fail = lv.t_pass = -inf;
        return lv;
    }
    if (!lv.zero_passes) {  // a negative level, or not a number: nothing passes
        lv.t_fail = lv.t_pass = inf;
        return lv;
    }
    // p(T) falls from 1 towards 0 and reaches 0 (underflow) near T = 1500:
    // bisect for the smallest T with p(T) <= level.
    double lo = 0, hi = 1;
    while (!(tail(hi) <= level) && hi < 1e6) hi *= 2;
    for (int step = 0; step < 200 && lo < hi; ++step) {
        const double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi) break;
        (tail(mid) <= level ? hi : lo) = mid;
    }
    lv.t_pass = hi * (1 + 1e-7) + 1e-300;
    lv.t_fail = lo * (1 - 1e-7);
    return lv;
}

}  // namespace tivarne
