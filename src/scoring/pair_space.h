#pragma once
#include <array>
#include <cstdint>

#include "scoring/kernel/pair_kernel.h"
#include "scoring/pair_index.h"
#include "stats/biweight_terms.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// Everything the result of a pair can be recomputed from.
struct PairValues {
    double r1, r2, c, score;
};

// The class sizes a pair's ECOR p-value is formed with: the samples of class
// 1 and of class 2. Every p-value and every bound on one in an analysis comes
// from here, so a p-value formed with other (effective) sizes changes this
// one place.
struct PValueSizes {
    std::int32_t n1 = 0, n2 = 0;

    // The sizes of classes of class1 and class2 samples for the p-value
    // `route`: the class sizes themselves (ECOR), or each less 3 (the
    // calibrated p-value: the sizes Fisher's variance 1/(n - 3) implies).
    static PValueSizes of(std::int32_t class1, std::int32_t class2, PValue route);
    // The samples the calibrated p-value needs in each class (n - 3 >= 1).
    static constexpr std::int32_t kCalibratedMinimum = 4;

    // The ECOR p-value of correlations r1, r2; NaN when there is none.
    double p_value(double r1, double r2) const;
    // The statistic T the p-value is the tail of, as p_value() forms it; NaN
    // when there is no p-value.
    double statistic(double r1, double r2) const;
    // What the kernels need to decide p <= level in bulk.
    EcorLevel level(double level) const;
};

// The pairs of one analysis: their indexing, the class sizes of their
// p-values and, for the fast engine, both classes' per-gene terms, from which
// any pair's r1, r2, c and score are recomputed bit for bit.
class PairSpace {
public:
    // Without terms (the straightforward engine): indexing and p-values.
    PairSpace(std::int32_t genes, PValueSizes sizes) : index_(genes), sizes_(sizes) {}
    // With the terms of class 1 and class 2.
    PairSpace(std::int32_t genes, PValueSizes sizes, std::array<ClassTerms, 2>&& terms)
        : index_(genes), sizes_(sizes), terms_(std::move(terms)) {}
    PairSpace(const PairSpace&) = delete;
    PairSpace& operator=(const PairSpace&) = delete;

    const PairIndex& index() const { return index_; }
    std::int32_t genes() const { return index_.genes(); }
    std::int64_t pairs() const { return index_.pairs(); }
    const PValueSizes& p_sizes() const { return sizes_; }
    double p_value(double r1, double r2) const { return sizes_.p_value(r1, r2); }

    // The fast engine's terms, class 1 first.
    const ClassTerms* terms() const { return terms_.data(); }
    // r1, r2, c and the score of pair (i, k); the same bits as the per-pair
    // routines and as the kernels.
    PairValues values(std::int32_t i, std::int32_t k) const;

private:
    PairIndex index_;
    PValueSizes sizes_;
    std::array<ClassTerms, 2> terms_;
};

}  // namespace tivarne
