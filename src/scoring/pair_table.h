#pragma once
#include <cstdint>
#include <vector>

namespace tivarne {

// One entry per gene pair (i < j), in pair order (PairIndex). The score is
// stored negated so that an ascending sort puts the best pair first.
struct PairTable {
    std::vector<double> r1;
    std::vector<double> r2;
    std::vector<double> negScore;
    std::vector<std::int32_t> geneX;
    std::vector<std::int32_t> geneY;
};

}  // namespace tivarne
