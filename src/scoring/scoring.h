#pragma once
#include <cmath>

#include "input/types.h"
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

// The scoring listing: its two header lines, and one line per pair with
// 1-based gene numbers.
void print_pair_listing_header();
void print_pair_line(std::int32_t i, std::int32_t j, double score, double r1, double r2, double c);

// Scores every gene pair into `table` (r1, r2, -c*|r1-r2|, gene indices) and
// lists the first 100 pairs on standard output.
void score_all_pairs(const ExpressionMatrix& expression, const LabelVector& labels,
                     const StatMatrix& bivar, const StatMatrix& medmad, const LabelVector& nclass,
                     const int& tuning, PairTable& table);

}  // namespace tivarne
