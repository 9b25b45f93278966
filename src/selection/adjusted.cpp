#include "selection/adjusted.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "scoring/big_array.h"
#include "scoring/ecor_filter.h"
#include "scoring/fast_pairs.h"
#include "scoring/fast_ranking.h"
#include "selection/listing.h"
#include "selection/ties.h"

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

// The scoring pass's tables, 16 bytes per pair: the negated score and the
// hint at each pair's position, and room for the ranking's index.
struct HintTables {
    explicit HintTables(std::size_t count)
        : keys((fits(count) ? count : throw std::bad_alloc())), hints(count), order(count) {}
    static bool fits(std::size_t count) {
        return fits_in_memory(count * (sizeof(double) + sizeof(float) + sizeof(std::int32_t)));
    }
    BigArray<double> keys;
    BigArray<float> hints;
    BigArray<std::int32_t> order;
};

// The hints counted by bin.
struct Histogram {
    std::vector<std::int64_t> bins;  // empty until the first hint
    std::int64_t top = 0;            // +infinity: p = 0, or a hint that is unsure
    std::int64_t none = 0;           // no p-value
    std::int64_t m = 0;              // pairs that have a p-value
    std::vector<std::int64_t> above;  // above[b]: hints above bin b (+infinity included)

    void start() {
        if (bins.empty()) bins.assign(kBins, 0);
    }
    void count(float h) {
        if (h != h)
            ++none;
        else if (h == std::numeric_limits<float>::infinity())
            ++top;
        else
            ++bins[bin_of(h)];
    }
    // The threads' histograms together, over all `pairs`.
    void merge(const std::vector<Histogram>& parts, std::int64_t pairs) {
        bins.assign(kBins, 0);
        for (const Histogram& h : parts) {
            for (std::size_t b = 0; b < h.bins.size(); ++b) bins[b] += h.bins[b];
            top += h.top;
            none += h.none;
        }
        m = pairs - none;
        above.assign(kBins + 1, 0);
        for (std::size_t b = kBins; b-- > 0;) above[b] = b + 1 < kBins ? above[b + 1] + bins[b + 1] : top;
    }
    // Hints in bin b and above.
    std::int64_t from(std::size_t b) const { return above[b] + bins[b]; }
};

// The scoring pass into the tables; while each block is fresh, the histogram
// of its hints and (when wanted) the listing's scores. Returns the NaN scores.
std::int64_t score_with_hints(const PairSpace& space, HintTables& tables, Histogram& histogram,
                              ListingScores::Merged* listing, const Context& context) {
    const EcorLevel sizes = space.p_sizes().level(0);
    const PairKernel kernel = select_pair_kernel();
    KernelInput in = kernel_input(space);
    in.negScore = tables.keys.get();
    in.hint = tables.hints.get();
    in.level = &sizes;
    const float* hint = tables.hints.get();
    const double* key = tables.keys.get();
    std::vector<Histogram> local(static_cast<std::size_t>(context.threads));
    std::vector<ListingScores> scores(listing ? local.size() : 0);
    const std::int64_t nan_total = for_each_row_block(
        space.genes(), kernel.rows, partner_panel_width(space, kPanelBytes), context,
        [&](int thread, std::int32_t i0, std::int32_t rows, std::int32_t k_begin, std::int32_t k_end) {
            const std::int64_t nans = kernel.score_rows(in, i0, rows, k_begin, k_end);
            Histogram& h = local[static_cast<std::size_t>(thread)];
            h.start();
            for (std::int64_t i = i0; i < i0 + rows; ++i) {
                const std::int64_t first = space.index().row_first(i);  // + k: the position
                for (std::int64_t k = std::max<std::int64_t>(i + 1, k_begin); k < k_end; ++k) {
                    h.count(hint[first + k]);
                    if (listing) scores[static_cast<std::size_t>(thread)].offer(-key[first + k], first + k);
                }
            }
            return nans;
        });
    histogram.merge(local, space.pairs());
    if (listing) *listing = ListingScores::merge(scores, [](const ListingScores& s) -> const ListingScores& { return s; });
    return nan_total;
}

