#pragma once
#include <cmath>

#include "core/containers.h"
#include "core/progress.h"
#include "scoring/pair_table.h"

namespace tivarne {

// Weight of a pair from the midvariances: A and B are the larger class-1 and
// class-2 midvariances of the two genes, c = min(A/B, 1/(A/B)).
inline double pair_weight(double a1, double b1, double a2, double b2) {
    double A = a1, B = b1;
    if (a2 > A) A = a2;
    if (b2 > B) B = b2;
    double c = A / B;
    if (c > 1.0) c = 1.0 / c;
    return c;
}

// The score c * |r1 - r2|. When both factors are NaN (a pair of genes without
// spread in either class), IEEE arithmetic may return either NaN and compilers
// order the factors as they please; the score is then |r1 - r2|, a NaN without
// sign, so that every build and engine prints it alike.
inline double pair_score(double c, double r1, double r2) {
    const double d = std::fabs(r1 - r2);
    return std::isnan(d) ? d : c * d;
}

// The straightforward scoring pass: every gene pair through the per-pair
// routines into `table` (r1, r2, -c*|r1-r2|, gene indices), in pair order.
// One thread; stops early, leaving the table incomplete, when asked to.
void score_all_pairs(const ExpressionView& expression, const LabelView& labels,
                     const StatMatrix& bivar, const StatMatrix& medmad, const LabelVector& class_sizes,
                     PairTable& table, ProgressReporter& progress);

}  // namespace tivarne
