#include "report/adjusted_selection.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "report/one_pass.h"
#include "report/selection.h"
#include "scoring/big_array.h"
#include "scoring/ecor_filter.h"
#include "scoring/fast_pairs.h"
#include "scoring/fast_ranking.h"
#include "scoring/pval.h"

namespace tivarne {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// A hint h stands for a statistic within kSlack * (1 + |h|) of it.
constexpr double kSlack = 1e-6;
// Histogram bins: bin 0 holds the hints at or below 0 (p = 1), bin b >= 1 the
// positive floats whose bits shifted by kShift are b - 1 (2^-11 wide,
// relatively); +infinity is counted on its own.
constexpr int kShift = 12;
constexpr std::size_t kBins = (0x7f800000u >> kShift) + 1;

std::size_t bin_of(float hint) {
    if (!(hint > 0)) return 0;
    std::uint32_t bits;
    std::memcpy(&bits, &hint, sizeof bits);
    return (bits >> kShift) + 1;
}

// The largest hint of bin b.
double bin_high(std::size_t b) {
    if (b == 0) return 0;
    const std::uint32_t bits = static_cast<std::uint32_t>((b - 1) << kShift) | ((1u << kShift) - 1);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The p-value of T with the C library's erfc: within a few units in the last
// place of the exact routine's (which works in long double) for normal
// results, so that a relative margin covers it.
double rough_tail(double T) { return T > 0 ? std::erfc(std::sqrt(T / 2)) : 1; }

// No pair in bin b or below has a p-value below this.
double floor_p(std::size_t b) {
    const double high = bin_high(b);
    const double p = rough_tail(high + kSlack * (1 + std::fabs(high))) * (1 - 1e-12);
    return p < 1e-300 ? 0 : p;  // a subnormal tail has too few digits to bound
}

struct Collected {
    Candidate pair;
    double p;
};

}  // namespace

AdjustedOutcome select_adjusted(const ClassTerms terms[2], std::int32_t genes,
                                const Criteria& answers, Adjust adjust, Order order, bool listed,
                                const Context& context) {
    AdjustedOutcome out;
    const std::int32_t class1 = terms[0].m, class2 = terms[1].m;
    const std::int64_t npairs = genes < 2 ? 0 : std::int64_t{genes} * (genes - 1) / 2;
    const auto count = static_cast<std::size_t>(npairs);
    const bool bh = adjust == Adjust::BH;
    const double level = answers.level;
    const std::size_t wanted = static_cast<std::size_t>(std::max(1, answers.max_pairs));
    const int threads = context.threads;

    // The scoring pass: the table of scores and the hints.
    if (!fits_in_memory(count * (sizeof(double) + sizeof(float) + sizeof(std::int32_t)))) throw std::bad_alloc();
    BigArray<double> negScore(count);
    BigArray<float> hints(count);
    BigArray<std::int32_t> rankOrder(count);
    const EcorLevel sizes = ecor_level(0, class1, class2);
    const PairKernel kernel = select_pair_kernel();
    KernelInput in = kernel_input(terms, genes);
    in.negScore = negScore.get();
    in.hint = hints.get();
    in.level = &sizes;
    // While each block is fresh: the histogram of the hints (m, the pairs
    // with a p-value, is the count of the rest) and the listing's scores.
    const float* hint = hints.get();
    const double* key = negScore.get();
    std::vector<std::vector<std::int64_t>> local(static_cast<std::size_t>(threads));
    std::vector<std::int64_t> local_top(local.size(), 0), local_none(local.size(), 0);
    ListingScores listing(threads);
    const std::int64_t nan_total = for_each_row_block(
        genes, kernel.rows, partner_panel_width(terms, kPanelBytes), context,
        [&](int thread, std::int32_t i0, std::int32_t rows, std::int32_t k_begin, std::int32_t k_end) {
            const std::int64_t nans = kernel.score_rows(in, i0, rows, k_begin, k_end);
            std::vector<std::int64_t>& bins = local[static_cast<std::size_t>(thread)];
            if (bins.empty()) bins.assign(kBins, 0);
            for (std::int64_t i = i0; i < i0 + rows; ++i) {
                const std::int64_t first = i * genes - i * (i + 1) / 2 - i - 1;  // + k: the position
                for (std::int64_t k = std::max<std::int64_t>(i + 1, k_begin); k < k_end; ++k) {
                    const float h = hint[first + k];
                    if (h != h)
                        ++local_none[static_cast<std::size_t>(thread)];
                    else if (h == std::numeric_limits<float>::infinity())
                        ++local_top[static_cast<std::size_t>(thread)];
                    else
                        ++bins[bin_of(h)];
                    if (listed) listing.offer(thread, -key[first + k], first + k);
                }
            }
            return nans;
        });
    if (context.progress.stopped()) return out;
    std::vector<std::int64_t> bins(kBins, 0);
    std::int64_t top = 0, none = 0;
    for (std::size_t t = 0; t < local.size(); ++t) {
        for (std::size_t b = 0; b < local[t].size(); ++b) bins[b] += local[t][b];
        top += local_top[t];
        none += local_none[t];
    }
    const std::int64_t m = npairs - none;
    out.tested = bh ? m : 0;
    const double dm = static_cast<double>(m);
    // above[b]: pairs whose hint lies above bin b (+infinity included).
    std::vector<std::int64_t> above(kBins + 1, 0);
    above[kBins] = 0;
    for (std::size_t b = kBins; b-- > 0;) above[b] = (b + 1 < kBins ? above[b + 1] + bins[b + 1] : top);

    // Where the cut seems to lie: the rank it needs, read off the histogram
    // with each bin's largest p-value; then the lowest bin that gives that
    // many pairs and some to spare.
    std::int64_t needed = static_cast<std::int64_t>(wanted);
    if (!bh) {
        // No more than the pairs that can pass at the level.
        const EcorLevel lv = ecor_level(level, class1, class2);
        const std::size_t b = bin_of(static_cast<float>(lv.t_fail));
        const std::int64_t can_pass = lv.finite_passes ? m : !lv.zero_passes ? top : above[b] + bins[b];
        needed = std::min(needed, can_pass);
    } else {
        std::int64_t rough = top;
        for (std::size_t b = kBins; b-- > 0;) {
            const std::int64_t rank = above[b] + bins[b];
            if (rank > 0 && bins[b] > 0 && dm * rough_tail(b == 0 ? 0 : bin_high(b - 1)) / rank <= level)
                rough = rank;
        }
        needed = rough;
    }
    needed += needed / 50 + 256;
    std::size_t cut = kBins;  // pairs in bins >= cut (and +infinity) are collected
    while (cut > 0 && above[cut - 1] < needed) --cut;
    if (cut > 0) --cut;

    // Exact p-values for the pairs at or above the cut's bin, more when the
    // bounds of the bins below cannot rule out the cut lying there.
    std::vector<Collected> collected;
    std::size_t collected_down_to = kBins + 1;  // bins already collected: >= this
    std::vector<double> zone;                    // the exact zone's p-values, ascending
    std::vector<Collected> passing;
    double threshold = -1;  // a pair passes when its p-value is at or below it
    for (;;) {
        // Collect bins [cut, collected_down_to).
        std::vector<std::vector<Collected>> found(static_cast<std::size_t>(threads));
#pragma omp parallel for schedule(dynamic, 1 << 16) num_threads(threads)
        for (std::int64_t p = 0; p < npairs; ++p) {
            const float h = hint[p];
            if (h != h) continue;
            const bool infinite = h == std::numeric_limits<float>::infinity();
            const std::size_t b = infinite ? kBins : bin_of(h);
            if (b < cut || (b >= collected_down_to && collected_down_to <= kBins)) continue;
            std::int32_t i, j;
            pair_at_position(genes, p, i, j);
            const PairValues v = pair_values(terms, i, j);
            double r1 = v.r1, r2 = v.r2;
            found[static_cast<std::size_t>(omp_get_thread_num())].push_back(
                {{-key[p], v.r1, v.r2, p}, get_pval(r1, r2, class1, class2)});
        }
        for (const auto& f : found) collected.insert(collected.end(), f.begin(), f.end());
        collected_down_to = cut;

        // Pairs outside the collection have p-values of at least `outside`;
        // the collected ones below it hold their exact ranks.
        const double outside = cut == 0 ? kInf : floor_p(cut - 1);
        zone.clear();
        for (const Collected& c : collected)
            if (c.p < outside) zone.push_back(c.p);
        std::sort(zone.begin(), zone.end());
        const auto z = static_cast<std::int64_t>(zone.size());

        std::size_t retry = kBins;  // a bin that must be collected too
        if (bh) {
            std::int64_t k_star = 0;
            for (std::int64_t k = 1; k <= z; ++k)
                if ((dm * zone[static_cast<std::size_t>(k - 1)]) / static_cast<double>(k) <= level) k_star = k;
            threshold = k_star > 0 ? zone[static_cast<std::size_t>(k_star - 1)] : -1;
            // No rank beyond the zone may meet the condition: their p-values
            // are at least `outside`, and below the bins' floors.
            const auto n_c = static_cast<std::int64_t>(collected.size());
            if (cut > 0 && n_c > z && !(dm * outside / static_cast<double>(n_c) > level)) retry = cut - 1;
            for (std::size_t b = cut; retry == kBins && b-- > 0;) {
                const std::int64_t up_to = b == 0 ? m : above[b] + bins[b];
                if (up_to > above[b] && !(dm * floor_p(b) / static_cast<double>(up_to) > level)) retry = b;
            }
        } else {
            threshold = level;
            const auto passing_in_zone = std::upper_bound(zone.begin(), zone.end(), level) - zone.begin();
            if (passing_in_zone < static_cast<std::ptrdiff_t>(wanted) && level >= outside && cut > 0) retry = cut - 1;
        }
        if (retry == kBins) break;
        // Collect down to the bin that failed, and at least twice as many.
        std::size_t next = std::min(retry, cut - 1);
        while (next > 0 && above[next] + bins[next] < 2 * static_cast<std::int64_t>(collected.size())) --next;
        cut = next;
    }
    for (const Collected& c : collected)
        if (c.p <= threshold) passing.push_back(c);

    // The q-values: over the exact zone, the smallest (m p_(j)) / j from the
    // pair's rank on, capped at 1 (beyond the cut every ratio exceeds the
    // level, so they cannot be the smallest).
    std::vector<double> q;
    if (bh) {
        std::int64_t k_star = 0;
        for (std::size_t k = 0; k < zone.size(); ++k)
            if (zone[k] <= threshold) k_star = static_cast<std::int64_t>(k) + 1;
        q.assign(static_cast<std::size_t>(k_star), 1);
        double smallest = 1;
        for (std::int64_t k = k_star; k-- > 0;) {
            const double ratio = (dm * zone[static_cast<std::size_t>(k)]) / static_cast<double>(k + 1);
            if (ratio < smallest) smallest = ratio;
            q[static_cast<std::size_t>(k)] = smallest;
        }
    }
    auto with_q = [&](SelectedPair pair) {
        if (bh) pair.q_value = q[static_cast<std::size_t>(std::lower_bound(zone.begin(), zone.end(), pair.p_value) - zone.begin())];
        return pair;
    };

    const bool stops = passing.size() >= wanted;
    auto selected_from = [&](const Collected& c) { return with_q(selected_candidate(c.pair, genes, c.p)); };
    // A NaN score (both classes' midvariances infinite) may come with finite
    // correlations and a p-value: such pairs rank after every numeric score,
    // in pair order.
    auto before = [](const Candidate& a, const Candidate& b) {
        const bool na = a.score != a.score, nb = b.score != b.score;
        if (na != nb) return nb;
        if (!na && a.score != b.score) return a.score > b.score;
        return a.position < b.position;
    };
    if (order == Order::PValue) {
        std::sort(passing.begin(), passing.end(), [&](const Collected& a, const Collected& b) {
            return a.p != b.p ? a.p < b.p : before(a.pair, b.pair);
        });
        if (stops) passing.resize(wanted);
        for (const Collected& c : passing) out.selected.push_back(selected_from(c));
        // Pairs without a p-value come last in this order.
        out.without_p_value = stops ? 0 : npairs - m;
    }
    std::sort(passing.begin(), passing.end(), [&](const Collected& a, const Collected& b) { return before(a.pair, b.pair); });
    std::vector<Candidate> by_score;  // the numeric scores among them
    for (const Collected& c : passing)
        if (c.pair.score == c.pair.score) by_score.push_back(c.pair);
    // Pairs without a p-value that the walk meets before it stops: those
    // with a higher numeric score than the stop, or, when it stops among the
    // NaN scores, every numeric one and the NaN ones before it.
    std::int64_t no_p_before_stop = 0;
    if (order == Order::Score && stops) {
        const Collected& stop = passing[wanted - 1];
        const double score = stop.pair.score;
        const bool in_nan = score != score;
        const std::int64_t at = stop.pair.position;
#pragma omp parallel for schedule(static) reduction(+ : no_p_before_stop) num_threads(threads)
        for (std::int64_t p = 0; p < npairs; ++p) {
            const double s = -key[p];
            no_p_before_stop += hint[p] != hint[p] && (in_nan ? s == s || p < at : s > score);
        }
    }

    // The listing, and the arrangement of equal scores in the selection: from
    // the table as it is, or ranked where equal scores need it.
    std::unique_ptr<FastRanking> ranking;
    auto ranked = [&]() -> FastRanking& {
        if (!ranking)
            ranking = std::make_unique<FastRanking>(terms, genes, negScore.get(), rankOrder.get(), npairs,
                                                    nan_total, threads);
        return *ranking;
    };
    // (arranged before the ranking moves the keys about)
    ArrangedSelection arranged;
    if (order == Order::Score)
        arranged = arrange_selection(key, npairs, ranked, terms, genes, by_score, wanted, threshold, threads);
    if (listed && !listing_without_table(listing.best(), npairs, listing.nan_count(), listing.first_nan(), terms,
                                         genes, out.top_pairs))
        out.top_pairs = listing_of(ranked());
    if (order == Order::Score) {
        for (const SelectedPair& pair : arranged.selected) out.selected.push_back(with_q(pair));
        for (std::size_t k = by_score.size(); k < passing.size() && out.selected.size() < wanted; ++k)
            out.selected.push_back(selected_from(passing[k]));
        const bool stops_numeric = by_score.size() >= wanted;
        out.without_p_value =
            !stops ? npairs - m : no_p_before_stop + (stops_numeric ? arranged.without_p_value_at_stop : 0);
    }
    return out;
}

}  // namespace tivarne
