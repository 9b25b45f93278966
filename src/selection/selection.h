#pragma once
// What every way of selecting pairs gives, and the pair as a selection keeps
// it.
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "scoring/pair_index.h"
#include "scoring/ranked_pairs.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// The selection of one analysis, whichever way it was made.
struct Selection {
    // The selected pairs in the order asked for; empty when a walk handed
    // them to a PairSink as it found them.
    std::vector<SelectedPair> pairs;
    // Pairs without a p-value among those the walk down the ranking examines
    // (Result::without_p_value).
    std::int64_t without_p_value = 0;
    // With Adjust::BH: the pairs that have a p-value (m).
    std::int64_t tested = 0;
    // Whether a table of all pairs was built.
    bool used_pair_table = false;
    // The best kListingLength pairs of the ranking, when asked for.
    std::vector<PairScore> top_pairs;
    // The p-value at or below which a pair meets the criterion (the level, or
    // the Benjamini-Hochberg cut; -1 when none does), when the selection
    // found it; NaN otherwise.
    double p_threshold = std::numeric_limits<double>::quiet_NaN();
};

// Where a walk hands each selected pair as it finds it.
using PairSink = std::function<void(const SelectedPair&)>;

// A pair as the selection keeps it before it is shown.
struct Candidate {
    double score, r1, r2;
    std::int64_t position;  // in pair order
};

inline bool higher_score(const Candidate& a, const Candidate& b) { return a.score > b.score; }

// Ranking order of any pair record with a score and a position: numeric
// scores best first; a NaN score (both classes' midvariances infinite) may
// come with finite correlations and a p-value, and ranks after every numeric
// score; equal scores in pair order.
template <class Pair>
bool ranks_before(const Pair& a, const Pair& b) {
    const bool na = a.score != a.score, nb = b.score != b.score;
    if (na != nb) return nb;
    if (!na && a.score != b.score) return a.score > b.score;
    return a.position < b.position;
}

// The pair as the result shows it: c recovered as score / |r1 - r2|, and the
// p-value with its base-10 logarithm.
SelectedPair selected_pair(const RankedPair& pair, double p_value);
SelectedPair selected_pair(const Candidate& c, const PairIndex& index, double p_value);

}  // namespace tivarne
