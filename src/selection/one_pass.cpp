#include "selection/one_pass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "selection/listing.h"
#include "selection/ties.h"
#include "selection/top_k.h"

namespace tivarne {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// What one thread keeps of the pairs it scores.
struct ThreadState {
    explicit ThreadState(std::size_t kept) : passing(kept) {}

    ListingScores listing;  // the best scores of all
    TopScores passing;      // the best scores whose p-value passes
    std::int64_t passing_count = 0, no_p_count = 0;
    // A NaN weight (both classes' midvariances infinite) with finite
    // correlations: a pair that ranks last and yet has a p-value.
    bool nan_score_with_p = false;
    ScoreBuffer failed, no_p;  // at or above the cut: p above the level, no p-value
    // Scratch of one block.
    std::vector<std::uint8_t> decision;  // the block's, when decided as a whole
    std::vector<Candidate> candidates;
    std::vector<double> candidate_r1, candidate_r2;
    std::vector<std::uint8_t> candidate_decision;
};

}  // namespace

class OnePass::Pass : public BlockCollector {
public:
    Pass(const PairSpace& space, const Criteria& criteria, bool listing, const Context& context,
         const std::vector<BlockCollector*>& also);
    void collect(int thread, const ScoredBlock& block) override;

    const PairSpace& space;
    const double level;
    const std::size_t wanted;  // max_pairs, at least 1: the first pair that passes is always selected
    const bool listing;
    const int threads;
    std::vector<ThreadState> per_thread;
    std::int64_t nan_total = 0, passing_total = 0, no_p_total = 0;
    std::vector<Candidate> passing;  // merged, best first
    bool listing_settled = false, selection_settled = false;
    std::vector<PairScore> top_pairs;
    std::vector<SelectedPair> selected;
    std::int64_t without_p_value = 0;

    bool stops() const { return passing_total >= static_cast<std::int64_t>(wanted); }
    SelectedPair kept(const Candidate& c) const {
        return selected_pair(c, space.index(), space.p_value(c.r1, c.r2));
    }
    bool buffers_overflowed() const {
        for (const ThreadState& t : per_thread)
            if (t.passing.overflow() || t.nan_score_with_p) return true;
        return false;
    }

private:
    const PairKernel kernel_;
    const EcorLevel ecor_;
    const std::vector<BlockCollector*> also_;
    bool decisions_wanted_ = false;

    const std::uint8_t* decide_block(ThreadState& t, const ScoredBlock& b) const;
    void decide(ThreadState& t, const Candidate& c, std::uint8_t d) const;
    void decide_candidates(ThreadState& t) const;
    void settle_listing();
    void settle_selection();
};

OnePass::Pass::Pass(const PairSpace& pair_space, const Criteria& criteria, bool wants_listing,
                    const Context& context, const std::vector<BlockCollector*>& also)
    : space(pair_space),
      level(criteria.level),
      wanted(static_cast<std::size_t>(std::max(1, criteria.max_pairs))),
      listing(wants_listing),
      threads(context.threads),
      kernel_(select_pair_kernel()),
      ecor_(pair_space.p_sizes().level(criteria.level)),
      also_(also) {
    for (const BlockCollector* c : also_) decisions_wanted_ |= c->wants_decisions();
    per_thread.assign(static_cast<std::size_t>(threads), ThreadState(wanted + 1));
    nan_total = score_in_blocks(space, context, *this);
    if (context.progress.stopped()) return;
    passing = best_first(per_thread, [](const ThreadState& t) -> const TopScores& { return t.passing; });
    for (const ThreadState& t : per_thread) {
        passing_total += t.passing_count;
        no_p_total += t.no_p_count;
    }
    settle_listing();
    settle_selection();
}

