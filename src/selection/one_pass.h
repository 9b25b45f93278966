#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/progress.h"
#include "scoring/fast_pairs.h"
#include "scoring/fast_ranking.h"
#include "scoring/pair_space.h"
#include "selection/selection.h"

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
// it, the caller ranks the table of all pairs, and finish() arranges just the
// tied pairs through it, with no walk down the ranking.
class OnePass {
public:
    // Scores every pair once; stops early when a stop is asked for. `listing`:
    // whether the listing is wanted. Every scored block also goes to the
    // collectors in `also`, with its p-value decisions when one wants them.
    OnePass(const PairSpace& space, const Criteria& criteria, bool listing, const Context& context,
            const std::vector<BlockCollector*>& also = {});
    ~OnePass();

    // Whether the pass settled the listing (when wanted) and the selection.
    bool listing_settled() const;
    bool selection_settled() const;
    // What the pass settled, moved out: the listing, and the selected pairs
    // in rank order with the count of pairs without a p-value the walk down
    // the ranking meets.
    Selection take();

    // Settles the selection with the ranked table at hand, the same as the
    // walk down the ranking gives. false when the pass kept too little to
    // tell (then only the walk can).
    bool settle(FastRanking& ranking, Selection& selection) const;

private:
    class Pass;
    std::unique_ptr<Pass> pass_;
};

}  // namespace tivarne
