#include "analysis/permutations.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <utility>

#include "core/containers.h"
#include "core/error.h"
#include "scoring/fast_pairs.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/pair_space.h"
#include "scoring/pval.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"

namespace tivarne {
namespace {

std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// FNV-1a, 64 bits.
class Fingerprint {
public:
    template <class T>
    void add(const T& value) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (unsigned char b : bytes) hash_ = (hash_ ^ b) * 0x100000001B3ULL;
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ULL;
};

// Everything the selected pairs and the permutations depend on.
std::uint64_t fingerprint_of(const DataView& data, const Criteria& criteria, const Options& options) {
    Fingerprint f;
    f.add(data.genes);
    f.add(data.samples);
    const ExpressionView x(data);
    for (std::int32_t g = 0; g < data.genes; ++g)
        for (std::int32_t j = 0; j < data.samples; ++j) f.add(x(j, g));
    for (std::int32_t j = 0; j < data.samples; ++j) f.add(data.labels[j]);
    f.add(criteria.level);
    f.add(criteria.max_pairs);
    f.add(static_cast<int>(options.adjust));
    f.add(static_cast<int>(options.order));
    f.add(static_cast<int>(options.p_value));
    f.add(options.permutations);
    f.add(options.seed);
    return f.value();
}

// The thresholds (the selected pairs' distinct p-values, ascending) and the
// statistics behind them, so that most null pairs find their place from
// their statistic T without the chi-squared tail: p is the tail of T, which
// falls with T, so T at least a hair above every statistic of threshold j
// puts p at or below p_j, and T a hair below every statistic of threshold
// j - 1 puts p above p_{j-1}. A hair: a relative 1e-9, far beyond the
// rounding of the tail where T lies in [1e-3, 1400] (p from about 0.975 down
// to 1e-305); elsewhere, and near a threshold, the exact p-value decides.
struct Thresholds {
    std::vector<double> p, t_lo, t_hi, key;  // key: the running minimum of t_lo, for the search

    Thresholds(const std::vector<double>& values, const std::vector<SelectedPair>& selected, const PValueSizes& sizes)
        : p(values), t_lo(values.size(), kInf), t_hi(values.size(), -kInf), key(values.size()) {
        std::vector<bool> usable(values.size(), true);
        for (const SelectedPair& pair : selected) {
            if (std::isnan(pair.p_value)) continue;
            const auto j = static_cast<std::size_t>(std::lower_bound(p.begin(), p.end(), pair.p_value) - p.begin());
            double rho = 0, T = 0;
            if (!ecor_statistic(pair.r1, pair.r2, sizes.n1, sizes.n2, rho, T) || !in_range(T)) {
                usable[j] = false;
                continue;
            }
            t_lo[j] = std::min(t_lo[j], T);
            t_hi[j] = std::max(t_hi[j], T);
        }
        double running = kInf;
        for (std::size_t j = 0; j < p.size(); ++j) {
            if (!usable[j]) t_lo[j] = kInf, t_hi[j] = -kInf;
            key[j] = running = std::min(running, t_lo[j]);
        }
    }
    std::size_t size() const { return p.size(); }

    static bool in_range(double T) { return T >= 1e-3 && T <= 1400; }
    // The place of a statistic: j when p_{j-1} < p <= p_j for sure (size()
    // when p lies above every threshold); -1 when only the exact p-value can tell.
    std::ptrdiff_t sure_bin(double T) const {
        if (!in_range(T)) return -1;
        std::size_t lo = 0, hi = key.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (key[mid] <= T)
                hi = mid;
            else
                lo = mid + 1;
        }
        if (lo < key.size() && !(T >= t_lo[lo] * (1 + 1e-9))) return -1;
        if (lo > 0 && !(T <= t_hi[lo - 1] * (1 - 1e-9))) return -1;
        return static_cast<std::ptrdiff_t>(lo);
    }
    std::size_t exact_bin(double p_value) const {
        return static_cast<std::size_t>(std::lower_bound(p.begin(), p.end(), p_value) - p.begin());
    }