// The lowest bin collected first: where the cut seems to lie, read off the
// histogram with each bin's largest p-value (with BH, the rank the cut
// needs; without, no more than the pairs that can pass at the level), with
// some to spare.
std::size_t first_cut(const Histogram& h, std::size_t wanted, double level, bool bh, const PValueSizes& sizes) {
    std::int64_t needed = static_cast<std::int64_t>(wanted);
    if (!bh) {
        const EcorLevel lv = sizes.level(level);
        const std::int64_t can_pass =
            lv.finite_passes ? h.m : !lv.zero_passes ? h.top : h.from(bin_of(static_cast<float>(lv.t_fail)));
        needed = std::min(needed, can_pass);
    } else {
        const double dm = static_cast<double>(h.m);
        std::int64_t rough = h.top;
        for (std::size_t b = kBins; b-- > 0;) {
            const std::int64_t rank = h.from(b);
            if (rank > 0 && h.bins[b] > 0 && dm * rough_tail(b == 0 ? 0 : bin_high(b - 1)) / rank <= level)
                rough = rank;
        }
        needed = rough;
    }
    needed += needed / 50 + 256;
    std::size_t cut = kBins;  // pairs in bins >= cut (and +infinity) are collected
    while (cut > 0 && h.above[cut - 1] < needed) --cut;
    return cut > 0 ? cut - 1 : 0;
}

struct Collected {
    Candidate pair;
    double p;
};

// The pairs collected with their exact p-values, and where the cut lies.
struct Collection {
    std::vector<Collected> pairs;
    std::size_t down_to = kBins + 1;  // bins already collected: >= this
    std::vector<double> zone;         // the exact zone's p-values, ascending
    double threshold = -1;            // a pair passes when its p-value is at or below it
};

// Collects the pairs of bins [cut, c.down_to) with their exact p-values.
void collect_bins(const PairSpace& space, const HintTables& tables, std::size_t cut, Collection& c, int threads) {
    const float* hint = tables.hints.get();
    const double* key = tables.keys.get();
    const std::size_t down_to = c.down_to;
    std::vector<std::vector<Collected>> found(static_cast<std::size_t>(threads));
#pragma omp parallel for schedule(dynamic, 1 << 16) num_threads(threads)
    for (std::int64_t p = 0; p < space.pairs(); ++p) {
        const float h = hint[p];
        if (h != h) continue;
        const std::size_t b = h == std::numeric_limits<float>::infinity() ? kBins : bin_of(h);
        if (b < cut || (b >= down_to && down_to <= kBins)) continue;
        std::int32_t i, j;
        space.index().pair_at(p, i, j);
        const PairValues v = space.values(i, j);
        found[static_cast<std::size_t>(omp_get_thread_num())].push_back(
            {{-key[p], v.r1, v.r2, p}, space.p_value(v.r1, v.r2)});
    }
    for (const auto& f : found) c.pairs.insert(c.pairs.end(), f.begin(), f.end());
    c.down_to = cut;
}

// Places the cut among the collected pairs (the zone and the threshold) and
// returns a bin that must be collected too before the cut is proven, or
// kBins when it is.
std::size_t place_cut(const Histogram& h, std::size_t cut, Collection& c, double level, std::size_t wanted,
                      bool bh) {
    // Pairs outside the collection have p-values of at least `outside`; the
    // collected ones below it hold their exact ranks.
    const double outside = cut == 0 ? kInf : floor_p(cut - 1);
    c.zone.clear();
    for (const Collected& x : c.pairs)
        if (x.p < outside) c.zone.push_back(x.p);
    std::sort(c.zone.begin(), c.zone.end());
    const auto z = static_cast<std::int64_t>(c.zone.size());
    if (!bh) {
        c.threshold = level;
        const auto passing_in_zone = std::upper_bound(c.zone.begin(), c.zone.end(), level) - c.zone.begin();
        return passing_in_zone < static_cast<std::ptrdiff_t>(wanted) && level >= outside && cut > 0 ? cut - 1 : kBins;
    }
    const double dm = static_cast<double>(h.m);
    std::int64_t k_star = 0;
    for (std::int64_t k = 1; k <= z; ++k)
        if ((dm * c.zone[static_cast<std::size_t>(k - 1)]) / static_cast<double>(k) <= level) k_star = k;
    c.threshold = k_star > 0 ? c.zone[static_cast<std::size_t>(k_star - 1)] : -1;
    // No rank beyond the zone may meet the condition: their p-values are at
    // least `outside`, and below the bins' floors.
    const auto n_c = static_cast<std::int64_t>(c.pairs.size());
    if (cut > 0 && n_c > z && !(dm * outside / static_cast<double>(n_c) > level)) return cut - 1;
    for (std::size_t b = cut; b-- > 0;) {
        const std::int64_t up_to = b == 0 ? h.m : h.from(b);
        if (up_to > h.above[b] && !(dm * floor_p(b) / static_cast<double>(up_to) > level)) return b;
    }
    return kBins;
}

