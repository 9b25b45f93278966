// The fast engine against the straightforward one, bit for bit, from the
// per-pair values up to whole analyses.

#include <array>
#include <memory>

#include "core/containers.h"
#include "core/progress.h"
#include "scoring/big_array.h"
#include "scoring/fast_pairs.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/scoring.h"
#include "selection/one_pass.h"
#include "stats/bicov.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

using test::same_bits;

// A study with its per-gene terms and, per pair in pair order, what the
// per-pair routines give.
struct Reference {
    test::Study study;
    std::unique_ptr<PairSpace> space;
    std::vector<double> negScore, r1, r2, weight;
    std::int64_t nan_count = 0;

    Reference(int genes, int size1, int size2, unsigned seed) : study(genes, size1, size2, seed) {
        const DataView data = study.view();
        const ExpressionView x(data);
        const LabelView labels(data);
        LabelVector class_sizes(2);
        class_sizes(0) = size1, class_sizes(1) = size2;
        StatMatrix medmad(genes, 4), bivar(genes, 2);
        const int samples = size1 + size2, tuning = kTuning;
        per_gene_biweight_statistics(x, labels, bivar, medmad, samples, tuning, genes, class_sizes, 2);
        std::array<ClassTerms, 2> terms;
        compute_class_terms(x, labels, bivar, medmad, 2, terms.data());
        space = std::make_unique<PairSpace>(genes, PValueSizes{size1, size2}, std::move(terms));
        for (int i = 0; i + 1 < genes; ++i)
            for (int k = i + 1; k < genes; ++k) {
                double a = 0, b = 0;
                get_corr_biweight(x, labels, bivar, medmad, samples, tuning, i, k, class_sizes, a, b);
                const double c = pair_weight(bivar(i, 0), bivar(i, 1), bivar(k, 0), bivar(k, 1));
                r1.push_back(a), r2.push_back(b), weight.push_back(c);
                negScore.push_back(-pair_score(c, a, b));
                nan_count += std::isnan(negScore.back());
            }
    }
};

// Shapes around the kernels' tile widths (6, 12, 16) and row blocks (4, 8),
// with classes of one and two samples.
const struct Shape {
    int genes, size1, size2;
} kShapes[] = {{2, 3, 3}, {3, 1, 4}, {17, 2, 5}, {33, 6, 1}, {49, 2, 2}, {97, 5, 12}, {130, 3, 40}};

// Each shape with two seeds: the scalar recomputation, every kernel (rows in
// blocks, partners in panels of two alignment units) and the parallel pass on
// one or two threads, with many panels or few, against the per-pair routines.
TEST(FastEngine, EveryPathMatchesPerPairRoutines) {
    PairKernel kernels[8];
    const int count = available_pair_kernels(kernels, 8);
    ASSERT_GE(count, 1);
    EXPECT_STREQ(kernels[count - 1].name, "portable");
    const ProgressCallback none;
    ProgressReporter progress(none);
    for (const Shape& s : kShapes)
        for (unsigned seed : {11u + s.genes, 7u * s.genes}) {
            const Reference ref(s.genes, s.size1, s.size2, seed);
            const auto expect_reference = [&](const std::vector<double>& out, const std::string& what) {
                for (std::size_t p = 0; p < out.size(); ++p)
                    ASSERT_TRUE(same_bits(out[p], ref.negScore[p]))
                        << what << ", " << s.genes << " genes, position " << p;
            };
            std::vector<double> out;
            std::size_t p = 0;
            for (int i = 0; i + 1 < s.genes; ++i)
                for (int k = i + 1; k < s.genes; ++k, ++p) {
                    const PairValues v = ref.space->values(i, k);
                    ASSERT_TRUE(same_bits(v.r1, ref.r1[p]) && same_bits(v.r2, ref.r2[p]) &&
                                same_bits(v.c, ref.weight[p]))
                        << s.genes << " genes, pair " << i << "," << k;
                    out.push_back(-v.score);
                }
            expect_reference(out, "scalar");
            for (int q = 0; q < count; ++q) {
                const PairKernel& kernel = kernels[q];
                out.assign(ref.negScore.size(), 42.0);
                KernelInput in = kernel_input(*ref.space);
                in.negScore = out.data();
                PanelPacks packs(in, kernel, 1);
                std::int64_t nans = 0;
                for (int kb = 0; kb < s.genes; kb += 2 * kPanelAlign) {
                    const int ke = std::min(s.genes, kb + 2 * kPanelAlign);
                    for (int i0 = 0; i0 < ke - 1; i0 += kernel.rows)
                        nans += kernel.score_rows(packs.input(0, i0, kb, ke), i0,
                                                  std::min(kernel.rows, ke - 1 - i0), kb, ke);
                }
                EXPECT_EQ(nans, ref.nan_count) << kernel.name;
                expect_reference(out, kernel.name);
            }
            for (int threads : {1, 2})
                for (std::size_t panel_bytes : {std::size_t{1}, kPanelBytes}) {
                    out.assign(ref.negScore.size(), 42.0);
                    EXPECT_EQ(score_pairs_fast(*ref.space, out.data(), Context{threads, progress},
                                               panel_bytes),
                              ref.nan_count);
                    expect_reference(out, std::to_string(threads) + " threads, panels of " +
                                              std::to_string(panel_bytes) + " bytes");
                }
        }
}