    static constexpr double kInf = std::numeric_limits<double>::infinity();
};

// Per pass: per threshold the pairs whose p-value falls at or below it and
// above the threshold before; the pairs with a p-value.
struct PassCounts {
    std::vector<std::int64_t> bins;
    std::int64_t tested = 0;
};

// Counts the p-values of every scored pair against the thresholds: the
// kernels decide p <= the largest threshold in bulk; only the pairs that
// pass it (or lie too near it to tell) get their exact p-value and a bin.
class NullCounter final : public BlockCollector {
public:
    NullCounter(const PairSpace& space, const Thresholds& thresholds, int threads)
        : space_(space),
          thresholds_(thresholds),
          cut_(thresholds.p.back()),
          level_(space.p_sizes().level(thresholds.p.back())),
          bound_(level_.finite_passes ? -1 : may_pass_bound(level_.t_fail, level_.m1, level_.m2)),
          kernel_(select_pair_kernel()),
          per_thread_(static_cast<std::size_t>(threads)) {
        for (Thread& t : per_thread_) t.counts.bins.assign(thresholds.size(), 0);
    }

    void collect(int thread, const ScoredBlock& b) override {
        Thread& t = per_thread_[static_cast<std::size_t>(thread)];
        for (std::int32_t r = 0; r < b.rows; ++r) {
            const std::int64_t k_first = b.first_partner(r);
            if (k_first >= b.k_end) continue;
            const std::int64_t at = b.at(r, k_first);
            const auto count = static_cast<std::int32_t>(b.k_end - k_first);
            // Pairs sure to fail need no statistic, only whether they have
            // a p-value: every pair the condition rules out has finite
            // correlations inside (-0.99, 0.99), which always have one.
            t.r1.clear();
            t.r2.clear();
            for (std::int32_t j = 0; j < count; ++j) {
                const double r1 = b.r1[at + j], r2 = b.r2[at + j];
                if (may_pass(r1, r2, bound_)) {
                    t.r1.push_back(r1);
                    t.r2.push_back(r2);
                }
            }
            const auto kept = static_cast<std::int32_t>(t.r1.size());
            t.counts.tested += count - kept;
            t.decision.resize(static_cast<std::size_t>(kept));
            kernel_.classify(level_, t.r1.data(), t.r2.data(), kept, t.decision.data());
            for (std::int32_t j = 0; j < kept; ++j) {
                const std::uint8_t d = t.decision[static_cast<std::size_t>(j)];
                if (d == kEcorNone) continue;
                if (d == kEcorFail) {
                    ++t.counts.tested;
                    continue;
                }
                const double r1 = t.r1[static_cast<std::size_t>(j)], r2 = t.r2[static_cast<std::size_t>(j)];
                double rho = 0, T = 0;
                const PValueSizes& n = space_.p_sizes();
                const std::ptrdiff_t sure = ecor_statistic(r1, r2, n.n1, n.n2, rho, T) ? thresholds_.sure_bin(T) : -1;
                if (sure >= 0) {
                    ++t.counts.tested;
                    if (static_cast<std::size_t>(sure) < thresholds_.size()) ++t.counts.bins[static_cast<std::size_t>(sure)];
                    continue;
                }
                const double p = space_.p_value(r1, r2);
                if (std::isnan(p)) continue;
                ++t.counts.tested;
                if (p <= cut_) ++t.counts.bins[thresholds_.exact_bin(p)];
            }
        }
    }