// Every row of the block decided in bulk (into t.decision, at the block's places).
const std::uint8_t* OnePass::Pass::decide_block(ThreadState& t, const ScoredBlock& b) const {
    t.decision.resize(static_cast<std::size_t>(b.rows * b.width));
    for (std::int32_t r = 0; r < b.rows; ++r) {
        const std::int64_t k_first = b.first_partner(r), at = b.at(r, k_first);
        if (k_first < b.k_end)
            kernel_.classify(ecor_, b.r1 + at, b.r2 + at, static_cast<std::int32_t>(b.k_end - k_first),
                             t.decision.data() + at);
    }
    return t.decision.data();
}

// Files a candidate by its decision (kEcorUnsure: by its exact p-value).
void OnePass::Pass::decide(ThreadState& t, const Candidate& c, std::uint8_t d) const {
    if (d == kEcorUnsure) {
        const double p = space.p_value(c.r1, c.r2);
        d = std::isnan(p) ? kEcorNone : p <= level ? kEcorPass : kEcorFail;
    }
    if (d == kEcorPass) {
        ++t.passing_count;
        t.passing.offer(c);
    } else if (d == kEcorFail) {
        t.failed.add(c.score);
    } else {
        ++t.no_p_count;
        t.no_p.add(c.score);
    }
}

void OnePass::Pass::decide_candidates(ThreadState& t) const {
    const std::size_t n = t.candidates.size();
    if (n == 0) return;
    t.candidate_r1.resize(n);
    t.candidate_r2.resize(n);
    t.candidate_decision.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        t.candidate_r1[j] = t.candidates[j].r1;
        t.candidate_r2[j] = t.candidates[j].r2;
    }
    kernel_.classify(ecor_, t.candidate_r1.data(), t.candidate_r2.data(), static_cast<std::int32_t>(n),
                     t.candidate_decision.data());
    for (std::size_t j = 0; j < n; ++j) decide(t, t.candidates[j], t.candidate_decision[j]);
}

namespace {

// Whether any of score[from .. to - 1] is NaN or at least `lowest`: most rows
// of a block have none once the cuts are up. Two scores a comparison.
bool any_reaches(const double* score, std::int64_t from, std::int64_t to, double lowest) {
    typedef double Pair __attribute__((vector_size(16)));
    typedef long long Mask __attribute__((vector_size(16)));
    Mask below = ~Mask{};
    std::int64_t k = from;
    for (; k + 2 <= to; k += 2) {
        Pair two;
        std::memcpy(&two, score + k, sizeof two);
        below &= (Mask)(two < lowest);  // false for NaN
    }
    bool reaches = (below[0] & below[1]) == 0;
    for (; k < to; ++k) reaches |= !(score[k] < lowest);
    return reaches;
}

}  // namespace

void OnePass::Pass::collect(int thread, const ScoredBlock& scored) {
    ThreadState& t = per_thread[static_cast<std::size_t>(thread)];
    ScoredBlock block = scored;
    const double passing_cut = t.passing.cut();
    // Until this thread has more passing pairs than it keeps, every pair is a
    // candidate and whole rows are decided in bulk; after that only the few
    // pairs at or above the cut.
    const bool bulk = passing_cut == -kInf;
    if (bulk || decisions_wanted_) block.decision = decide_block(t, scored);
    // The loop's values in locals: the block escapes to the collectors.
    const double *score = block.score, *r1 = block.r1, *r2 = block.r2;
    const std::uint8_t* decision = block.decision;
    const std::int64_t k_end = block.k_end;
    const bool listed = listing;
    double listing_cut = listed ? t.listing.cut() : kInf;
    t.candidates.clear();
    for (std::int32_t r = 0; r < block.rows; ++r) {
        const std::int64_t first = space.index().row_first(block.i0 + r);  // + k: the position
        const std::int64_t row = block.at(r, 0);
        // Most pairs fall below both cuts (and NaN fails the test too).
        const double lowest = bulk ? -kInf : std::min(listing_cut, passing_cut);
        if (!bulk && !any_reaches(score + row, block.first_partner(r), k_end, lowest)) continue;
        for (std::int64_t k = block.first_partner(r); k < k_end; ++k) {
            const double s = score[row + k];
            if (!(s >= lowest)) {
                if (s != s) {
                    if (listed) t.listing.offer_nan(first + k);
                    t.nan_score_with_p |= r1[row + k] == r1[row + k] && r2[row + k] == r2[row + k];
                }
                continue;
            }
            const Candidate c{s, r1[row + k], r2[row + k], first + k};
            if (s >= listing_cut) {
                t.listing.offer(s, first + k);
                listing_cut = t.listing.cut();
            }
            if (bulk)
                decide(t, c, decision[row + k]);
            else if (s >= passing_cut)
                t.candidates.push_back(c);
        }
    }
    decide_candidates(t);
    t.failed.prune(t.passing.cut());
    t.no_p.prune(t.passing.cut());
    for (BlockCollector* c : also_) c->collect(thread, block);
}

