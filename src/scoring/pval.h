#pragma once
#include <cmath>
#include <limits>

#include <boost/math/distributions/chi_squared.hpp>

namespace tivarne {

// The likelihood-ratio statistic of "both classes share one correlation" for
// class correlations r1, r2 from samples of n1 and n2 observations. rho is the
// maximum-likelihood common correlation, the admissible root (|rho| <= 1) of
//   A rho^2 + B rho + C = 0,  A = n1 r2 + n2 r1,  B = -(n1+n2)(1 + r1 r2),
//   C = n1 r1 + n2 r2,
// and T = n1 L1 + n2 L2 with Lk = ln((1 - rho rk)^2 / (1 - rk^2) / (1 - rho^2)).
// Returns false when there is no admissible root (also for NaN input).
template <class Real, class Int>
bool ecor_statistic(const Real& r1, const Real& r2, const Int& n1, const Int& n2, Real& rho,
                    Real& T) {
    const Real m1 = static_cast<Real>(n1), m2 = static_cast<Real>(n2);
    const Real A = m1 * r2 + m2 * r1;
    const Real B = -(static_cast<Real>(n1 + n2) * (1 + r1 * r2));
    const Real C = m1 * r1 + m2 * r2;
    const Real D = B * B - 4 * A * C;
    auto admissible = [](Real x) { return std::fabs(x) <= 1; };  // false for NaN, inf

    bool found = false;
    if (A == 0) {
        // The equation is linear.
        if (B != 0) {
            rho = -C / B;
            found = admissible(rho);
        }
    } else {
        Real plus = 3.0, minus = 3.0;
        if (D >= 0) {
            plus = (std::sqrt(D) - B) / (2 * A);
            minus = (-B - std::sqrt(D)) / (2 * A);
        }
        if (admissible(plus)) {
            rho = plus;
            found = true;
        } else if (admissible(minus)) {
            rho = minus;
            found = true;
        } else if (D >= 0) {
            // The textbook roots lose the small root to cancellation when
            // 4AC is tiny beside B^2; C/q is the stable form of the same root.
            const Real q = -(B + std::copysign(std::sqrt(D), B)) / 2;
            if (q != 0) {
                rho = C / q;
                found = admissible(rho);
            }
        }
    }
    if (!found) return false;

    const Real t1 = 1 - rho * r1;
    const Real t2 = 1 - rho * r2;
    const Real L1 = std::log(t1 * t1 / (1 - r1 * r1) / (1 - rho * rho));
    const Real L2 = std::log(t2 * t2 / (1 - r2 * r2) / (1 - rho * rho));
    T = m1 * L1 + m2 * L2;
    return true;
}

// ECOR p-value: P(chi-squared with 1 degree of freedom > T). A statistic that
// is finite and not positive gives 1 and +infinity gives 0. NaN when no
// p-value can be formed (a correlation is NaN, no admissible common
// correlation, or T is NaN or -infinity); such a pair is never significant.
template <class Real, class Int>
Real get_pval(const Real& r1, const Real& r2, const Int& n1, const Int& n2) {
    Real rho = 0, T = 0;
    const Real none = std::numeric_limits<Real>::quiet_NaN();
    if (!ecor_statistic(r1, r2, n1, n2, rho, T)) return none;
    if (std::isnan(T) || T == -std::numeric_limits<Real>::infinity()) return none;
    if (T == std::numeric_limits<Real>::infinity()) return 0;
    if (T <= 0) return 1;
    return boost::math::cdf(
        boost::math::complement(boost::math::chi_squared_distribution<Real>(1), T));
}

}  // namespace tivarne
