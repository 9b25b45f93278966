#include "selection/selection.h"

#include <cmath>

namespace tivarne {

SelectedPair selected_pair(const RankedPair& pair, double p_value) {
    SelectedPair s;
    s.gene_x = pair.geneX;
    s.gene_y = pair.geneY;
    s.score = pair.score;
    s.r1 = pair.r1;
    s.r2 = pair.r2;
    s.c = pair.score / std::fabs(pair.r1 - pair.r2);
    s.p_value = p_value;
    s.log10_p = std::log10(p_value);
    return s;
}

SelectedPair selected_pair(const Candidate& c, const PairIndex& index, double p_value) {
    RankedPair pair{c.score, c.r1, c.r2, 0, 0, c.position};
    index.pair_at(c.position, pair.geneX, pair.geneY);
    return selected_pair(pair, p_value);
}

}  // namespace tivarne