// The listing: the best numeric scores, then NaN scores in pair order.
void OnePass::Pass::settle_listing() {
    if (!listing) {
        listing_settled = true;
        return;
    }
    const ListingScores::Merged scores =
        ListingScores::merge(per_thread, [](const ThreadState& t) -> const ListingScores& { return t.listing; });
    listing_settled = listing_without_table(scores, space, top_pairs);
}

// The selection: the best passing scores, down to the wanted number.
void OnePass::Pass::settle_selection() {
    if (buffers_overflowed() || ties_among(passing, stops() ? wanted + 1 : passing.size())) return;
    if (stops()) {
        // The walk stops at the wanted-th passing pair: it examined every
        // pair with a higher score, and no other pair may share its score.
        const double stop = passing[wanted - 1].score;
        for (const ThreadState& t : per_thread) {
            if (t.failed.overflow || t.no_p.overflow || t.failed.contains(stop) || t.no_p.contains(stop)) return;
            without_p_value += t.no_p.count_above(stop);
        }
    } else {
        // The walk went through every pair: the NaN scores at the end too.
        without_p_value = nan_total + no_p_total;
    }
    const std::size_t count = stops() ? wanted : passing.size();
    for (std::size_t k = 0; k < count; ++k) selected.push_back(kept(passing[k]));
    selection_settled = true;
}

OnePass::OnePass(const PairSpace& space, const Criteria& criteria, bool listing, const Context& context,
                 const std::vector<BlockCollector*>& also)
    : pass_(std::make_unique<Pass>(space, criteria, listing, context, also)) {}

OnePass::~OnePass() = default;

bool OnePass::listing_settled() const { return pass_->listing_settled; }
bool OnePass::selection_settled() const { return pass_->selection_settled; }

Selection OnePass::take() {
    Selection s;
    s.top_pairs = std::move(pass_->top_pairs);
    s.pairs = std::move(pass_->selected);
    s.without_p_value = pass_->without_p_value;
    return s;
}

bool OnePass::settle(FastRanking& ranking, Selection& selection) const {
    const Pass& st = *pass_;
    if (st.buffers_overflowed()) return false;
    // Every passing pair ranked above the stop is kept: a thread keeps all
    // its passing pairs above its cut, and its cut is at or below the stop.
    ArrangedSelection arranged =
        arrange_selection(ranking.keys(), ranking.numeric(), [&ranking]() -> FastRanking& { return ranking; },
                          st.space, st.passing, st.wanted, st.level, st.threads);
    std::int64_t without_p_value = st.nan_total + st.no_p_total;
    if (st.stops()) {
        // Pairs without a p-value above the stop, and those of the stop's
        // score that the walk met before it.
        const double stop = arranged.selected.back().score;
        without_p_value = arranged.without_p_value_at_stop;
        for (const ThreadState& t : st.per_thread) {
            if (t.no_p.overflow) return false;
            without_p_value += t.no_p.count_above(stop);
        }
    }
    selection.pairs = std::move(arranged.selected);
    selection.without_p_value = without_p_value;
    return true;
}

}  // namespace tivarne