// Exact p-values for the pairs from the first cut's bin up, and for more bins
// until the bounds of the bins below rule out the cut lying there.
Collection collect_until_proven(const PairSpace& space, const HintTables& tables, const Histogram& h,
                                std::size_t cut, double level, std::size_t wanted, bool bh, int threads) {
    Collection c;
    for (;;) {
        collect_bins(space, tables, cut, c, threads);
        const std::size_t retry = place_cut(h, cut, c, level, wanted, bh);
        if (retry == kBins) return c;
        // Collect down to the bin that failed, and at least twice as many.
        std::size_t next = std::min(retry, cut - 1);
        while (next > 0 && h.from(next) < 2 * static_cast<std::int64_t>(c.pairs.size())) --next;
        cut = next;
    }
}

// The q-values of the zone's p-values at or below the threshold: the
// smallest (m p_(j)) / j from each rank on, capped at 1 (beyond the cut every
// ratio exceeds the level, so they cannot be the smallest).
std::vector<double> zone_q_values(const std::vector<double>& zone, double threshold, std::int64_t m) {
    const double dm = static_cast<double>(m);
    std::int64_t k_star = 0;
    for (std::size_t k = 0; k < zone.size(); ++k)
        if (zone[k] <= threshold) k_star = static_cast<std::int64_t>(k) + 1;
    std::vector<double> q(static_cast<std::size_t>(k_star), 1);
    double smallest = 1;
    for (std::int64_t k = k_star; k-- > 0;) {
        const double ratio = (dm * zone[static_cast<std::size_t>(k)]) / static_cast<double>(k + 1);
        if (ratio < smallest) smallest = ratio;
        q[static_cast<std::size_t>(k)] = smallest;
    }
    return q;
}

// Ranking order: a NaN score (both classes' midvariances infinite) may come
// with finite correlations and a p-value; such pairs rank after every numeric
// score, in pair order.
bool ranks_before(const Candidate& a, const Candidate& b) {
    const bool na = a.score != a.score, nb = b.score != b.score;
    if (na != nb) return nb;
    if (!na && a.score != b.score) return a.score > b.score;
    return a.position < b.position;
}

// Pairs without a p-value that the walk meets before it stops at `stop`:
// those with a higher numeric score, or, when it stops among the NaN scores,
// every numeric one and the NaN ones before it.
std::int64_t no_p_before(const Candidate& stop, const HintTables& tables, std::int64_t pairs, int threads) {
    const float* hint = tables.hints.get();
    const double* key = tables.keys.get();
    const bool in_nan = stop.score != stop.score;
    std::int64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count) num_threads(threads)
    for (std::int64_t p = 0; p < pairs; ++p) {
        const double s = -key[p];
        count += hint[p] != hint[p] && (in_nan ? s == s || p < stop.position : s > stop.score);
    }
    return count;
}

// What the selection's steps share once the cut is found.
struct Passing {
    const PairSpace& space;
    std::vector<Collected> pairs;  // p at or below the threshold
    Collection cut;
    std::vector<double> q;         // with BH: the zone's q-values
    std::size_t wanted;
    bool bh;

    SelectedPair with_q(SelectedPair pair) const {
        if (bh) pair.q_value = q[static_cast<std::size_t>(std::lower_bound(cut.zone.begin(), cut.zone.end(), pair.p_value) - cut.zone.begin())];
        return pair;
    }
    SelectedPair kept(const Collected& c) const { return with_q(selected_pair(c.pair, space.index(), c.p)); }
    bool stops() const { return pairs.size() >= wanted; }
};

