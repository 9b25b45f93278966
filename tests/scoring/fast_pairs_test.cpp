// The fast scoring engine against the per-pair routines, bit for bit: the
// scalar recomputation, every SIMD kernel this processor runs, and the
// panelled parallel pass, on data made to hit the degenerate cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "input/sizes.h"
#include "scoring/big_array.h"
#include "scoring/fast_pairs.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/scoring.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"

namespace tivarne {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A data set with outliers, genes constant within a class, genes equal to
// their neighbour, and the given class sizes spread through the samples.
struct Study {
    ExpressionMatrix expression;
    LabelVector labels, nclass;
    StatMatrix medmad, bivar;
    ClassTerms terms[2];
    std::vector<double> reference;  // -score per pair, from the per-pair routines
    std::vector<double> r1, r2, weight;

    Study(int genes, int size1, int size2, unsigned seed) {
        std::mt19937_64 rng(seed);
        std::normal_distribution<double> normal;
        ngene = genes;
        n = size1 + size2;
        n1 = size1;
        n2 = size2;
        labels.resize(n);
        std::vector<int> order(n);
        for (int j = 0; j < n; ++j) order[j] = j < size1 ? 1 : 0;
        std::shuffle(order.begin(), order.end(), rng);
        for (int j = 0; j < n; ++j) labels(j) = order[j];
        expression.resize(n, genes);
        for (int g = 0; g < genes; ++g)
            for (int j = 0; j < n; ++j) {
                double x = normal(rng);
                if (g % 9 == 4 && labels(j) > 0) x = 1.25;  // constant in class 1
                if (g % 13 == 7 && labels(j) == 0) x = -3;  // constant in class 2
                if (rng() % 11 == 0) x *= 50;               // outliers
                if (g % 10 == 6) x = expression(j, g - 1);  // a duplicated gene
                expression(j, g) = x;
            }
        nclass.resize(2);
        nclass(0) = n1;
        nclass(1) = n2;
        const int tuning = 9;
        medmad.resize(genes, 4);
        bivar.resize(genes, 2);
        get_meanvar_biweight(expression, labels, bivar, medmad, n, tuning, ngene, nclass);
        compute_class_terms(expression, labels, bivar, medmad, tuning, terms);
        for (int i = 0; i + 1 < genes; ++i)
            for (int k = i + 1; k < genes; ++k) {
                double a = 0, b = 0;
                get_corr_biweight(expression, labels, bivar, medmad, n, tuning, i, k, nclass, a, b);
                const double c = pair_weight(bivar(i, 0), bivar(i, 1), bivar(k, 0), bivar(k, 1));
                r1.push_back(a);
                r2.push_back(b);
                weight.push_back(c);
                reference.push_back(-pair_score(c, a, b));
            }
    }

