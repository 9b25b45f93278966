// The pair kernel against the straightforward per-pair routines, in pairs per
// second and GFLOP/s (2 * pairs * samples per second: one multiply and one add
// per sample and pair), beside this machine's own peak of separate
// double-precision multiplies and adds, measured by a loop that touches no
// memory.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "core/containers.h"
#include "core/progress.h"
#include "scoring/fast_pairs.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/scoring.h"
#include "stats/bicov.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"

namespace {

using namespace tivarne;

struct Data {
    std::vector<double> values;  // genes x samples
    std::vector<std::int32_t> labels;
    DataView view;
    LabelVector class_sizes{2};
    StatMatrix medmad, bivar;
    std::unique_ptr<PairSpace> space;
    int samples, tuning = kTuning;

    Data(int genes, int samples_) : samples(samples_) {
        std::mt19937_64 rng(1);
        std::normal_distribution<double> normal;
        for (int j = 0; j < samples; ++j) labels.push_back(j < samples / 2 ? 1 : 0);
        values.resize(static_cast<std::size_t>(genes) * samples);
        for (double& v : values) v = normal(rng);
        view = {values.data(), genes, samples, samples, 1, labels.data()};
        class_sizes(0) = samples / 2;
        class_sizes(1) = samples - samples / 2;
        medmad.resize(genes, 4);
        bivar.resize(genes, 2);
        per_gene_biweight_statistics(ExpressionView(view), LabelView(view), bivar, medmad, samples,
                                     tuning, genes, class_sizes, omp_get_max_threads());
        std::array<ClassTerms, 2> terms;
        compute_class_terms(ExpressionView(view), LabelView(view), bivar, medmad,
                            omp_get_max_threads(), terms.data());
        space = std::make_unique<PairSpace>(genes, PValueSizes{class_sizes(0), class_sizes(1)}, std::move(terms));
    }
};

void report(benchmark::State& state, double pairs, int samples) {
    state.counters["pairs/s"] = benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["GFLOP/s"] =
        benchmark::Counter(2.0 * pairs * samples / 1e9, benchmark::Counter::kIsIterationInvariantRate);
}

// The whole scoring pass on all cores (OMP_NUM_THREADS respected).
void BM_ScoringPass(benchmark::State& state) {
    const int genes = static_cast<int>(state.range(0)), samples = static_cast<int>(state.range(1));
    Data d(genes, samples);
    const double pairs = 0.5 * genes * (genes - 1.0);
    std::vector<double> out(static_cast<std::size_t>(pairs));
    const ProgressCallback none;
    ProgressReporter progress(none);
    const Context context{omp_get_max_threads(), progress};
    for (auto _ : state) benchmark::DoNotOptimize(score_pairs_fast(*d.space, out.data(), context));
    state.SetLabel(std::string(select_pair_kernel().name) + ", " + std::to_string(omp_get_max_threads()) +
                   " threads");
    report(state, pairs, samples);
}
BENCHMARK(BM_ScoringPass)->Args({5000, 100})->Args({20000, 100})->Unit(benchmark::kMillisecond)->UseRealTime();

// The same on one core, for every kernel this processor runs.
void BM_KernelOneCore(benchmark::State& state) {
    PairKernel kernels[8];
    const int count = available_pair_kernels(kernels, 8);
    if (state.range(2) >= count) {
        state.SkipWithError("kernel not available here");
        return;
    }
    const PairKernel& kernel = kernels[state.range(2)];
    const int genes = static_cast<int>(state.range(0)), samples = static_cast<int>(state.range(1));
    Data d(genes, samples);
    const double pairs = 0.5 * genes * (genes - 1.0);
    std::vector<double> out(static_cast<std::size_t>(pairs));
    KernelInput in = kernel_input(*d.space);
    in.negScore = out.data();
    const int panel = partner_panel_width(*d.space, kPanelBytes);  // as the scoring pass
    PanelPacks packs(in, kernel, 1);
    for (auto _ : state) {
        for (int kb = 0; kb < genes; kb += panel) {
            const int ke = std::min(genes, kb + panel);
            for (int i0 = 0; i0 < ke - 1; i0 += kernel.rows)
                benchmark::DoNotOptimize(kernel.score_rows(packs.input(0, i0, kb, ke), i0,
                                                           std::min(kernel.rows, ke - 1 - i0), kb, ke));
        }
    }
    state.SetLabel(kernel.name);
    report(state, pairs, samples);
}
BENCHMARK(BM_KernelOneCore)->Args({5000, 100, 0})->Args({5000, 100, 1})->Args({5000, 100, 2})->Args({5000, 100, 3})->Unit(benchmark::kMillisecond);

// The per-pair routines: eight short-lived sequences and two kernel calls per pair.
void BM_StraightforwardPairs(benchmark::State& state) {
    const int genes = static_cast<int>(state.range(0)), samples = static_cast<int>(state.range(1));
    Data d(genes, samples);
    const double pairs = 0.5 * genes * (genes - 1.0);
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i + 1 < genes; ++i)
            for (int k = i + 1; k < genes; ++k) {
                double r1 = 0, r2 = 0;
                get_corr_biweight(ExpressionView(d.view), LabelView(d.view), d.bivar, d.medmad, d.samples,
                                  d.tuning, i, k, d.class_sizes, r1, r2);
                const double c = pair_weight(d.bivar(i, 0), d.bivar(i, 1), d.bivar(k, 0), d.bivar(k, 1));
                sum += pair_score(c, r1, r2);
            }
        benchmark::DoNotOptimize(sum);
    }
    report(state, pairs, samples);
}
BENCHMARK(BM_StraightforwardPairs)->Args({500, 100})->Unit(benchmark::kMillisecond);

#if defined(__x86_64__)
// Peak: independent chains of separate multiplies and adds in registers, on
// one core and on all cores (AVX-512, so x86-64 only).
typedef double v8 __attribute__((vector_size(64)));
__attribute__((target("avx512f"))) double peak_avx512(long iterations) {
    v8 acc[12], m[12];
    for (int i = 0; i < 12; ++i) {
        acc[i] = (v8){} + i;
        m[i] = (v8){} + 1.0;
    }
    const v8 x = (v8){} + 1.0000000001, y = (v8){} + 1e-9;
    for (long it = 0; it < iterations; ++it) {
#pragma GCC unroll 12
        for (int i = 0; i < 12; ++i) {
            m[i] = m[i] * x;
            acc[i] = acc[i] + y;
        }
    }
    double s = 0;
    for (int i = 0; i < 12; ++i)
        for (int l = 0; l < 8; ++l) s += acc[i][l] + m[i][l];
    return s;
}

void BM_PeakMulAdd(benchmark::State& state) {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx512f")) {
        state.SkipWithError("no AVX-512 on this processor");
        return;
    }
    const long iterations = 1 << 22;
    int threads = 1;
    for (auto _ : state) {
        double s = 0;
#pragma omp parallel reduction(+ : s) num_threads(state.range(0) > 1 ? omp_get_max_threads() : 1)
        {
            s += peak_avx512(iterations);
#pragma omp single
            threads = omp_get_num_threads();
        }
        benchmark::DoNotOptimize(s);
    }
    state.SetLabel(std::to_string(threads) + " thread(s), avx512");
    // 12 chains x 8 lanes x (1 multiply + 1 add) per iteration and thread.
    state.counters["GFLOP/s"] = benchmark::Counter(2.0 * 12 * 8 * iterations * threads / 1e9,
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PeakMulAdd)->Arg(1)->Arg(2)->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