// In p-value order: equal p-values by score, then in pair order; pairs
// without a p-value come last, so the walk meets them only when it does not
// stop.
void select_by_p_value(Passing& passing, const Histogram& h, Selection& out) {
    std::sort(passing.pairs.begin(), passing.pairs.end(), [](const Collected& a, const Collected& b) {
        return a.p != b.p ? a.p < b.p : ranks_before(a.pair, b.pair);
    });
    if (passing.stops()) passing.pairs.resize(passing.wanted);
    for (const Collected& c : passing.pairs) out.pairs.push_back(passing.kept(c));
    out.without_p_value = passing.stops() ? 0 : h.none;
}

// In score order: the ranking's arrangement of equal scores (through the
// ranked table, where they meet), then the pairs whose score is NaN.
void select_by_score(Passing& passing, const Histogram& h, const HintTables& tables,
                     const std::function<FastRanking&()>& ranked, int threads, Selection& out) {
    std::sort(passing.pairs.begin(), passing.pairs.end(),
              [](const Collected& a, const Collected& b) { return ranks_before(a.pair, b.pair); });
    std::vector<Candidate> by_score;  // the numeric scores among them
    for (const Collected& c : passing.pairs)
        if (c.pair.score == c.pair.score) by_score.push_back(c.pair);
    const std::int64_t pairs = passing.space.pairs();
    // (counted and arranged before the ranking moves the keys about)
    const std::int64_t no_p_before_stop =
        passing.stops() ? no_p_before(passing.pairs[passing.wanted - 1].pair, tables, pairs, threads) : 0;
    const ArrangedSelection arranged = arrange_selection(tables.keys.get(), pairs, ranked, passing.space, by_score,
                                                         passing.wanted, passing.cut.threshold, threads);
    for (const SelectedPair& pair : arranged.selected) out.pairs.push_back(passing.with_q(pair));
    for (std::size_t k = by_score.size(); k < passing.pairs.size() && out.pairs.size() < passing.wanted; ++k)
        out.pairs.push_back(passing.kept(passing.pairs[k]));
    const bool stops_numeric = by_score.size() >= passing.wanted;
    out.without_p_value = !passing.stops() ? h.none
                                           : no_p_before_stop + (stops_numeric ? arranged.without_p_value_at_stop : 0);
}

}  // namespace

Selection select_adjusted(const PairSpace& space, const Criteria& criteria, Adjust adjust, Order order,
                          bool listing, const Context& context) {
    Selection out;
    out.used_pair_table = true;
    const bool bh = adjust == Adjust::BH;
    const std::size_t wanted = static_cast<std::size_t>(std::max(1, criteria.max_pairs));
    HintTables tables(static_cast<std::size_t>(space.pairs()));
    Histogram histogram;
    ListingScores::Merged listed;
    const std::int64_t nan_total = score_with_hints(space, tables, histogram, listing ? &listed : nullptr, context);
    if (context.progress.stopped()) return out;
    out.tested = bh ? histogram.m : 0;

    Passing passing{space, {}, {}, {}, wanted, bh};
    passing.cut = collect_until_proven(space, tables, histogram,
                                       first_cut(histogram, wanted, criteria.level, bh, space.p_sizes()),
                                       criteria.level, wanted, bh, context.threads);
    for (const Collected& c : passing.cut.pairs)
        if (c.p <= passing.cut.threshold) passing.pairs.push_back(c);
    out.p_threshold = passing.cut.threshold;
    if (bh) passing.q = zone_q_values(passing.cut.zone, passing.cut.threshold, histogram.m);

    // The ranked table, only where equal scores or the listing need it.
    std::unique_ptr<FastRanking> ranking;
    auto ranked = [&]() -> FastRanking& {
        if (!ranking)
            ranking = std::make_unique<FastRanking>(space, tables.keys.get(), tables.order.get(), nan_total,
                                                    context.threads);
        return *ranking;
    };
    if (order == Order::PValue)
        select_by_p_value(passing, histogram, out);
    else
        select_by_score(passing, histogram, tables, ranked, context.threads, out);
    if (listing && !listing_without_table(listed, space, out.top_pairs)) out.top_pairs = listing_of(ranked());
    return out;
}

}  // namespace tivarne
