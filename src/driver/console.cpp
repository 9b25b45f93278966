#include "driver/console.h"

#include <cstdio>

namespace tivarne {

void echo_data(const Dataset& data) {
    const Sizes& sizes = data.sizes();
    std::puts("Labels and expressions:");
    const std::int32_t shown = sizes.genes < 10 ? sizes.genes : 10;
    for (std::int32_t j = 0; j < sizes.samples; ++j) {
        std::printf("%d ", data.label(j));
        for (std::int32_t g = 0; g < shown; ++g) std::printf("%.2f ", data.value(g, j));
        if (sizes.genes > 10) std::printf(" ... ");
        std::putchar('\n');
    }
    std::putchar('\n');
}

void print_pair_listing_header() {
    std::puts("biweight midcorrelations and scores: (first 100 pairs)");
    std::puts("(geneX, geneY,score, r1, r2, c)");
}

void print_pair_listing(const std::vector<PairScore>& pairs) {
    for (const PairScore& p : pairs) {
        std::printf("%d %d %.2f ", p.gene_x + 1, p.gene_y + 1, p.score);
        std::printf("%.2f %.2f %.2f\n", p.r1, p.r2, p.c);
    }
}

void print_ranking_listing(const std::vector<PairScore>& pairs) {
    std::putchar('\n');
    std::puts("ranking: (up to 100th)");
    std::puts("(rank,score,geneX,geneY,r1,r2,c)");
    int rank = 0;
    for (const PairScore& p : pairs)
        std::printf("%d %.2f %d %d %.2f %.2f %.2f\n", ++rank, p.score, p.gene_x, p.gene_y, p.r1,
                    p.r2, p.c);
}

}  // namespace tivarne
