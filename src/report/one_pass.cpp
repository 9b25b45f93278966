#include "report/one_pass.h"

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
// A selection of more pairs than this per thread is left to the table.
constexpr std::size_t kMostKept = std::size_t{1} << 20;
// Scores kept per thread for the check of equal scores at the stop.
constexpr std::size_t kMostBuffered = std::size_t{1} << 22;

struct Candidate {
    double score, r1, r2;
    std::int64_t position;
};

// The `capacity` highest scores offered, as a heap with the lowest on top.
class Best {
public:
    explicit Best(std::size_t capacity) : capacity_(capacity) {}
    // A pair below the cut cannot be among the best.
    double cut() const { return heap_.size() < capacity_ ? -kInf : heap_.front().score; }
    void offer(const Candidate& c) {
        const auto lower = [](const Candidate& a, const Candidate& b) { return a.score > b.score; };
        if (heap_.size() < capacity_) {
            heap_.push_back(c);
            std::push_heap(heap_.begin(), heap_.end(), lower);
        } else if (c.score > heap_.front().score) {
            std::pop_heap(heap_.begin(), heap_.end(), lower);
            heap_.back() = c;
            std::push_heap(heap_.begin(), heap_.end(), lower);
        }
    }
    const std::vector<Candidate>& items() const { return heap_; }

private:
    std::size_t capacity_;
    std::vector<Candidate> heap_;
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

bool one_pass_fits(std::int32_t max_pairs) {
    return max_pairs < 0 || static_cast<std::size_t>(max_pairs) < kMostKept;
}

OnePassOutcome select_in_one_pass(const ClassTerms terms[2], std::int32_t genes,
                                  const Answers& answers, const Context& context) {
    OnePassOutcome outcome;
    const std::int32_t class1 = terms[0].m, class2 = terms[1].m;
    const std::int64_t npairs = genes < 2 ? 0 : std::int64_t{genes} * (genes - 1) / 2;
    // The first pair that passes is selected whatever max_pairs says.
    const std::size_t wanted = static_cast<std::size_t>(std::max(1, answers.max_pairs));
    const EcorLevel level = ecor_level(answers.level, class1, class2);
    const PairKernel kernel = select_pair_kernel();
    const std::int32_t panel = partner_panel_width(terms, kPanelBytes);
    const KernelInput shared = kernel_input(terms, genes);
    ThreadSelection blank(kListingLength + 1, wanted + 1);
    blank.class1 = class1;
    blank.class2 = class2;
    std::vector<ThreadSelection> threads(static_cast<std::size_t>(context.threads), blank);

    const std::int64_t nan_total = for_each_row_block(
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

            double listing_cut = t.listing.cut();
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
                for (std::int64_t k = k_first; k < k_end; ++k) {
                    const double s = t.score[row + k];
                    if (s != s) {
                        ++t.nan_count;
                        t.nan_positions.offer({-static_cast<double>(first + k), 0, 0, first + k});
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
    if (context.progress.stopped()) return outcome;

    // The listing: the best numeric scores, then NaN scores in pair order.
    const std::vector<Candidate> listed = merged(threads, &ThreadSelection::listing);
    const std::int64_t numeric = npairs - nan_total;
    const std::int64_t shown = std::min<std::int64_t>(kListingLength, npairs);
    const std::int64_t shown_numeric = std::min(shown, numeric);
    if (ties_among(listed, static_cast<std::size_t>(std::min<std::int64_t>(kListingLength + 1, numeric))))
        return outcome;
    // NaN scores are all alike; the table arranges them.
    if (shown > shown_numeric && nan_total > 1) return outcome;
    for (std::int64_t k = 0; k < shown_numeric; ++k) {
        const Candidate& c = listed[static_cast<std::size_t>(k)];
        std::int32_t i, j;
        pair_at_position(genes, c.position, i, j);
        outcome.top_pairs.push_back({i, j, c.score, c.r1, c.r2, c.score / std::fabs(c.r1 - c.r2)});
    }
    if (shown > shown_numeric) {
        const std::vector<Candidate> nans = merged(threads, &ThreadSelection::nan_positions);
        std::int32_t i, j;
        pair_at_position(genes, nans.front().position, i, j);
        const PairValues v = pair_values(terms, i, j);
        outcome.top_pairs.push_back({i, j, v.score, v.r1, v.r2, v.score / std::fabs(v.r1 - v.r2)});
    }

    // The selection: the best passing scores, down to the wanted number.
    const std::vector<Candidate> passing = merged(threads, &ThreadSelection::passing);
    std::int64_t passing_total = 0;
    for (const ThreadSelection& t : threads) passing_total += t.passing_count;
    const bool stops = passing_total >= static_cast<std::int64_t>(wanted);
    if (ties_among(passing, stops ? wanted + 1 : passing.size())) return outcome;
    if (stops) {
        // The walk stops at the wanted-th passing pair: it examined every
        // pair with a higher score, and no other pair may share its score.
        const double stop = passing[wanted - 1].score;
        for (const ThreadSelection& t : threads) {
            if (t.failed.overflow || t.no_p.overflow) return outcome;
            for (const std::vector<double>* v : {&t.failed.values, &t.no_p.values})
                if (std::find(v->begin(), v->end(), stop) != v->end()) return outcome;
            outcome.without_p_value +=
                std::count_if(t.no_p.values.begin(), t.no_p.values.end(), [stop](double s) { return s > stop; });
        }
    } else {
        // The walk went through every pair: the NaN scores at the end too.
        outcome.without_p_value = nan_total;
        for (const ThreadSelection& t : threads) outcome.without_p_value += t.no_p_count;
    }
    const std::size_t count = stops ? wanted : passing.size();
    for (std::size_t k = 0; k < count; ++k) {
        const Candidate& c = passing[k];
        RankedPair pair{c.score, c.r1, c.r2, 0, 0, c.position};
        pair_at_position(genes, c.position, pair.geneX, pair.geneY);
        double r1 = c.r1, r2 = c.r2;
        outcome.selected.push_back(selected_pair(pair, get_pval(r1, r2, class1, class2)));
    }
    outcome.usable = true;
    return outcome;
}

}  // namespace tivarne
