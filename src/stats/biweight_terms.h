#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/containers.h"
#include "stats/padding.h"

namespace tivarne {

// The per-gene halves of the biweight midcovariance within one class. For
// gene g and the class's samples s (in sample order), with median M, MAD S and
// u = |x - M| / (tuning * S):
//   a_g[s] = w * (x - M),  w = (1 - u^2)^2 if |u| < 1, else 0
//   D_g    = sum over |u| < 1 of (1 - u^2)(1 - 5 u^2)
// so that midcov(i, k) = m * P / (D_i * D_k + kTiny) with P = sum_s a_i[s] a_k[s]
// summed in sample order: the same terms, in the same order, as the direct
// per-pair computation, hence the same bits.
struct ClassTerms {
    std::int32_t m = 0;               // samples in the class
    std::size_t ld = 0;               // row stride of `by_sample` (genes, padded)
    std::vector<double> by_sample;    // a_g[s] at s * ld + g; padding is 0
    std::vector<double> D;            // D_g
    std::vector<double> bivar;        // midvariance of gene g in this class
};


// Terms of both classes (class 1 first) from the data and its per-gene
// statistics, the genes shared by `threads` cores.
void compute_class_terms(const ExpressionView& expression, const LabelView& labels,
                         const StatMatrix& bivar, const StatMatrix& medmad, int threads,
                         ClassTerms terms[2]);

}  // namespace tivarne
