#pragma once
#include <cmath>
#include <cstddef>
#include <vector>

#include "stats/bicov.h"
#include "stats/median.h"

namespace tivarne {

// Per gene and class: median, MAD (unscaled) and biweight midvariance.
// medmad(g, .) = (median 1, median 2, MAD 1, MAD 2); bivar(g, .) = (midvar 1,
// midvar 2). Class 1 is every sample with a label above 0, class 2 the rest;
// class_sizes holds the two class sizes. Genes are independent: `threads`
// cores share them, each gene's values computed exactly as on one core.
template <class Data, class Labels, class Stats, class Sizes, class Int>
void per_gene_biweight_statistics(const Data& expression, const Labels& labels, Stats& bivar,
                                  Stats& medmad, const Int& samples, const Int& tuning,
                                  const Int& genes, const Sizes& class_sizes, int threads) {
#pragma omp parallel for schedule(dynamic, 64) num_threads(threads)
    for (Int g = 0; g < genes; ++g) {
        std::vector<double> v1, v2;
        for (Int j = 0; j < samples; ++j) {
            if (labels(j) > 0)
                v1.push_back(expression(j, g));
            else
                v2.push_back(expression(j, g));
        }
        const Int size1 = class_sizes(0), size2 = class_sizes(1);
        medmad(g, 0) = get_median(v1, size1);
        medmad(g, 1) = get_median(v2, size2);
        std::vector<double> d1(v1.size()), d2(v2.size());
        for (Int k = 0; k < size1; ++k) d1[k] = std::fabs(v1[k] - medmad(g, 0));
        for (Int k = 0; k < size2; ++k) d2[k] = std::fabs(v2[k] - medmad(g, 1));
        medmad(g, 2) = get_median(d1, size1);
        medmad(g, 3) = get_median(d2, size2);
        for (Int c = 0; c < 2; ++c) {
            const std::vector<double>& v = c == 0 ? v1 : v2;
            const std::vector<double>& d = c == 0 ? d1 : d2;
            const Int m = class_sizes(c);
            const double M = medmad(g, c), S = medmad(g, c + 2);
            double out = 0;
            get_bicov(v, v, d, d, tuning, m, M, M, S, S, out);
            bivar(g, c) = out;
        }
    }
}

// Biweight midcorrelation of genes i and k within class 1 (r1) and class 2
// (r2): midcov(i, k) / sqrt(midvar(i) * midvar(k)), with the medians, MADs and
// midvariances taken from medmad and bivar. NaN when either midvariance is 0.
// This is the plain per-pair routine: every other way of computing the
// correlations must agree with it bit for bit.
template <class Data, class Labels, class Stats, class Sizes, class Int, class Real>
void get_corr_biweight(const Data& expression, const Labels& labels, const Stats& bivar,
                       const Stats& medmad, const Int& samples, const Int& tuning, const Int& i,
                       const Int& k, const Sizes& class_sizes, Real& r1, Real& r2) {
    std::vector<Real> a1, b1, a2, b2;
    for (Int j = 0; j < samples; ++j) {
        if (labels(j) > 0) {
            a1.push_back(expression(j, i));
            b1.push_back(expression(j, k));
        } else {
            a2.push_back(expression(j, i));
            b2.push_back(expression(j, k));
        }
    }
    const Int size1 = class_sizes(0), size2 = class_sizes(1);
    std::vector<Real> da1(a1.size()), db1(b1.size()), da2(a2.size()), db2(b2.size());
    for (Int p = 0; p < size1; ++p) {
        da1[p] = std::fabs(a1[p] - medmad(i, 0));
        db1[p] = std::fabs(b1[p] - medmad(k, 0));
    }
    for (Int p = 0; p < size2; ++p) {
        da2[p] = std::fabs(a2[p] - medmad(i, 1));
        db2[p] = std::fabs(b2[p] - medmad(k, 1));
    }
    for (Int c = 0; c < 2; ++c) {
        const Int m = class_sizes(c);
        const Real Mi = medmad(i, c), Mk = medmad(k, c);
        const Real Si = medmad(i, c + 2), Sk = medmad(k, c + 2);
        Real cov = 0;
        if (c == 0)
            get_bicov(a1, b1, da1, db1, tuning, m, Mi, Mk, Si, Sk, cov);
        else
            get_bicov(a2, b2, da2, db2, tuning, m, Mi, Mk, Si, Sk, cov);
        const Real r = cov / std::sqrt(bivar(i, c) * bivar(k, c));
        (c == 0 ? r1 : r2) = r;
    }
}

}  // namespace tivarne