    PassCounts total() const {
        PassCounts sum{std::vector<std::int64_t>(thresholds_.size(), 0), 0};
        for (const Thread& t : per_thread_) {
            sum.tested += t.counts.tested;
            for (std::size_t j = 0; j < sum.bins.size(); ++j) sum.bins[j] += t.counts.bins[j];
        }
        return sum;
    }

private:
    struct alignas(64) Thread {
        PassCounts counts;
        std::vector<double> r1, r2;
        std::vector<std::uint8_t> decision;
    };
    const PairSpace& space_;
    const Thresholds& thresholds_;
    const double cut_;
    const EcorLevel level_;
    const double bound_;
    const PairKernel kernel_;
    std::vector<Thread> per_thread_;
};

// One scoring pass of the data under `labels` (with the observed class
// sizes), every pair counted against the thresholds.
PassCounts count_pass(const DataView& data, const std::int32_t* labels, const LabelVector& class_sizes,
                      PValue route, const Thresholds& thresholds, const Context& context) {
    DataView view = data;
    view.labels = labels;
    const ExpressionView x(view);
    const LabelView l(view);
    StatMatrix medmad(data.genes, 4), bivar(data.genes, 2);
    const int tuning = kTuning;
    per_gene_biweight_statistics(x, l, bivar, medmad, view.samples, tuning, view.genes, class_sizes,
                                 context.threads);
    std::array<ClassTerms, 2> terms;
    compute_class_terms(x, l, bivar, medmad, context.threads, terms.data());
    const PairSpace space(data.genes, PValueSizes::of(class_sizes(0), class_sizes(1), route), std::move(terms));
    NullCounter counter(space, thresholds, context.threads);
    score_in_blocks(space, context, counter);
    return counter.total();
}

// The cumulative counts: pairs at or below each threshold.
std::vector<std::int64_t> at_or_below(const std::vector<std::int64_t>& bins) {
    std::vector<std::int64_t> out(bins.size());
    std::int64_t sum = 0;
    for (std::size_t j = 0; j < bins.size(); ++j) out[j] = sum += bins[j];
    return out;
}

// The shards' summaries as one, checked: the same data, options and
// thresholds, every permutation exactly once.
NullSummary merge(const std::vector<std::string>& texts, const NullSummary& expected) {
    std::vector<NullSummary> parts;
    for (std::size_t s = 0; s < texts.size(); ++s) {
        const std::string which = "Null summary " + std::to_string(s + 1);
        NullSummary part = NullSummary::parse(texts[s], which);
        if (part.fingerprint != expected.fingerprint || part.permutations != expected.permutations ||
            part.seed != expected.seed || part.thresholds != expected.thresholds)
            input_error(message::summary_foreign(which));
        parts.push_back(std::move(part));
    }
    std::vector<std::size_t> order(parts.size());
    for (std::size_t s = 0; s < order.size(); ++s) order[s] = s;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return parts[a].from < parts[b].from; });
    NullSummary sum = expected;
    sum.from = 0;
    sum.to = expected.permutations;
    sum.at_or_below.assign(expected.thresholds.size(), 0);
    std::int32_t next = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const NullSummary& part = parts[order[k]];
        if (part.from < next)
            input_error(message::summaries_overlap(static_cast<std::int64_t>(order[k - 1] + 1), static_cast<std::int64_t>(order[k] + 1), part.from));
        if (part.from > next)
            input_error(message::summaries_miss(next, part.from - 1));
        next = part.to;
        sum.tested += part.tested;
        for (std::size_t j = 0; j < sum.at_or_below.size(); ++j) sum.at_or_below[j] += part.at_or_below[j];
    }
    if (next < expected.permutations)
        input_error(message::summaries_miss(next, expected.permutations - 1));
    return sum;
}

}  // namespace

double may_pass_bound(double t, double m1, double m2) {
    if (!(m1 > 0) || !(m2 > 0)) return -1;
    // A relative margin far beyond the rounding of T and of the condition,
    // and an absolute one for a t near 0.
    const double needed = t * (1 - 1e-6) - 1e-9 * (1 + m1 + m2);
    if (!(needed > 0) || !std::isfinite(needed)) return -1;
    return needed * (1 / m1 + 1 / m2);
}

