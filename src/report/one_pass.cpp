#include "report/one_pass.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "report/selection.h"
#include "scoring/ecor_filter.h"
#include "scoring/fast_pairs.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/pval.h"

namespace tivarne {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Passing pairs kept per thread at most; more (a loose level with a very
// large max_pairs) are left to the ranked table.
constexpr std::size_t kMostKept = std::size_t{1} << 22;
// Scores kept per thread for the check of equal scores at the stop.
constexpr std::size_t kMostBuffered = std::size_t{1} << 22;

// The `capacity` highest scores offered, as a heap with the lowest on top.
class Best {
public:
    explicit Best(std::size_t capacity) : capacity_(capacity) {}
    // A pair below the cut cannot be among the best.
    double cut() const { return heap_.size() < capacity_ ? -kInf : heap_.front().score; }
    void offer(const Candidate& c) {
        const auto lower = [](const Candidate& a, const Candidate& b) { return a.score > b.score; };
        if (heap_.size() < capacity_ && heap_.size() == kMostKept) {
            overflow_ = true;
        } else if (heap_.size() < capacity_) {
            heap_.push_back(c);
            std::push_heap(heap_.begin(), heap_.end(), lower);
        } else if (c.score > heap_.front().score) {
            std::pop_heap(heap_.begin(), heap_.end(), lower);
            heap_.back() = c;
            std::push_heap(heap_.begin(), heap_.end(), lower);
        }
    }
    const std::vector<Candidate>& items() const { return heap_; }
    // More were offered than can be kept.
    bool overflow() const { return overflow_; }

private:
    std::size_t capacity_;
    std::vector<Candidate> heap_;
    bool overflow_ = false;
};

// Scores of pairs that were at or above the selection's cut when seen; those
// that fall below a later cut are dropped from time to time.
struct ScoreBuffer {
    std::vector<double> values;
    std::size_t prune_at = 1 << 16;
    bool overflow = false;

    void add(double score) {
        if (!overflow) values.push_back(score);
    }
    void prune(double cut) {
        if (overflow || values.size() < prune_at) return;
        values.erase(std::remove_if(values.begin(), values.end(), [cut](double v) { return v < cut; }),
                     values.end());
        prune_at = std::max<std::size_t>(2 * values.size(), 1 << 16);
        if (values.size() > kMostBuffered) {
            overflow = true;
            std::vector<double>().swap(values);
        }
    }
};

struct ThreadSelection {
    ThreadSelection(std::size_t listed, std::size_t kept) : listing(listed), passing(kept), nan_positions(listed) {}

    Best listing;  // the best scores of all
    Best passing;  // the best scores whose p-value passes
    Best nan_positions;  // the first NaN-score pairs in pair order (scored by -position)
    std::int64_t nan_count = 0, passing_count = 0, no_p_count = 0;
    bool nan_score_with_p = false;
    ScoreBuffer failed, no_p;  // at or above the cut: p above the level, no p-value

    // Files a candidate by its decision (kEcorUnsure: by its exact p-value).
    void decide(const Candidate& c, std::uint8_t d, double level) {
        if (d == kEcorUnsure) {
            double r1 = c.r1, r2 = c.r2;
            const double p = get_pval(r1, r2, class1, class2);
            d = std::isnan(p) ? kEcorNone : p <= level ? kEcorPass : kEcorFail;
        }
        if (d == kEcorPass) {
            ++passing_count;
            passing.offer(c);
        } else if (d == kEcorFail) {
            failed.add(c.score);
        } else {
            ++no_p_count;
            no_p.add(c.score);
        }
    }

    std::int32_t class1 = 0, class2 = 0;
    // Scratch of one block.
    std::vector<double> score, r1, r2;
    std::vector<Candidate> candidates;
    std::vector<double> candidate_r1, candidate_r2;
    std::vector<std::uint8_t> decision;
};

std::vector<Candidate> merged(const std::vector<ThreadSelection>& threads,
                              const Best ThreadSelection::*which) {
    std::vector<Candidate> all;
    for (const ThreadSelection& t : threads)
        all.insert(all.end(), (t.*which).items().begin(), (t.*which).items().end());
    std::sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    return all;
}

// Whether two of the first `count` entries (best first) have equal scores.
bool ties_among(const std::vector<Candidate>& sorted, std::size_t count) {
    for (std::size_t j = 1; j < count && j < sorted.size(); ++j)
        if (sorted[j - 1].score == sorted[j].score) return true;
    return false;
}

}  // namespace

struct OnePassSelection::State {
    const ClassTerms* terms;
    std::int32_t genes, class1, class2;
    Criteria answers;
    bool listing_asked = false;
    std::size_t wanted;  // max_pairs, at least 1: the first pair that passes is always selected
    int threads = 1;
    std::vector<ThreadSelection> per_thread;
    std::int64_t npairs = 0, nan_total = 0, passing_total = 0, no_p_total = 0;
    std::vector<Candidate> listed, passing;  // merged, best first
    bool listing_ok = false, selection_ok = false;
    std::vector<PairScore> top_pairs;
    std::vector<SelectedPair> selected;
    std::int64_t without_p_value = 0;

