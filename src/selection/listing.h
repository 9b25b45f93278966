#pragma once
// The console listings: the first pairs in pair order, and the best pairs of
// the ranking, from the ranked table or found without it.
#include <cstdint>
#include <limits>
#include <vector>

#include "core/containers.h"
#include "scoring/pair_space.h"
#include "scoring/pair_table.h"
#include "scoring/ranked_pairs.h"
#include "selection/top_k.h"

namespace tivarne {

// The first kListingLength pairs in pair order, with c as computed: from the
// per-gene terms, or from the straightforward table and the midvariances.
std::vector<PairScore> first_pairs(const PairSpace& space);
std::vector<PairScore> first_pairs(const PairTable& table, const StatMatrix& bivar);

// The best kListingLength pairs of the ranking, c recovered from the score.
std::vector<PairScore> listing_of(RankedPairs& ranking);

// What the listing needs of the pairs one thread scores: the best
// kListingLength + 1 numeric scores, and the NaN scores (which rank last, in
// pair order) counted with the first of them.
class ListingScores {
public:
    double cut() const { return best_.cut(); }
    void offer(double score, std::int64_t position) {
        if (score != score)
            offer_nan(position);
        else if (score >= best_.cut())
            best_.offer({score, 0, 0, position});
    }
    void offer_nan(std::int64_t position) {
        ++nans_;
        if (position < first_nan_) first_nan_ = position;
    }

    // Several threads' scores together.
    struct Merged {
        std::vector<Candidate> best;  // best first
        std::int64_t nans = 0;
        std::int64_t first_nan = std::numeric_limits<std::int64_t>::max();
    };
    template <class PerThread, class Get>
    static Merged merge(const std::vector<PerThread>& threads, Get get) {
        Merged m;
        m.best = best_first(threads, [&get](const PerThread& t) -> const TopScores& { return get(t).best_; });
        for (const PerThread& t : threads) {
            m.nans += get(t).nans_;
            if (get(t).first_nan_ < m.first_nan) m.first_nan = get(t).first_nan_;
        }
        return m;
    }

private:
    TopScores best_{kListingLength + 1};
    std::int64_t nans_ = 0;
    std::int64_t first_nan_ = std::numeric_limits<std::int64_t>::max();
};

// The listing without the ranked table, from the merged scores; false when
// equal scores reach into it, or more than one NaN score: their arrangement
// is the ranking sort's.
bool listing_without_table(const ListingScores::Merged& scores, const PairSpace& space,
                           std::vector<PairScore>& listing);

}  // namespace tivarne
