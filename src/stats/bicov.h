#pragma once
#include <cmath>

namespace tivarne {

// Guards the denominator of the biweight midcovariance against zero.
constexpr double kTiny = 1e-20;

// The biweight tuning constant: observations more than 9 MADs from the
// median get weight 0.
constexpr int kTuning = 9;

// Biweight midcovariance of two samples of m observations with locations Mx,
// My, scales Sx, Sy (unscaled MADs) and absolute deviations dx, dy:
//   m * sum (x-Mx) wx (y-My) wy / (sum (1-u^2)(1-5u^2) * sum (1-v^2)(1-5v^2) + kTiny)
// with u = dx/(tuning*Sx), wx = (1-u^2)^2 for |u| < 1 and 0 otherwise (likewise
// v, wy); each denominator sum runs over its own sample's inside observations.
// With x = y it is the biweight midvariance. A zero scale puts every
// observation outside (u infinite or NaN), which gives exactly 0.
template <class Seq, class Int, class Real>
void get_bicov(const Seq& x, const Seq& y, const Seq& dx, const Seq& dy, const Int& tuning,
               const Int& m, const Real& Mx, const Real& My, const Real& Sx, const Real& Sy,
               Real& out) {
    out = 0;
    if (m == 0) {
        out = static_cast<Real>(m) * 0 / (0 + kTiny);
        return;
    }
    const Real cx = static_cast<Real>(tuning) * Sx;
    const Real cy = static_cast<Real>(tuning) * Sy;
    Real P = 0, Dx = 0, Dy = 0;
    for (Int i = 0; i < m; ++i) {
        const Real ux = dx[i] / cx;
        const Real uy = dy[i] / cy;
        const bool inx = std::fabs(ux) < 1;  // false for NaN
        const bool iny = std::fabs(uy) < 1;
        const Real ux2 = ux * ux;
        const Real uy2 = uy * uy;
        const Real wx = inx ? (1 - ux2) * (1 - ux2) : 0;
        const Real wy = iny ? (1 - uy2) * (1 - uy2) : 0;
        P += (wx * (x[i] - Mx)) * (wy * (y[i] - My));
        if (inx) Dx += (1 - ux2) * (1 - 5 * ux2);
        if (iny) Dy += (1 - uy2) * (1 - 5 * uy2);
    }
    out = (static_cast<Real>(m) * P) / (Dx * Dy + kTiny);
}

}  // namespace tivarne