    std::int64_t nan_count() const {
        std::int64_t count = 0;
        for (double v : reference) count += std::isnan(v);
        return count;
    }
};

struct Shape {
    int genes, size1, size2;
};

// Shapes around the kernels' tile widths (6, 12, 16) and row blocks (4, 8),
// with classes of one and two samples.
const Shape kShapes[] = {{2, 3, 3},   {3, 1, 4},   {17, 2, 5},  {33, 6, 1},
                         {49, 2, 2},  {64, 10, 7}, {97, 5, 12}, {130, 3, 40}};

TEST(FastPairs, ScalarRecomputationMatchesPerPairRoutines) {
    for (const Shape& s : kShapes) {
        Study st(s.genes, s.size1, s.size2, 11u + s.genes);
        std::size_t p = 0;
        for (int i = 0; i + 1 < s.genes; ++i)
            for (int k = i + 1; k < s.genes; ++k, ++p) {
                const PairValues v = pair_values(st.terms, i, k);
                ASSERT_TRUE(same_bits(v.r1, st.r1[p])) << s.genes << " genes, pair " << i << "," << k;
                ASSERT_TRUE(same_bits(v.r2, st.r2[p])) << s.genes << " genes, pair " << i << "," << k;
                ASSERT_TRUE(same_bits(v.c, st.weight[p]));
                ASSERT_TRUE(same_bits(-v.score, st.reference[p]));
            }
    }
}

TEST(FastPairs, EveryKernelMatchesPerPairRoutines) {
    const PairKernel* kernels[4];
    const int count = available_pair_kernels(kernels, 4);
    ASSERT_GE(count, 1);
    for (const Shape& s : kShapes) {
        Study st(s.genes, s.size1, s.size2, 101u + s.genes);
        for (int q = 0; q < count; ++q) {
            const PairKernel& kernel = *kernels[q];
            std::vector<double> out(st.reference.size(), 42.0);
            KernelInput in{};
            in.genes = s.genes;
            for (int c = 0; c < 2; ++c)
                in.cls[c] = {st.terms[c].by_sample.data(), st.terms[c].ld, st.terms[c].m,
                             st.terms[c].D.data(), st.terms[c].bivar.data()};
            in.negScore = out.data();
            std::int64_t nans = 0;
            // Rows in blocks, partners in panels of two alignment units.
            for (int kb = 0; kb < s.genes; kb += 2 * kPanelAlign) {
                const int ke = std::min(s.genes, kb + 2 * kPanelAlign);
                for (int i0 = 0; i0 < ke - 1; i0 += kernel.rows)
                    nans += kernel.score_rows(in, i0, std::min(kernel.rows, ke - 1 - i0), kb, ke);
            }
            EXPECT_EQ(nans, st.nan_count()) << kernel.name;
            for (std::size_t p = 0; p < out.size(); ++p)
                ASSERT_TRUE(same_bits(out[p], st.reference[p]))
                    << kernel.name << ", " << s.genes << " genes, position " << p << ": " << out[p] << " vs " << st.reference[p];
        }
    }
}

TEST(FastPairs, PanelledParallelPassMatchesPerPairRoutines) {
    for (const Shape& s : kShapes) {
        Study st(s.genes, s.size1, s.size2, 7u * s.genes);
        // The smallest panels, so that many panels and partial tiles occur.
        for (std::size_t panel_bytes : {std::size_t{1}, kPanelBytes}) {
            std::vector<double> out(st.reference.size(), 42.0);
            EXPECT_EQ(score_pairs_fast(st.terms, s.genes, out.data(), panel_bytes), st.nan_count());
            for (std::size_t p = 0; p < out.size(); ++p)
                ASSERT_TRUE(same_bits(out[p], st.reference[p])) << s.genes << " genes, position " << p;
        }
    }
}

TEST(FastPairs, PairPositionsInvert) {
    for (std::int64_t genes : {2, 3, 10, 1000, 46341}) {
        const std::int64_t npairs = genes * (genes - 1) / 2;
        for (std::int64_t p : {std::int64_t{0}, std::int64_t{1}, npairs / 3, npairs / 2, npairs - 2, npairs - 1}) {
            if (p < 0 || p >= npairs) continue;
            std::int32_t i, k;
            pair_at_position(genes, p, i, k);
            EXPECT_LT(i, k);
            EXPECT_LT(k, genes);
            EXPECT_EQ(pair_position(genes, i, k), p) << genes << " genes";
        }
        for (std::int64_t i = 0; i + 1 < genes && i < 50; ++i) {
            std::int32_t a, b;
            pair_at_position(genes, pair_position(genes, i, genes - 1), a, b);
            EXPECT_EQ(a, i);
            EXPECT_EQ(b, genes - 1);
        }
    }
}

}  // namespace
}  // namespace tivarne

namespace tivarne {
namespace {

TEST(BigArray, RefusesWhatCannotBeBacked) {
    EXPECT_TRUE(fits_in_memory(std::size_t{1} << 20));  // small: never checked
    EXPECT_FALSE(fits_in_memory(std::size_t{1} << 62));  // 4 EiB: no machine reports that much
    EXPECT_THROW(BigArray<double>(std::size_t{1} << 58), std::bad_alloc);
    BigArray<double> small(1000);
    small.get()[999] = 1;  // mapped and writable
    EXPECT_EQ(small.get()[999], 1);
}

}  // namespace
}  // namespace tivarne
