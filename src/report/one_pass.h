#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/progress.h"
#include "scoring/fast_ranking.h"
#include "stats/biweight_terms.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// The listing and the selection found in the scoring pass itself, without the
// table of all pairs: each thread keeps the best pairs it has seen (for the
// listing) and the best pairs whose p-value passes (for the selection); a pair
// below both cuts is dropped at once, and whether a p-value passes is settled
// by the kernels' bound on the ECOR statistic, with the exact p-value only near
// the level.
//
// What a bounded selection cannot know is how the ranking sort arranges equal
// scores. When equal scores touch the listed pairs, the selected pairs, the
// pair where the walk stops, or the count of pairs without a p-value before
// it, the caller ranks the table of all pairs, and resolve() arranges just the
// tied pairs through it, with no walk down the ranking.
class OnePassSelection {
public:
    // Scores every pair once; stops early when a stop is asked for.
    OnePassSelection(const ClassTerms terms[2], std::int32_t genes, const Answers& answers,
                     const Context& context);
    ~OnePassSelection();

    // The listing without the table (no equal scores among the listed pairs
    // or at its end), c recovered from the score.
    bool listing_usable() const;
    const std::vector<PairScore>& top_pairs() const;

    // The selection without the table, in rank order, and the count of pairs
    // without a p-value that the walk down the ranking would meet.
    bool selection_usable() const;
    const std::vector<SelectedPair>& selected() const;
    std::int64_t without_p_value() const;

    // The selection with the ranked table at hand: the same as the walk down
    // the ranking gives. false when the pass kept too little to tell (then
    // only the walk can).
    bool resolve(FastRanking& ranking, std::vector<SelectedPair>& selected,
                 std::int64_t& without_p_value) const;

    // Whether a selection of max_pairs pairs is small enough to be kept per
    // thread (otherwise the table is cheaper).
    static bool fits(std::int32_t max_pairs);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tivarne
