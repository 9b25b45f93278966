#include "scoring/scoring.h"

#include <cmath>
#include <cstdio>

#include "driver/progress.h"
#include "input/sizes.h"
#include "stats/biweight.h"

namespace tivarne {

void print_pair_listing_header() {
    std::puts("biweight midcorrelations and scores: (first 100 pairs)");
    std::puts("(geneX, geneY,score, r1, r2, c)");
}

void print_pair_line(std::int32_t i, std::int32_t j, double score, double r1, double r2, double c) {
    std::printf("%d %d %.2f ", i + 1, j + 1, score);
    std::printf("%.2f %.2f %.2f\n", r1, r2, c);
}

void score_all_pairs(const ExpressionMatrix& expression, const LabelVector& labels,
                     const StatMatrix& bivar, const StatMatrix& medmad, const LabelVector& nclass,
                     const int& tuning, PairTable& table) {
    print_pair_listing_header();

    table = PairTable{};
    const std::int32_t npairs = pair_count(ngene);
    table.r1.reserve(npairs);
    table.r2.reserve(npairs);
    table.negScore.reserve(npairs);
    table.geneX.reserve(npairs);
    table.geneY.reserve(npairs);
    if (ngene - 1 <= 0) return;

    std::int32_t counter = 0;
    Progress progress("scoring pairs", npairs, "pairs");
    for (std::int32_t i = 0; i <= ngene - 2; ++i) {
        for (std::int32_t j = i + 1; j <= ngene - 1; ++j) {
            table.geneX.push_back(i);
            table.geneY.push_back(j);
            ++counter;
            const double c = pair_weight(bivar(i, 0), bivar(i, 1), bivar(j, 0), bivar(j, 1));
            double r1 = 0, r2 = 0;
            get_corr_biweight(expression, labels, bivar, medmad, n, tuning, i, j, nclass, r1, r2);
            const double score = pair_score(c, r1, r2);
            if (counter <= 100) {
                print_pair_line(i, j, score, r1, r2, c);
            }
            table.r1.push_back(r1);
            table.r2.push_back(r2);
            table.negScore.push_back(-score);
        }
        progress.add(ngene - 1 - i);
    }
}

}  // namespace tivarne
