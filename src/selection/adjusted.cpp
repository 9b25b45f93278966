#include "selection/adjusted.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "scoring/fast_pairs.h"
#include "selection/listing.h"
#include "selection/one_pass.h"

namespace tivarne {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Histogram bins of the statistic's hints: bin 0 holds the hints at or below
// 0 (p = 1), bin b >= 1 the positive floats whose bits shifted by kShift are
// b - 1 (2^-12 wide, relatively).
constexpr int kShift = 11;
constexpr std::size_t kBins = (0x7f800000u >> kShift) + 1;

std::size_t bin_of(float hint) {
    if (!(hint > 0)) return 0;
    std::uint32_t bits;
    std::memcpy(&bits, &hint, sizeof bits);
    return (bits >> kShift) + 1;
}

// The smallest and largest hint of bin b >= 1.
double bin_edge(std::size_t b, bool high) {
    const std::uint32_t bits = static_cast<std::uint32_t>((b - 1) << kShift) | (high ? (1u << kShift) - 1 : 0u);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The p-value of T with the C library's erfc: within a few units in the last
// place of the exact routine's for normal results, so that a relative margin
// covers it.
double rough_tail(double T) { return T > 0 ? std::erfc(std::sqrt(T / 2)) : 1; }

// No pair in bin b has a p-value below floor_p(b) or above ceil_p(b).
double floor_p(std::size_t b) {
    const double high = b == 0 ? 0 : bin_edge(b, true);
    const double p = rough_tail(high + kHintSlack * (1 + high)) * (1 - 1e-12);
    return p < 1e-300 ? 0 : p;  // a subnormal tail has too few digits to bound
}
double ceil_p(std::size_t b) {
    if (b == 0) return 1;
    const double low = bin_edge(b, false);
    const double p = rough_tail(low - kHintSlack * (1 + low)) * (1 + 1e-12);
    return std::min(1.0, std::max(p, 2e-300));
}

// The first pass: every pair's statistic counted by bin; p = 0 and no
// p-value on their own.
struct Histogram {
    std::vector<std::int64_t> bins;
    std::int64_t zero = 0, none = 0, m = 0;
};

// The ranks of the p-values of one bin, in increasing p: ranks lo + 1 ..
// hi hold p-values in [floor, ceil] (p_(j) >= floor because the pairs below
// floor lie in higher bins; p_(hi) <= ceil because every pair of this bin
// and of the higher ones lies at or below ceil).
struct Band {
    std::int64_t lo, hi;
    double floor, ceil;
    // Bounds on m p_(j) / j over the band's ranks, and for its last rank.
    double low_ratio(double m) const { return (m * floor) / static_cast<double>(hi); }
    double high_ratio(double m) const { return (m * ceil) / static_cast<double>(hi); }
};

std::vector<Band> bands_of(const Histogram& h) {
    std::vector<Band> out;
    std::int64_t rank = 0;
    if (h.zero > 0) out.push_back({0, rank = h.zero, 0, 0});
    for (std::size_t b = kBins; b-- > 0;)
        if (h.bins[b] > 0) {
            out.push_back({rank, rank + h.bins[b], floor_p(b), ceil_p(b)});
            rank += h.bins[b];
        }
    return out;
}

// The statistic's hints of a block's rows, row by row: f(thread, row, first
// partner, hints, count).
class HintedCollector : public BlockCollector {
public:
    HintedCollector(const PairSpace& space, int threads)
        : space_(space), kernel_(select_pair_kernel()), sizes_(space.p_sizes().level(0)), buffers_(threads) {}

protected:
    template <class F>
    void each_row(int thread, const ScoredBlock& b, F&& f) {
        std::vector<double>& hints = buffers_[static_cast<std::size_t>(thread)];
        if (hints.size() < static_cast<std::size_t>(b.width)) hints.resize(static_cast<std::size_t>(b.width));
        for (std::int32_t r = 0; r < b.rows; ++r) {
            const std::int32_t k0 = b.first_partner(r);
            if (k0 >= b.k_end) continue;
            const std::int64_t at = b.at(r, k0);
            const std::int32_t count = b.k_end - k0;
            kernel_.hints(sizes_, b.r1 + at, b.r2 + at, count, hints.data());
            f(b.i0 + r, k0, at, hints.data(), count);
        }
    }
    const PairSpace& space_;

private:
    const PairKernel kernel_;
    const EcorLevel sizes_;
    std::vector<std::vector<double>> buffers_;
};

struct Collected {
    Candidate pair;
    double p;
};

// The pairs of smallest p-value, exactly: every pair with p < limit.
struct Prefix {
    double limit = 0;
    std::vector<Collected> pairs;  // ascending p
    std::vector<double> p;
};

// The first pass: the histogram, the listing's scores when asked for, and
// each thread's pairs of largest statistic (at most twice `kept`, every
// pair above its cut).
class Counting : public HintedCollector {
public:
    Counting(const PairSpace& space, int threads, bool listing, std::size_t kept)
        : HintedCollector(space, threads), local_(threads), scores_(listing ? threads : 0), top_(threads), kept_(kept) {}

    void collect(int thread, const ScoredBlock& b) override {
        Local& h = local_[static_cast<std::size_t>(thread)];
        Top& top = top_[static_cast<std::size_t>(thread)];
        if (h.bins.empty()) h.bins.assign(kBins, 0);
        std::uint32_t* bins = h.bins.data();
        ListingScores* listing = scores_.empty() ? nullptr : &scores_[static_cast<std::size_t>(thread)];
        each_row(thread, b, [&](std::int32_t i, std::int32_t k0, std::int64_t at, const double* hint, std::int32_t n) {
            double cut = top.cut;
            for (std::int32_t j = 0; j < n; ++j) {
                double T = hint[j];
                if (T > 0 && T < kInf) {  // most pairs
                    const float f = static_cast<float>(T);
                    std::uint32_t bits;
                    std::memcpy(&bits, &f, sizeof bits);
                    ++bins[(bits >> kShift) + 1];
                } else {
                    if (T == kInf) T = space_.p_sizes().statistic(b.r1[at + j], b.r2[at + j]);  // the exact one
                    if (T != T)
                        ++h.none;
                    else if (T == kInf)
                        ++h.zero;
                    else
                        ++bins[bin_of(static_cast<float>(T))];
                }
                if (T >= cut) {
                    keep(top, {{b.score[at + j], b.r1[at + j], b.r2[at + j], space_.index().position(i, k0 + j)}, T});
                    cut = top.cut;
                }
            }
            if (listing)
                for (std::int32_t j = 0; j < n; ++j) listing->offer(b.score[at + j], space_.index().position(i, k0 + j));
        });
    }

    Histogram histogram() const {
        Histogram all;
        all.bins.assign(kBins, 0);
        for (const Local& h : local_) {
            for (std::size_t b = 0; b < h.bins.size(); ++b) all.bins[b] += h.bins[b];
            all.zero += h.zero;
            all.none += h.none;
        }
        all.m = space_.pairs() - all.none;
        return all;
    }
    ListingScores::Merged listing() const {
        return ListingScores::merge(scores_, [](const ListingScores& s) -> const ListingScores& { return s; });
    }

    // The kept pairs of p-value below a limit that every pair below it was kept.
    Prefix prefix(int threads) {
        double cut = -kInf;
        std::vector<Collected> all;
        for (Top& t : top_) {
            cut = std::max(cut, t.cut);
            all.insert(all.end(), t.kept.begin(), t.kept.end());
            t = Top();
        }
        Prefix out;
        // p < limit: T above the cut by more than a hint's slack.
        out.limit = cut == -kInf ? kInf : rough_tail(cut + 2 * kHintSlack * (1 + std::fabs(cut))) * (1 - 1e-12);
#pragma omp parallel for schedule(dynamic, 256) num_threads(threads)
        for (std::size_t x = 0; x < all.size(); ++x) all[x].p = space_.p_value(all[x].pair.r1, all[x].pair.r2);
        for (const Collected& c : all)
            if (c.p < out.limit) out.pairs.push_back(c);
        std::sort(out.pairs.begin(), out.pairs.end(), [](const Collected& a, const Collected& b) { return a.p < b.p; });
        for (const Collected& c : out.pairs) out.p.push_back(c.p);
        return out;
    }

private:
    struct Top {
        std::vector<Collected> kept;  // p holds T until prefix()
        double cut = -kInf;
    };
    void keep(Top& t, const Collected& c) const {
        t.kept.push_back(c);
        if (t.kept.size() < 2 * kept_) return;
        std::nth_element(t.kept.begin(), t.kept.begin() + static_cast<std::ptrdiff_t>(kept_) - 1, t.kept.end(),
                         [](const Collected& a, const Collected& b) { return a.p > b.p; });
        t.cut = t.kept[kept_ - 1].p;
        t.kept.resize(kept_);
    }

    struct Local {
        std::vector<std::uint32_t> bins;  // a thread scores fewer than 2^32 pairs
        std::int64_t zero = 0, none = 0;
    };
    std::vector<Local> local_;
    std::vector<ListingScores> scores_;
    std::vector<Top> top_;
    std::size_t kept_;
};

// Pairs of smallest p-value kept per thread in the first pass: 1.5 MB a
// thread, less when few exact p-values may be kept (tests).
std::size_t kept_pairs(std::int64_t max_exact) {
    return static_cast<std::size_t>(std::clamp<std::int64_t>(max_exact >> 10, 8, 1 << 15));
}

// A range of p-values wanted exactly: every pair with lo <= p <= hi (its
// p-value, or the pair itself when `pairs`), and the count of p-values below lo.
struct Wanted {
    double lo, hi;
    bool pairs;
};
struct Gathered {
    std::int64_t below = 0;
    std::vector<double> p;  // ascending
    std::vector<Collected> pairs;
};

// 1: surely p <= the level; 0: surely p > it; -1: only the exact p-value can tell.
int sure(const EcorLevel& lv, double hint, double slack) {
    if (lv.finite_passes || hint - slack >= lv.t_pass) return 1;
    return hint + slack <= lv.t_fail ? 0 : -1;
}

// A pass that gathers the wanted ranges.
class Gathering : public HintedCollector {
public:
    Gathering(const PairSpace& space, int threads, const std::vector<Wanted>& wanted)
        : HintedCollector(space, threads), wanted_(wanted), local_(threads, std::vector<Gathered>(wanted.size())) {
        const PValueSizes& sizes = space.p_sizes();
        for (const Wanted& w : wanted) {
            below_.push_back(sizes.level(std::nextafter(w.lo, -kInf)));
            within_.push_back(sizes.level(w.hi));
            far_ = std::min(far_, within_.back().finite_passes ? -kInf : within_.back().t_fail);
            near_ = std::max(near_, below_.back().t_pass);
        }
    }

    void collect(int thread, const ScoredBlock& b) override {
        std::vector<Gathered>& g = local_[static_cast<std::size_t>(thread)];
        each_row(thread, b, [&](std::int32_t i, std::int32_t k0, std::int64_t at, const double* hint, std::int32_t n) {
            for (std::int32_t j = 0; j < n; ++j) {
                const double h = hint[j];
                if (h != h) continue;
                const double slack = kHintSlack * (1 + std::fabs(h));
                if (h != kInf && h + slack <= far_) continue;  // above every range
                if (h != kInf && h - slack >= near_) {         // below every range
                    for (Gathered& x : g) ++x.below;
                    continue;
                }
                bool exact = h == kInf;
                std::size_t counted = 0;  // ranges whose count below took the pair already
                for (; counted < wanted_.size() && !exact; ++counted) {
                    const int below = sure(below_[counted], h, slack);
                    exact = below == -1 || (below == 0 && sure(within_[counted], h, slack) != 0);
                    if (below == 1) ++g[counted].below;
                }
                if (!exact) continue;
                // Decided by the exact p-value: undo the counts taken so far
                // and count again.
                for (std::size_t w = 0; w < counted && h != kInf; ++w)
                    if (sure(below_[w], h, slack) == 1) --g[w].below;
                const double r1 = b.r1[at + j], r2 = b.r2[at + j];
                const double p = space_.p_value(r1, r2);
                if (p != p) continue;
                for (std::size_t w = 0; w < wanted_.size(); ++w) {
                    if (p < wanted_[w].lo) {
                        ++g[w].below;
                    } else if (p <= wanted_[w].hi) {
                        g[w].p.push_back(p);
                        if (wanted_[w].pairs)
                            g[w].pairs.push_back({{b.score[at + j], r1, r2, space_.index().position(i, k0 + j)}, p});
                    }
                }
            }
        });
    }

    std::vector<Gathered> take() {
        std::vector<Gathered> out(wanted_.size());
        for (std::size_t w = 0; w < out.size(); ++w) {
            for (std::vector<Gathered>& t : local_) {
                out[w].below += t[w].below;
                out[w].p.insert(out[w].p.end(), t[w].p.begin(), t[w].p.end());
                out[w].pairs.insert(out[w].pairs.end(), t[w].pairs.begin(), t[w].pairs.end());
                t[w] = Gathered();
            }
            std::sort(out[w].p.begin(), out[w].p.end());
        }
        return out;
    }

private:
    std::vector<Wanted> wanted_;
    std::vector<EcorLevel> below_, within_;  // p < lo; p <= hi
    double far_ = kInf, near_ = -kInf;
    std::vector<std::vector<Gathered>> local_;
};

// The passes after the first: each a phase of its own for the progress.
struct Passes {
    const PairSpace& space;
    const Context& context;

    bool next() const {
        context.progress.end();
        context.progress.begin(Phase::Selecting, space.pairs());
        return !context.progress.stopped();
    }
    std::vector<Gathered> gather(const std::vector<Wanted>& wanted) const {
        Gathering g(space, context.threads, wanted);
        next();
        score_in_blocks(space, context, g);
        return g.take();
    }
};

// Ranks below + 1 .. below + p.size() hold exactly these p-values; `least`
// the smallest m p_(j) / j from each on, over ranks up to k*.
struct Segment {
    std::int64_t below;
    std::vector<double> p;
    std::vector<double> least;

    Segment(std::int64_t ranks_below, std::vector<double>&& values, std::int64_t k_star, double m)
        : below(ranks_below), p(std::move(values)), least(p.size() + 1, kInf) {
        for (std::size_t x = p.size(); x-- > 0;) {
            const std::int64_t j = below + static_cast<std::int64_t>(x) + 1;
            const double ratio = (m * p[x]) / static_cast<double>(j);
            least[x] = j <= k_star && ratio < least[x + 1] ? ratio : least[x + 1];
        }
    }
    std::int64_t end() const { return below + static_cast<std::int64_t>(p.size()); }
};

// The cut's rank k* and p-value from the bands, with the exact p-values of
// the ranks that could hold it. false: more p-values needed than max_exact.
bool find_cut(const std::vector<Band>& bands, double level, const Prefix& prefix, const Passes& passes,
              std::int64_t max_exact, bool exact_largest, BhCut& cut, std::vector<Segment>& known) {
    const double m = static_cast<double>(cut.m);
    if (level >= 1) {  // m p_(m) / m <= 1: the cut is the largest p-value
        cut.k = cut.m;
        if (!exact_largest) {
            cut.threshold = std::numeric_limits<double>::quiet_NaN();  // not needed: every p-value passes
        } else if (prefix.limit == kInf && !prefix.p.empty()) {  // every pair kept
            cut.threshold = prefix.p.back();
        } else if (cut.m > 0) {
            const std::vector<Gathered> g = passes.gather({{bands.back().floor, 1, false}});
            if (!g[0].p.empty()) cut.threshold = g[0].p.back();
        }
        return true;
    }
    // The ratio at some rank of band `top` may meet the level, none beyond
    // it; the last rank of band `sure` does.
    std::ptrdiff_t top = -1, sure = -1;
    for (std::size_t x = 0; x < bands.size(); ++x) {
        if (bands[x].low_ratio(m) <= level) top = static_cast<std::ptrdiff_t>(x);
        if (bands[x].high_ratio(m) <= level) sure = static_cast<std::ptrdiff_t>(x);
    }
    if (top < 0) return true;  // nothing passes
    const Band& t = bands[static_cast<std::size_t>(top)];
    const std::int64_t from = sure < 0 ? 0 : bands[static_cast<std::size_t>(sure)].lo;
    std::int64_t below = 0;
    std::vector<double> gathered;
    const std::vector<double>* p = &prefix.p;  // every p-value below the limit, so ranks 1, 2, ...
    if (!(t.ceil < prefix.limit)) {
        if (t.hi - from > max_exact) return false;
        std::vector<Gathered> g =
            passes.gather({{sure < 0 ? 0 : bands[static_cast<std::size_t>(sure)].floor, t.ceil, false}});
        below = g[0].below;
        gathered = std::move(g[0].p);
        p = &gathered;
    }
    for (std::size_t x = 0; x < p->size(); ++x) {
        const std::int64_t j = below + static_cast<std::int64_t>(x) + 1;
        if ((m * (*p)[x]) / static_cast<double>(j) <= level) cut.k = j;
    }
    if (cut.k > 0) cut.threshold = (*p)[static_cast<std::size_t>(cut.k - below - 1)];
    if (p == &gathered) known.emplace_back(below, std::move(gathered), cut.k, m);
    return true;
}

// The q-values of the selected p-values `s` (ascending), where the known
// ranks and the bands settle them: q = the smallest of 1 and m p_(j) / j over
// ranks j from the first rank of s up to k*. Where they do not, adds to
// `wanted` the bands whose ranks could hold a smaller ratio than the known
// ones and returns false.
bool settle_q(const std::vector<double>& s, const std::vector<Band>& bands, const std::vector<Segment>& known,
              std::int64_t k_star, double m, std::vector<double>& q, std::vector<Wanted>& wanted) {
    const std::size_t nb = bands.size();
    // Over the bands from x on: the smallest bound of those not known
    // exactly, and the smallest ratio at a band's last rank.
    std::vector<double> low(nb + 1, kInf), high(nb + 1, kInf);
    std::vector<bool> open(nb);
    for (std::size_t x = nb; x-- > 0;) {
        const Band& b = bands[x];
        bool covered = false;
        for (const Segment& k : known) covered |= k.below <= b.lo && k.end() >= b.hi;
        open[x] = !covered && b.lo < k_star;
        low[x] = std::min(low[x + 1], open[x] ? b.low_ratio(m) : kInf);
        high[x] = std::min(high[x + 1], b.hi <= k_star ? b.high_ratio(m) : kInf);
    }
    q.assign(s.size(), 1);
    std::vector<bool> gather(nb);
    bool settled = true;
    for (std::size_t i = 0; i < s.size(); ++i) {
        double known_least = kInf;  // over the known ranks whose p-value is at least s
        for (const Segment& k : known)
            known_least = std::min(known_least, k.least[static_cast<std::size_t>(
                                                    std::lower_bound(k.p.begin(), k.p.end(), s[i]) - k.p.begin())]);
        // Bands that may hold a p-value at or above s, and those that surely do.
        const auto maybe = static_cast<std::size_t>(
            std::partition_point(bands.begin(), bands.end(), [&](const Band& b) { return b.ceil < s[i]; }) -
            bands.begin());
        const auto surely = static_cast<std::size_t>(
            std::partition_point(bands.begin(), bands.end(), [&](const Band& b) { return b.floor < s[i]; }) -
            bands.begin());
        const double answer = known_least < 1 ? known_least : 1;
        if (answer <= low[maybe]) {
            q[i] = answer;
            continue;
        }
        settled = false;
        const double upper = std::min(answer, high[surely]);
        for (std::size_t x = maybe; x < nb; ++x)
            if (open[x] && bands[x].low_ratio(m) <= upper && bands[x].low_ratio(m) < 1) gather[x] = true;
    }
    for (std::size_t x = 0; x < nb; ++x) {
        if (!gather[x]) continue;
        if (!wanted.empty() && bands[x].floor <= wanted.back().hi)
            wanted.back().hi = std::max(wanted.back().hi, bands[x].ceil);
        else
            wanted.push_back({bands[x].floor, bands[x].ceil, false});
    }
    return settled;
}

// Gives each selected pair its q-value; false when the p-values needed would
// not fit in max_exact.
bool add_q_values(std::vector<SelectedPair>& selected, const std::vector<Band>& bands, std::vector<Segment>& known,
                  const BhCut& cut, const Passes& passes, std::int64_t max_exact) {
    std::vector<double> s;
    for (const SelectedPair& pair : selected) s.push_back(pair.p_value);
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    const double m = static_cast<double>(cut.m);
    std::vector<double> q;
    for (int round = 0;; ++round) {
        std::vector<Wanted> wanted;
        if (settle_q(s, bands, known, cut.k, m, q, wanted)) break;
        std::int64_t needed = 0;
        for (const Band& b : bands)
            for (const Wanted& w : wanted) needed += b.ceil >= w.lo && b.floor <= w.hi ? b.hi - b.lo : 0;
        if (round == 3 || needed > max_exact) return false;
        std::vector<Gathered> g = passes.gather(wanted);
        if (passes.context.progress.stopped()) return true;
        for (Gathered& x : g) known.emplace_back(x.below, std::move(x.p), cut.k, m);
    }
    for (SelectedPair& pair : selected)
        pair.q_value = q[static_cast<std::size_t>(std::lower_bound(s.begin(), s.end(), pair.p_value) - s.begin())];
    return true;
}

}  // namespace

BhCut bh_cut(const PairSpace& space, double level, const Context& context) {
    Counting counting(space, context.threads, false, kept_pairs(std::int64_t{1} << 25));
    score_in_blocks(space, context, counting);
    BhCut cut;
    const Histogram h = counting.histogram();
    cut.m = h.m;
    std::vector<Segment> known;
    find_cut(bands_of(h), level, counting.prefix(context.threads), Passes{space, context},
             std::numeric_limits<std::int64_t>::max(), true, cut, known);
    return cut;
}

std::optional<Selection> select_adjusted(const PairSpace& space, const Criteria& criteria, Adjust adjust,
                                         Order order, bool listing, const Context& context, std::int64_t max_exact) {
    const bool bh = adjust == Adjust::BH, by_p = order == Order::PValue;
    const std::size_t wanted = static_cast<std::size_t>(std::max(1, criteria.max_pairs));
    const Passes passes{space, context};
    Selection out;

    Counting counting(space, context.threads, listing, kept_pairs(max_exact));
    // At a level of 1 or more every p-value passes: in score order the
    // selection is known before the cut, and is taken in the same pass.
    std::optional<OnePass> early;
    if (!by_p && criteria.level >= 1)
        early.emplace(space, Criteria{criteria.level, criteria.max_pairs}, false, context,
                      std::vector<BlockCollector*>{&counting});
    else
        score_in_blocks(space, context, counting);
    if (context.progress.stopped()) return out;
    const Histogram h = counting.histogram();
    const std::vector<Band> bands = bands_of(h);
    const Prefix prefix = counting.prefix(context.threads);
    BhCut cut;
    cut.m = h.m;
    std::vector<Segment> known;
    if (bh) {
        out.tested = h.m;
        if (!find_cut(bands, criteria.level, prefix, passes, max_exact, false, cut, known)) return std::nullopt;
    }
    if (context.progress.stopped()) return out;
    known.emplace_back(0, std::vector<double>(prefix.p), cut.k, static_cast<double>(cut.m));
    // A pair passes when its p-value is at or below `passing` (a level the
    // one pass and the kernels' bounds take, NaN passing nothing).
    const double passing = bh && criteria.level < 1 ? (cut.k > 0 ? cut.threshold : -1) : criteria.level;
    out.p_threshold = bh ? (cut.k > 0 ? cut.threshold : -1) : criteria.level;
    if (listing && !listing_without_table(counting.listing(), space, out.top_pairs)) return std::nullopt;

    // The passing pairs in the order asked for; whether the walk stops.
    std::vector<Collected> pairs;
    bool settled = false;
    if (!by_p && !(passing >= prefix.limit)) {
        // Every passing pair is at hand: when their scores differ, the walk
        // takes them in score order, all of them when fewer pass than are
        // wanted; else it stops at the wanted-th, having met the pairs
        // without a p-value that score above it, which only a scoring pass
        // can count, unless no pair lacks a p-value.
        for (const Collected& c : prefix.pairs)
            if (c.p <= passing) pairs.push_back(c);
        std::sort(pairs.begin(), pairs.end(),
                  [](const Collected& a, const Collected& b) { return ranks_before(a.pair, b.pair); });
        settled = pairs.size() < wanted || h.none == 0;
        const std::size_t met = std::min(pairs.size(), wanted + 1);
        for (std::size_t x = 1; x < met && settled; ++x) settled = pairs[x - 1].pair.score != pairs[x].pair.score;
    }
    if (!by_p && !settled) {
        if (!early) {
            passes.next();
            early.emplace(space, Criteria{passing, criteria.max_pairs}, false, context);
            if (context.progress.stopped()) return out;
        }
        if (!early->selection_settled()) return std::nullopt;
        Selection taken = early->take();
        out.pairs = std::move(taken.pairs);
        out.without_p_value = taken.without_p_value;
    } else {
        if (by_p) {
            // The pairs of the `wanted` smallest p-values that pass: the band
            // of rank `wanted` bounds them.
            const auto band = static_cast<std::size_t>(
                std::partition_point(bands.begin(), bands.end(),
                                     [&](const Band& b) { return b.hi < static_cast<std::int64_t>(wanted); }) -
                bands.begin());
            const double hi = std::min(band < bands.size() ? bands[band].ceil : 1.0, passing);
            if (hi < prefix.limit) {
                for (const Collected& c : prefix.pairs)
                    if (c.p <= hi) pairs.push_back(c);
            } else if (hi >= 0) {
                std::int64_t needed = 0;
                for (const Band& b : bands) needed += b.floor <= hi ? b.hi - b.lo : 0;
                if (needed > max_exact / 6) return std::nullopt;  // 48 bytes a pair
                std::vector<Gathered> g = passes.gather({{0, hi, true}});
                if (context.progress.stopped()) return out;
                pairs = std::move(g[0].pairs);
            }
            // Equal p-values by score, then in pair order.
            std::sort(pairs.begin(), pairs.end(), [](const Collected& a, const Collected& b) {
                return a.p != b.p ? a.p < b.p : ranks_before(a.pair, b.pair);
            });
        }
        const bool stops = pairs.size() >= wanted;
        if (stops) pairs.resize(wanted);
        for (const Collected& c : pairs) out.pairs.push_back(selected_pair(c.pair, space.index(), c.p));
        out.without_p_value = stops ? 0 : h.none;
    }
    if (bh && !out.pairs.empty() && !add_q_values(out.pairs, bands, known, cut, passes, max_exact))
        return std::nullopt;
    return out;
}

}  // namespace tivarne