std::vector<std::int32_t> permuted_labels(const std::int32_t* labels, std::int32_t samples, std::uint64_t seed,
                                          std::int32_t t) {
    std::vector<std::int32_t> out(labels, labels + samples);
    std::uint64_t state = seed;
    state ^= splitmix64(state) + static_cast<std::uint64_t>(t) * 0xD1B54A32D192ED03ULL;
    for (std::int32_t i = samples - 1; i > 0; --i) {
        const std::uint64_t range = static_cast<std::uint64_t>(i) + 1;
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
        std::uint64_t u;
        do u = splitmix64(state);
        while (u >= limit);
        std::swap(out[static_cast<std::size_t>(i)], out[static_cast<std::size_t>(u % range)]);
    }
    return out;
}

std::int64_t distinct_labelings(std::int32_t n1, std::int32_t n2, std::int64_t cap) {
    const std::int64_t k = std::min(n1, n2), n = std::int64_t{n1} + n2;
    unsigned __int128 c = 1;
    for (std::int64_t j = 0; j < k; ++j) {
        c = c * static_cast<unsigned __int128>(n - j) / static_cast<unsigned __int128>(j + 1);
        if (c > static_cast<unsigned __int128>(cap)) return cap;
    }
    return static_cast<std::int64_t>(c);
}

void check_permutation_options(const Options& o, std::int32_t n1, std::int32_t n2) {
    const std::int32_t n = o.permutations;
    if (n < 0)
        input_error(message::permutations_below_one(n));
    if (n == 0) {
        if (!o.null_summaries.empty() || o.permutations_from != 0 || o.permutations_to >= 0)
            input_error(message::kPermutationsNeeded);
        return;
    }
    if (!o.focus_genes.empty() || !o.focus_pairs.empty())
        input_error(message::kPermutationsFocused);
    const std::int64_t labelings = distinct_labelings(n1, n2, std::int64_t{n} + 1);
    if (n > labelings)
        input_error(message::too_many_permutations(n, n1, n2, labelings));
    const std::int32_t to = o.permutations_to < 0 ? n : o.permutations_to;
    if (o.permutations_from < 0 || o.permutations_from >= to || to > n)
        input_error(message::permutation_range(o.permutations_from, to, n));
    if (!o.null_summaries.empty() && (o.permutations_from != 0 || o.permutations_to >= 0))
        input_error(message::kSummariesOrRange);
}

std::string NullSummary::text() const {
    std::ostringstream out;
    char line[96];
    std::snprintf(line, sizeof line, "%016" PRIx64, fingerprint);
    out << "tivarne null summary 1\nfingerprint " << line << "\npermutations " << permutations << "\nseed " << seed
        << "\nrange " << from << " " << to << "\ntested " << tested << "\nthresholds " << thresholds.size() << "\n";
    for (std::size_t j = 0; j < thresholds.size(); ++j) {
        std::snprintf(line, sizeof line, "%a %" PRId64 "\n", thresholds[j], at_or_below[j]);
        out << line;
    }
    return out.str();
}

NullSummary NullSummary::parse(const std::string& text, const std::string& which) {
    std::istringstream in(text);
    NullSummary s;
    std::string word, hex;
    std::size_t count = 0;
    auto expect = [&](const char* name) {
        if (!(in >> word) || word != name)
            input_error(message::summary_not_one(which, name));
    };
    expect("tivarne");
    expect("null");
    expect("summary");
    if (!(in >> word) || word != "1")
        input_error(message::summary_version(which, word));
    expect("fingerprint");
    in >> hex;
    expect("permutations");
    in >> s.permutations;
    expect("seed");
    in >> s.seed;
    expect("range");
    in >> s.from >> s.to;
    expect("tested");
    in >> s.tested;
    expect("thresholds");
    in >> count;
    if (!in || hex.size() != 16 || count > text.size())
        input_error(message::summary_damaged(which, "its header does not read"));
    s.fingerprint = std::strtoull(hex.c_str(), nullptr, 16);
    s.thresholds.resize(count);
    s.at_or_below.resize(count);
    for (std::size_t j = 0; j < count; ++j) {
        std::string value;
        in >> value >> s.at_or_below[j];
        char* end = nullptr;
        s.thresholds[j] = std::strtod(value.c_str(), &end);
        if (!in || end != value.c_str() + value.size())
            input_error(message::summary_damaged(which, "threshold " + std::to_string(j + 1) + " does not read"));
    }
    if (in >> word) input_error(message::summary_damaged(which, "text after its last threshold"));
    return s;
}

