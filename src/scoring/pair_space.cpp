#include "scoring/pair_space.h"

#include <cmath>

#include "scoring/ecor_filter.h"
#include "scoring/pval.h"
#include "stats/bicov.h"

namespace tivarne {
namespace scalar {

inline double vsqrt(double x) { return std::sqrt(x); }
inline double vabs(double x) { return std::fabs(x); }
inline double vmax_gt(double a, double b) { return a > b ? a : b; }
inline double vinvert_gt(double c) { return c > 1.0 ? 1.0 / c : c; }

#include "scoring/pair_math.inc"

}  // namespace scalar

void PairIndex::pair_at(std::int64_t p, std::int32_t& i, std::int32_t& k) const {
    // Estimate the row from the quadratic and correct it by whole rows.
    const std::int64_t genes = genes_;
    const double b = 2 * static_cast<double>(genes) - 1;
    std::int64_t r = static_cast<std::int64_t>((b - std::sqrt(b * b - 8.0 * static_cast<double>(p))) / 2);
    if (r < 0) r = 0;
    if (r > genes - 2) r = genes - 2;
    while (r > 0 && position(r, r + 1) > p) --r;
    while (r + 1 <= genes - 2 && position(r + 1, r + 2) <= p) ++r;
    i = static_cast<std::int32_t>(r);
    k = static_cast<std::int32_t>(p - row_first(r));
}

PValueSizes PValueSizes::of(std::int32_t class1, std::int32_t class2, PValue route) {
    const std::int32_t less = route == PValue::Calibrated ? 3 : 0;
    return {class1 - less, class2 - less};
}

double PValueSizes::p_value(double r1, double r2) const { return get_pval(r1, r2, n1, n2); }

double PValueSizes::statistic(double r1, double r2) const {
    double rho = 0, T = 0;
    if (!ecor_statistic(r1, r2, n1, n2, rho, T) || std::isnan(T) || T == -HUGE_VAL) return std::nan("");
    return T;
}

EcorLevel PValueSizes::level(double level) const { return ecor_level(level, n1, n2); }

PairValues PairSpace::values(std::int32_t i, std::int32_t k) const {
    double r[2];
    for (int c = 0; c < 2; ++c) {
        const ClassTerms& t = terms_[c];
        const std::size_t m = static_cast<std::size_t>(t.m);
        // The kernels' layout, one gene a column: no second copy of the terms
        // (the whole data again) for the few pairs recomputed one by one.
        const double* ai = t.by_sample.data() + i;
        const double* ak = t.by_sample.data() + k;
        double P = 0;
        for (std::size_t s = 0; s < m; ++s) P = P + ai[s * t.ld] * ak[s * t.ld];
        r[c] = scalar::class_correlation(P, t.D[i], t.D[k], t.bivar[i], t.bivar[k], static_cast<double>(t.m));
    }
    PairValues v;
    v.r1 = r[0];
    v.r2 = r[1];
    v.c = scalar::pair_weight_of(terms_[0].bivar[i], terms_[1].bivar[i], terms_[0].bivar[k], terms_[1].bivar[k]);
    v.score = scalar::pair_score_of(v.c, v.r1, v.r2);
    return v;
}

}  // namespace tivarne