    bool stops() const { return passing_total >= static_cast<std::int64_t>(wanted); }
    SelectedPair selected_from(const Candidate& c) const {
        double r1 = c.r1, r2 = c.r2;
        return selected_candidate(c, genes, get_pval(r1, r2, class1, class2));
    }
    void finish_listing();
    void finish_selection();
};

OnePassSelection::OnePassSelection(const ClassTerms terms[2], std::int32_t genes,
                                   const Criteria& answers, bool listing, const Context& context)
    : state_(std::make_unique<State>()) {
    State& st = *state_;
    st.terms = terms;
    st.genes = genes;
    st.class1 = terms[0].m;
    st.class2 = terms[1].m;
    st.answers = answers;
    st.listing_asked = listing;
    st.wanted = static_cast<std::size_t>(std::max(1, answers.max_pairs));
    st.npairs = genes < 2 ? 0 : std::int64_t{genes} * (genes - 1) / 2;
    st.threads = context.threads;
    const std::int32_t class1 = st.class1, class2 = st.class2;
    const EcorLevel level = ecor_level(answers.level, class1, class2);
    const PairKernel kernel = select_pair_kernel();
    const std::int32_t panel = partner_panel_width(terms, kPanelBytes);
    const KernelInput shared = kernel_input(terms, genes);
    ThreadSelection blank(kListingLength + 1, st.wanted + 1);
    blank.class1 = class1;
    blank.class2 = class2;
    std::vector<ThreadSelection>& threads = st.per_thread;
    threads.assign(static_cast<std::size_t>(context.threads), blank);

    st.nan_total = for_each_row_block(
        genes, kernel.rows, panel, context,
        [&](int thread, std::int32_t i0, std::int32_t rows, std::int32_t k_begin, std::int32_t k_end) {
            ThreadSelection& t = threads[static_cast<std::size_t>(thread)];
            const std::size_t width = static_cast<std::size_t>(panel);
            t.score.resize(kernel.rows * width);
            t.r1.resize(t.score.size());
            t.r2.resize(t.score.size());
            KernelInput in = shared;
            in.block_score = t.score.data();
            in.block_r1 = t.r1.data();
            in.block_r2 = t.r2.data();
            in.block_width = panel;
            const std::int64_t nans = kernel.score_block(in, i0, rows, k_begin, k_end);

            double listing_cut = listing ? t.listing.cut() : kInf;
            const double passing_cut = t.passing.cut();
            // Until this thread has more passing pairs than it keeps, every
            // pair is a candidate and whole rows are decided in bulk; after
            // that only the few pairs at or above the cut.
            const bool bulk = passing_cut == -kInf;
            t.candidates.clear();
            t.decision.resize(bulk ? width : 0);
            for (std::int32_t r = 0; r < rows; ++r) {
                const std::int64_t i = i0 + r;
                const std::int64_t first = i * genes - i * (i + 1) / 2 - i - 1;  // + k: the position
                const std::size_t row = static_cast<std::size_t>(r) * width - k_begin;
                const std::int64_t k_first = std::max<std::int64_t>(i + 1, k_begin);
                if (bulk && k_first < k_end)
                    kernel.classify(level, &t.r1[row + k_first], &t.r2[row + k_first],
                                    static_cast<std::int32_t>(k_end - k_first), t.decision.data());
                // Most pairs fall below both cuts (and NaN fails the test too).
                const double lowest = bulk ? -kInf : std::min(listing_cut, passing_cut);
                for (std::int64_t k = k_first; k < k_end; ++k) {
                    const double s = t.score[row + k];
                    if (!(s >= lowest)) {
                        if (s != s) {
                            ++t.nan_count;
                            if (listing) t.nan_positions.offer({-static_cast<double>(first + k), 0, 0, first + k});
                            // A NaN weight (both classes' midvariances
                            // infinite) with finite correlations: a pair
                            // that ranks last and yet has a p-value.
                            t.nan_score_with_p |= t.r1[row + k] == t.r1[row + k] && t.r2[row + k] == t.r2[row + k];
                        }
                        continue;
                    }
                    const Candidate c{s, t.r1[row + k], t.r2[row + k], first + k};
                    if (s >= listing_cut) {
                        t.listing.offer(c);
                        listing_cut = t.listing.cut();
                    }
                    if (bulk)
                        t.decide(c, t.decision[static_cast<std::size_t>(k - k_first)], answers.level);
                    else if (s >= passing_cut)
                        t.candidates.push_back(c);
                }
            }
            if (!t.candidates.empty()) {
                const std::size_t n = t.candidates.size();
                t.candidate_r1.resize(n);
                t.candidate_r2.resize(n);
                t.decision.resize(n);
                for (std::size_t j = 0; j < n; ++j) {
                    t.candidate_r1[j] = t.candidates[j].r1;
                    t.candidate_r2[j] = t.candidates[j].r2;
                }
                kernel.classify(level, t.candidate_r1.data(), t.candidate_r2.data(),
                                static_cast<std::int32_t>(n), t.decision.data());
                for (std::size_t j = 0; j < n; ++j) t.decide(t.candidates[j], t.decision[j], answers.level);
            }
            t.failed.prune(t.passing.cut());
            t.no_p.prune(t.passing.cut());
            return nans;
        });
    if (context.progress.stopped()) return;
    st.listed = merged(threads, &ThreadSelection::listing);
    st.passing = merged(threads, &ThreadSelection::passing);
    for (const ThreadSelection& t : threads) {
        st.passing_total += t.passing_count;
        st.no_p_total += t.no_p_count;
    }
    st.finish_listing();
    st.finish_selection();
}

OnePassSelection::~OnePassSelection() = default;

bool listing_without_table(const std::vector<Candidate>& best, std::int64_t npairs,
                           std::int64_t nan_total, std::int64_t first_nan, const ClassTerms terms[2],
                           std::int32_t genes, std::vector<PairScore>& listing) {
    const std::int64_t numeric = npairs - nan_total;
    const std::int64_t shown = std::min<std::int64_t>(kListingLength, npairs);
    const std::int64_t shown_numeric = std::min(shown, numeric);
    if (ties_among(best, static_cast<std::size_t>(std::min<std::int64_t>(kListingLength + 1, numeric))))
        return false;
    // NaN scores are all alike; the table arranges them.
    if (shown > shown_numeric && nan_total > 1) return false;
    listing.clear();
    for (std::int64_t k = 0; k < shown; ++k) {
        const std::int64_t position = k < shown_numeric ? best[static_cast<std::size_t>(k)].position : first_nan;
        std::int32_t i, j;
        pair_at_position(genes, position, i, j);
        const PairValues v = pair_values(terms, i, j);
        listing.push_back({i, j, v.score, v.r1, v.r2, v.score / std::fabs(v.r1 - v.r2)});
    }
    return true;
}

struct ListingScores::PerThread {
    Best best{kListingLength + 1};
    std::int64_t nans = 0;
    std::int64_t first_nan = std::numeric_limits<std::int64_t>::max();
};

ListingScores::ListingScores(int threads) : threads_(static_cast<std::size_t>(threads)) {}
ListingScores::~ListingScores() = default;

void ListingScores::offer(int thread, double score, std::int64_t position) {
    PerThread& t = threads_[static_cast<std::size_t>(thread)];
    if (score != score) {
        ++t.nans;
        t.first_nan = std::min(t.first_nan, position);
    } else if (score >= t.best.cut()) {
        t.best.offer({score, 0, 0, position});
    }
}

std::vector<Candidate> ListingScores::best() const {
    std::vector<Candidate> all;
    for (const PerThread& t : threads_) all.insert(all.end(), t.best.items().begin(), t.best.items().end());
    std::sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    return all;
}

std::int64_t ListingScores::nan_count() const {
    std::int64_t n = 0;
    for (const PerThread& t : threads_) n += t.nans;
    return n;
}

std::int64_t ListingScores::first_nan() const {
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    for (const PerThread& t : threads_) first = std::min(first, t.first_nan);
    return first;
}

// The listing: the best numeric scores, then NaN scores in pair order.
void OnePassSelection::State::finish_listing() {
    if (!listing_asked) {
        listing_ok = true;
        return;
    }
    const std::vector<Candidate> nans = merged(per_thread, &ThreadSelection::nan_positions);
    listing_ok = listing_without_table(listed, npairs, nan_total, nans.empty() ? npairs : nans.front().position,
                                       terms, genes, top_pairs);
}

// The selection: the best passing scores, down to the wanted number.
void OnePassSelection::State::finish_selection() {
    for (const ThreadSelection& t : per_thread)
        if (t.passing.overflow() || t.nan_score_with_p) return;
    if (ties_among(passing, stops() ? wanted + 1 : passing.size())) return;
    if (stops()) {
        // The walk stops at the wanted-th passing pair: it examined every
        // pair with a higher score, and no other pair may share its score.
        const double stop = passing[wanted - 1].score;
        for (const ThreadSelection& t : per_thread) {
            if (t.failed.overflow || t.no_p.overflow) return;
            for (const std::vector<double>* v : {&t.failed.values, &t.no_p.values})
                if (std::find(v->begin(), v->end(), stop) != v->end()) return;
            without_p_value +=
                std::count_if(t.no_p.values.begin(), t.no_p.values.end(), [stop](double s) { return s > stop; });
        }
    } else {
        // The walk went through every pair: the NaN scores at the end too.
        without_p_value = nan_total + no_p_total;
    }
    const std::size_t count = stops() ? wanted : passing.size();
    for (std::size_t k = 0; k < count; ++k) selected.push_back(selected_from(passing[k]));
    selection_ok = true;
}

bool OnePassSelection::listing_usable() const { return state_->listing_ok; }
const std::vector<PairScore>& OnePassSelection::top_pairs() const { return state_->top_pairs; }
bool OnePassSelection::selection_usable() const { return state_->selection_ok; }
const std::vector<SelectedPair>& OnePassSelection::selected() const { return state_->selected; }
std::int64_t OnePassSelection::without_p_value() const { return state_->without_p_value; }

SelectedPair selected_candidate(const Candidate& c, std::int32_t genes, double p_value) {
    RankedPair pair{c.score, c.r1, c.r2, 0, 0, c.position};
    pair_at_position(genes, c.position, pair.geneX, pair.geneY);
    return selected_pair(pair, p_value);
}

ArrangedSelection arrange_selection(const double* keys, std::int64_t key_count,
                                    const std::function<FastRanking&()>& ranked,
                                    const ClassTerms terms[2], std::int32_t genes,
                                    const std::vector<Candidate>& passing, std::size_t wanted,
                                    double threshold, int threads) {
    const std::int32_t class1 = terms[0].m, class2 = terms[1].m;
    if (wanted == 0) return {};
    const bool stops = passing.size() >= wanted;
    auto selected_from = [&](const Candidate& c) {
        double r1 = c.r1, r2 = c.r2;
        return selected_candidate(c, genes, get_pval(r1, r2, class1, class2));
    };
    // Scores shared within the selection, and the stop's score: their pairs
    // are arranged by the table.
    const std::size_t considered = stops ? wanted + 1 : passing.size();
    std::vector<double> tied;
    for (std::size_t j = 1; j < considered && j < passing.size(); ++j)
        if (passing[j - 1].score == passing[j].score) tied.push_back(passing[j].score);
    if (stops) tied.push_back(passing[wanted - 1].score);
    std::sort(tied.begin(), tied.end());
    tied.erase(std::unique(tied.begin(), tied.end()), tied.end());

    // Where each tied score's pairs lie in the ranking: after every pair with
    // a higher score, as many as share it. below[c]: keys above exactly c of
    // the tied scores.
    const std::size_t groups = tied.size();
    std::vector<std::int64_t> below(groups + 1, 0), equal(groups, 0);
#pragma omp parallel num_threads(threads) if (groups > 0)
    {
        std::vector<std::int64_t> b(groups + 1, 0), e(groups, 0);
#pragma omp for schedule(static)
        for (std::int64_t k = 0; k < (groups > 0 ? key_count : 0); ++k) {
            const double score = -keys[k];
            if (score != score) continue;
            const auto c = static_cast<std::size_t>(std::lower_bound(tied.begin(), tied.end(), score) - tied.begin());
            ++b[c];
            if (c < groups && tied[c] == score) ++e[c];
        }
#pragma omp critical
        {
            for (std::size_t g = 0; g <= groups; ++g) below[g] += b[g];
            for (std::size_t g = 0; g < groups; ++g) equal[g] += e[g];
        }
    }
    std::vector<std::int64_t> above(groups, 0);  // keys with a higher score than tied[g]
    for (std::size_t g = groups; g-- > 0;) above[g] = below[g + 1] + (g + 1 < groups ? above[g + 1] : 0);

    ArrangedSelection out;
    std::int64_t no_p_in_group = 0;  // of the last group walked, before the stop
    for (std::size_t j = 0; j < passing.size() && out.selected.size() < wanted;) {
        const double score = passing[j].score;
        std::size_t next = j;
        while (next < passing.size() && passing[next].score == score) ++next;
        const auto g = static_cast<std::size_t>(std::lower_bound(tied.begin(), tied.end(), score) - tied.begin());
        no_p_in_group = 0;
        if (g < groups && tied[g] == score && equal[g] > 1) {
            // The group in the ranking's arrangement; each member's p-value
            // decides, as the walk would.
            FastRanking& ranking = ranked();
            ranking.arrange(above[g], above[g] + equal[g]);
            for (std::int64_t k = above[g]; k < above[g] + equal[g] && out.selected.size() < wanted; ++k) {
                std::int32_t x, y;
                pair_at_position(genes, ranking.position(k), x, y);
                const PairValues v = pair_values(terms, x, y);
                double r1 = v.r1, r2 = v.r2;
                const double p = get_pval(r1, r2, class1, class2);
                if (std::isnan(p)) ++no_p_in_group;
                if (p <= threshold) out.selected.push_back(selected_from({v.score, v.r1, v.r2, ranking.position(k)}));
            }
        } else {
            for (std::size_t k = j; k < next && out.selected.size() < wanted; ++k)
                out.selected.push_back(selected_from(passing[k]));
        }
        j = next;
    }
    if (stops) out.without_p_value_at_stop = no_p_in_group;
    return out;
}

bool OnePassSelection::resolve(FastRanking& ranking, std::vector<SelectedPair>& selected,
                               std::int64_t& without_p_value) const {
    const State& st = *state_;
    for (const ThreadSelection& t : st.per_thread)
        if (t.passing.overflow() || t.nan_score_with_p) return false;
    // Every passing pair ranked above the stop is kept: a thread keeps all
    // its passing pairs above its cut, and its cut is at or below the stop.
    ArrangedSelection arranged =
        arrange_selection(ranking.keys(), ranking.numeric(), [&ranking]() -> FastRanking& { return ranking; },
                          st.terms, st.genes, st.passing, st.wanted, st.answers.level, st.threads);
    if (st.stops()) {
        // Pairs without a p-value above the stop, and those of the stop's
        // score that the walk met before it.
        const double stop = arranged.selected.back().score;
        without_p_value = arranged.without_p_value_at_stop;
        for (const ThreadSelection& t : st.per_thread) {
            if (t.no_p.overflow) return false;
            without_p_value +=
                std::count_if(t.no_p.values.begin(), t.no_p.values.end(), [stop](double s) { return s > stop; });
        }
    } else {
        without_p_value = st.nan_total + st.no_p_total;
    }
    selected.swap(arranged.selected);
    return true;
}

}  // namespace tivarne