void add_permutations(const DataView& data, const Criteria& criteria, const Options& options, Result& result,
                      const Context& context) {
    const std::int32_t n = options.permutations;
    if (n == 0) return;
    NullSummary summary;
    summary.fingerprint = fingerprint_of(data, criteria, options);
    summary.permutations = n;
    summary.seed = options.seed;
    for (const SelectedPair& p : result.selected)
        if (!std::isnan(p.p_value)) summary.thresholds.push_back(p.p_value);
    std::sort(summary.thresholds.begin(), summary.thresholds.end());
    summary.thresholds.erase(std::unique(summary.thresholds.begin(), summary.thresholds.end()),
                             summary.thresholds.end());
    const std::size_t k = summary.thresholds.size();
    LabelVector sizes(2);
    sizes(0) = result.class1;
    sizes(1) = result.class2;

    ProgressReporter& progress = context.progress;
    const bool merging = !options.null_summaries.empty();
    if (merging) {
        summary = merge(options.null_summaries, summary);
    } else {
        summary.from = options.permutations_from;
        summary.to = options.permutations_to < 0 ? n : options.permutations_to;
        summary.at_or_below.assign(k, 0);
    }
    const bool whole = summary.from == 0 && summary.to == n;
    const Thresholds thresholds(summary.thresholds, result.selected,
                                PValueSizes::of(result.class1, result.class2, options.p_value));
    const std::int64_t passes = (merging ? 0 : summary.to - summary.from) + (whole ? 1 : 0);
    progress.begin(Phase::Scoring, k ? passes * result.pairs : 0);
    if (k > 0 && !merging) {
        std::vector<std::int64_t> bins(k, 0);
        for (std::int32_t t = summary.from; t < summary.to && !progress.stopped(); ++t) {
            const std::vector<std::int32_t> labels = permuted_labels(data.labels, data.samples, options.seed, t);
            const PassCounts c = count_pass(data, labels.data(), sizes, options.p_value, thresholds, context);
            summary.tested += c.tested;
            for (std::size_t j = 0; j < k; ++j) bins[j] += c.bins[j];
        }
        summary.at_or_below = at_or_below(bins);
    }
    std::vector<std::int64_t> observed(k, 0);
    if (k > 0 && whole && !progress.stopped())
        observed = at_or_below(count_pass(data, data.labels, sizes, options.p_value, thresholds, context).bins);
    progress.end();
    if (progress.stopped()) return;
    result.null_summary = summary.text();
    if (!whole) return;

    // p_perm = (1 + C) / (1 + M); fdr = min(1, C / N / R), made monotone
    // from the largest threshold down.
    std::vector<double> p_perm(k), fdr(k);
    double smallest = 1;
    for (std::size_t j = k; j-- > 0;) {
        const auto c = static_cast<double>(summary.at_or_below[j]);
        p_perm[j] = (1 + c) / (1 + static_cast<double>(summary.tested));
        const double r = static_cast<double>(std::max<std::int64_t>(observed[j], 1));
        smallest = std::min(smallest, c / n / r);
        fdr[j] = smallest;
    }
    for (SelectedPair& p : result.selected) {
        if (std::isnan(p.p_value)) continue;
        const auto j = static_cast<std::size_t>(
            std::lower_bound(summary.thresholds.begin(), summary.thresholds.end(), p.p_value) -
            summary.thresholds.begin());
        p.p_perm = p_perm[j];
        p.fdr = fdr[j];
    }
}

}  // namespace tivarne
