#pragma once
// Label permutations: the null distribution of the pairs' p-values under
// shuffled labels, pooled over every pair of every permutation and counted
// exactly at the p-values of the selected pairs, without storing a null pair.
#include <cstdint>
#include <string>
#include <vector>

#include "core/progress.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// The labels of permutation t (0-based): `labels` shuffled (Fisher-Yates)
// by a generator seeded from `seed` and t alone, so that a permutation is
// the same in every shard and on every platform.
std::vector<std::int32_t> permuted_labels(const std::int32_t* labels, std::int32_t samples, std::uint64_t seed,
                                          std::int32_t t);

// The number of labelings with these class sizes, C(n1 + n2, n1), or
// `cap` when it is larger.
std::int64_t distinct_labelings(std::int32_t n1, std::int32_t n2, std::int64_t cap);

// A cheap necessary condition for a p-value at or below a level: the ECOR
// statistic is at most (z1 - z2)^2 m1 m2 / (m1 + m2) with z = atanh r (each
// class term is 2 m ln cosh(z - zeta) <= m (z - zeta)^2 at the common
// correlation), and |z1 - z2| <= |r1 - r2| / (1 - max(r1^2, r2^2)). So
// where both |r| <= 0.99 and (r1 - r2)^2 < bound (1 - max(r1^2, r2^2))^2,
// T < t and the p-value lies above the level whose smallest passing
// statistic is t. bound: t (1/m1 + 1/m2) less a margin, or a negative
// number when the condition cannot be used (every pair may pass).
double may_pass_bound(double t, double m1, double m2);
inline bool may_pass(double r1, double r2, double bound) {
    const double d = r1 - r2, q = r1 * r1 > r2 * r2 ? r1 * r1 : r2 * r2, w = 1 - q;
    return !(q <= 0.9801) || !(d * d < bound * (w * w));
}

// Throws the Input error of unusable permutation options (before any work).
void check_permutation_options(const Options& options, std::int32_t n1, std::int32_t n2);

// What a set of permutations found: per threshold (the selected pairs'
// distinct p-values, ascending) the null pairs at or below it, and the null
// pairs with a p-value, over permutations [from, to).
struct NullSummary {
    std::uint64_t fingerprint = 0;  // of the data and the options
    std::int32_t permutations = 0;
    std::uint64_t seed = 0;
    std::int32_t from = 0, to = 0;
    std::int64_t tested = 0;
    std::vector<double> thresholds;
    std::vector<std::int64_t> at_or_below;

    std::string text() const;
    // The summary a text holds; `which` names it in errors ("null summary 2").
    static NullSummary parse(const std::string& text, const std::string& which);
};

// Adds the permutations' values to `result` (its selected pairs, in the
// order of the selection) and its null summary, for data and options that
// produced it: runs the permutations asked for, or merges the summaries
// given. Returns early, with the stop asked for, when the progress says so.
void add_permutations(const DataView& data, const Criteria& criteria, const Options& options, Result& result,
                      const Context& context);

}  // namespace tivarne
