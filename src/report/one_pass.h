#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/progress.h"
#include "scoring/fast_ranking.h"
#include "stats/biweight_terms.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// A pair as the selection keeps it.
struct Candidate {
    double score, r1, r2;
    std::int64_t position;  // in pair order
};

// A kept pair as the result shows it, with its p-value.
SelectedPair selected_candidate(const Candidate& c, std::int32_t genes, double p_value);

// The selection as the walk down the ranking makes it, from `passing`: the
// pairs whose p-value is at or below `threshold`, best score first, all of
// them down to the wanted-th (the stop) when there are that many. Pairs that
// share a score are put in the ranking's arrangement through the ranked
// table, each pair of such a group decided by its exact p-value.
struct ArrangedSelection {
    std::vector<SelectedPair> selected;
    // Pairs without a p-value that share the stop's score and come before it.
    std::int64_t without_p_value_at_stop = 0;
};
// keys: the negated scores of the table (NaN ones are skipped); `ranking`
// gives the ranked table when a group needs arranging.
ArrangedSelection arrange_selection(const double* keys, std::int64_t key_count,
                                    const std::function<FastRanking&()>& ranking,
                                    const ClassTerms terms[2], std::int32_t genes,
                                    const std::vector<Candidate>& passing, std::size_t wanted,
                                    double threshold, int threads);

// The listing without the ranked table, from the best numeric scores (best
// first, kListingLength + 1 of them when there are that many) and the pairs
// whose score is NaN (they rank last, in pair order; first_nan is the first).
// false when equal scores reach into it, or more than one NaN score: their
// arrangement is the ranking sort's.
bool listing_without_table(const std::vector<Candidate>& best, std::int64_t npairs,
                           std::int64_t nan_total, std::int64_t first_nan, const ClassTerms terms[2],
                           std::int32_t genes, std::vector<PairScore>& listing);

// What the listing needs of pairs offered by several threads: the best
// kListingLength + 1 numeric scores, and the NaN scores counted with the
// first of them in pair order.
class ListingScores {
public:
    explicit ListingScores(int threads);
    ~ListingScores();
    void offer(int thread, double score, std::int64_t position);
    std::vector<Candidate> best() const;  // best first
    std::int64_t nan_count() const;
    std::int64_t first_nan() const;  // INT64_MAX when there is none

private:
    struct PerThread;
    std::vector<PerThread> threads_;
};

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
    // `listing`: whether the listing is wanted at all.
    OnePassSelection(const ClassTerms terms[2], std::int32_t genes, const Criteria& answers, bool listing,
                     const Context& context);
    ~OnePassSelection();

    // The listing without the table (no equal scores among the listed pairs
    // or at its end, or no listing wanted), c recovered from the score.
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


private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tivarne
