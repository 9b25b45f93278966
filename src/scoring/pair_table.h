#pragma once
#include <cstdint>
#include <vector>

namespace tivarne {

// One entry per gene pair (i < j) in row-major order of the upper triangle:
// pair (i, j) stands at i*ngene - i*(i+1)/2 + (j-i-1). The score is stored
// negated so that an ascending sort puts the best pair first.
struct PairTable {
    std::vector<double> r1;
    std::vector<double> r2;
    std::vector<double> negScore;
    std::vector<std::int32_t> geneX;
    std::vector<std::int32_t> geneY;
};

// ngene*(ngene-1)/2 in 32-bit arithmetic; exact for ngene up to kMaxGenes.
inline std::int32_t pair_count(std::int32_t genes) {
    return genes < 2 ? 0 : genes * (genes - 1) / 2;
}

}  // namespace tivarne
