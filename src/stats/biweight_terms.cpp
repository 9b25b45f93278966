#include "stats/biweight_terms.h"

#include <cmath>

#include "stats/bicov.h"

namespace tivarne {

void compute_class_terms(const ExpressionView& expression, const LabelView& labels,
                         const StatMatrix& bivar, const StatMatrix& medmad, int threads,
                         ClassTerms terms[2]) {
    const std::size_t genes = expression.size2();
    const std::size_t samples = expression.size1();
    std::vector<std::size_t> members[2];
    for (std::size_t j = 0; j < samples; ++j) members[labels(j) > 0 ? 0 : 1].push_back(j);

    for (int c = 0; c < 2; ++c) {
        ClassTerms& t = terms[c];
        const std::vector<std::size_t>& rows = members[c];
        const std::size_t m = rows.size();
        t.m = static_cast<std::int32_t>(m);
        t.ld = (genes + kGenePadding - 1) / kGenePadding * kGenePadding;
        if (t.ld == 0) t.ld = kGenePadding;
        t.by_sample.assign(m * t.ld, 0.0);
        t.D.assign(t.ld, 0.0);
        t.bivar.assign(t.ld, 0.0);
        const double cutoff_scale = static_cast<double>(kTuning);
#pragma omp parallel for schedule(static) num_threads(threads)
        for (std::size_t g = 0; g < genes; ++g) {
            const double M = medmad(g, c);
            const double cx = cutoff_scale * medmad(g, c + 2);
            double D = 0;
            for (std::size_t s = 0; s < m; ++s) {
                const double x = expression(rows[s], g);
                const double u = std::fabs(x - M) / cx;
                const bool inside = std::fabs(u) < 1;  // false for NaN
                const double u2 = u * u;
                const double w = inside ? (1 - u2) * (1 - u2) : 0;
                const double a = w * (x - M);
                t.by_sample[s * t.ld + g] = a;
                if (inside) D += (1 - u2) * (1 - 5 * u2);
            }
            t.D[g] = D;
            t.bivar[g] = bivar(g, c);
        }
    }
}

}  // namespace tivarne
