#include "scoring/scoring.h"

#include "scoring/pair_index.h"
#include "stats/bicov.h"
#include "stats/biweight.h"

namespace tivarne {

void score_all_pairs(const ExpressionView& expression, const LabelView& labels,
                     const StatMatrix& bivar, const StatMatrix& medmad, const LabelVector& class_sizes,
                     PairTable& table, ProgressReporter& progress) {
    const std::int32_t genes = static_cast<std::int32_t>(expression.size2());
    const std::int32_t samples = static_cast<std::int32_t>(expression.size1());
    const int tuning = kTuning;
    table = PairTable{};
    const auto npairs = static_cast<std::size_t>(PairIndex(genes).pairs());
    table.r1.reserve(npairs);
    table.r2.reserve(npairs);
    table.negScore.reserve(npairs);
    table.geneX.reserve(npairs);
    table.geneY.reserve(npairs);
    if (genes - 1 <= 0) return;

    for (std::int32_t i = 0; i <= genes - 2 && !progress.stopped(); ++i) {
        for (std::int32_t j = i + 1; j <= genes - 1; ++j) {
            table.geneX.push_back(i);
            table.geneY.push_back(j);
            const double c = pair_weight(bivar(i, 0), bivar(i, 1), bivar(j, 0), bivar(j, 1));
            double r1 = 0, r2 = 0;
            get_corr_biweight(expression, labels, bivar, medmad, samples, tuning, i, j, class_sizes,
                              r1, r2);
            table.r1.push_back(r1);
            table.r2.push_back(r2);
            table.negScore.push_back(-pair_score(c, r1, r2));
        }
        progress.add(genes - 1 - i);
    }
}

}  // namespace tivarne