// The seam for statistics over all pairs: a collector beside the selection in
// the scoring pass sees every pair once, with a decision that agrees with the
// exact p-value.
TEST(FastEngine, CollectorsBesideTheOnePassSeeEveryPairOnceWithItsDecision) {
    const Reference ref(97, 5, 12, 71);
    struct Everything : BlockCollector {
        const PairIndex* index;
        std::vector<int> seen, decision;
        bool wants_decisions() const override { return true; }
        void collect(int, const ScoredBlock& b) override {
            for (std::int32_t r = 0; r < b.rows; ++r)
                for (std::int64_t k = b.first_partner(r); k < b.k_end; ++k) {
                    const auto p = static_cast<std::size_t>(index->position(b.i0 + r, k));
                    ++seen[p];
                    decision[p] = b.decision[b.at(r, k)];
                }
        }
    } all;
    all.index = &ref.space->index();
    all.seen.assign(ref.negScore.size(), 0);
    all.decision.assign(ref.negScore.size(), kEcorUnsure);
    const ProgressCallback none;
    ProgressReporter progress(none);
    OnePass(*ref.space, {0.05, 3}, false, Context{2, progress}, {&all});
    for (std::size_t p = 0; p < ref.negScore.size(); ++p) {
        const double pval = ref.space->p_value(ref.r1[p], ref.r2[p]);
        const int want = std::isnan(pval) ? kEcorNone : pval <= 0.05 ? kEcorPass : kEcorFail;
        EXPECT_TRUE(all.seen[p] == 1 && (all.decision[p] == kEcorUnsure || all.decision[p] == want)) << "pair " << p;
    }
}

TEST(FastEngine, PairPositionsInvert) {
    for (std::int64_t genes : {2, 3, 10, 1000, 46341}) {
        const std::int64_t npairs = genes * (genes - 1) / 2, zero = 0;
        for (std::int64_t p : {zero, npairs / 3, npairs / 2, std::max(npairs - 2, zero), npairs - 1}) {
            std::int32_t i, k;
            const PairIndex index(static_cast<std::int32_t>(genes));
            EXPECT_EQ(index.pairs(), npairs);
            index.pair_at(p, i, k);
            EXPECT_TRUE(i < k && k < genes);
            EXPECT_EQ(index.position(i, k), p) << genes << " genes";
        }
    }
    EXPECT_FALSE(fits_in_memory(std::size_t{1} << 62));  // no machine reports 4 EiB
    EXPECT_THROW(BigArray<double>(std::size_t{1} << 58), std::bad_alloc);
}

TEST(Analysis, BothEnginesGiveTheSameResult) {
    const struct {
        int genes, size1, size2;
        Criteria answers;
    } cases[] = {
        {40, 6, 7, {0.05, 20}},      // a short walk
        {130, 9, 5, {1e-300, 10}},   // nothing qualifies: the whole ranking is walked
        {300, 4, 11, {0.5, 5000}},   // a long walk through ties and NaN pairs
        {61, 2, 1, {1, 100000}},     // a class of one sample: every r2 is NaN
    };
    unsigned seed = 1;
    for (const auto& c : cases) {
        const test::Study study(c.genes, c.size1, c.size2, seed++);
        for (const auto& [adjust, order] : {std::pair(Adjust::None, Order::Score),
                                            std::pair(Adjust::BH, Order::PValue)}) {
            Options plain;
            plain.min_class_size = 0;
            plain.testing.engine = Engine::Straightforward, plain.adjust = adjust, plain.order = order;
            plain.listings = true;
            const Result want = analyse(study.view(), c.answers, plain);
            for (int threads : {1, 2}) {
                Options fast = plain;
                fast.testing.engine = Engine::Fast, fast.threads = threads;
                EXPECT_EQ(test::fingerprint(analyse(study.view(), c.answers, fast)), test::fingerprint(want))
                    << c.genes << " genes, " << threads << " threads" << (adjust == Adjust::BH ? ", BH" : "");
            }
        }
    }
}

}  // namespace
}  // namespace tivarne
