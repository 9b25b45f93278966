#pragma once
// tivarne: gene pairs whose co-expression differs between two classes of
// samples. One call, analyse(), scores every pair of genes by the weighted
// difference of its biweight midcorrelations in the two classes, ranks them,
// and returns the pairs whose ECOR p-value passes a level, best first.
//
// The library keeps no state between calls and no global state at all: any
// number of analyses may run at once in one process, from different threads.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tivarne/export.h"

namespace tivarne {

// Every failure of the library is an Error. what() is one line, the text the
// command line prints after its "Error: " (for example "Each class needs at
// least one sample (label data)."); kind() says what went wrong in general.
class TIVARNE_API Error : public std::runtime_error {
public:
    enum class Kind {
        Input,      // the data, the labels or an input file are not usable
        Output,     // a result file cannot be opened or written
        Memory,     // not enough memory for the data or the pair table
        Cancelled,  // the progress callback asked to stop
        Internal,   // a fault of the library itself
    };
    Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// The library's version, "MAJOR.MINOR.PATCH".
TIVARNE_API std::string version();

// At most this many genes: the number of gene pairs must fit a signed 32-bit
// integer.
constexpr std::int32_t kMaxGenes = 46341;
// The console listings show this many pairs.
constexpr int kListingLength = 100;

// A read-only view of the caller's data; nothing is copied. The value of gene
// g in sample s is values[g * gene_stride + s * sample_stride] (strides in
// elements, so a genes x samples matrix in row-major order has gene_stride =
// samples and sample_stride = 1, in column-major order gene_stride = 1 and
// sample_stride = genes). Every value must be finite.
struct DataView {
    const double* values = nullptr;
    std::int32_t genes = 0;
    std::int32_t samples = 0;
    std::ptrdiff_t gene_stride = 0;
    std::ptrdiff_t sample_stride = 1;
    // One label per sample: 1 puts the sample in class 1, 0 in class 2.
    const std::int32_t* labels = nullptr;
};

// What makes a pair selected: the command line asks for these two.
struct Criteria {
    // A pair is selected when its p-value (its q-value with Adjust::BH) is at
    // or below the level.
    double level = 0.05;
    // At most this many pairs are selected; the first that qualifies is
    // always selected, also when max_pairs is 0 or negative.
    std::int32_t max_pairs = 20;
};
// Deprecated: the former name of Criteria, kept so that existing callers
// compile; new code says Criteria.
using Answers = Criteria;

// The phases of an analysis, in the order they run.
enum class Phase {
    Loading,    // reading an expression file (Dataset; done and total count values)
    PerGene,    // medians, MADs and midvariances of every gene in each class
    Scoring,    // every pair of genes (done and total count pairs)
    Ranking,    // ordering the pairs by score (table path only)
    Selecting,  // p-values down the ranking (total is the most it may take)
};

struct ProgressUpdate {
    Phase phase;
    std::int64_t done;   // work done so far in this phase
    std::int64_t total;  // all the work of the phase (for Selecting: at most)
    bool finished;       // the phase has ended (done == total, except Selecting)
};

// Called on the thread that called analyse(), at the start and the end of
// every phase and at most every 50 ms or so in between. Returning false stops
// the analysis soon after: analyse() then throws an Error of kind Cancelled.
// It must not throw.
using ProgressCallback = std::function<bool(const ProgressUpdate&)>;

// How the pairs are scored.
enum class Engine {
    Fast,            // SIMD kernels on all threads; 12 bytes per pair at most
    Straightforward  // every pair through the per-pair routines into a full
                     // pair table: about a hundred times slower, the same
                     // results bit for bit; a yardstick for tests
};

// One gene pair. Genes are 0-based indices (rows of the data), gene_x < gene_y.
struct PairScore {
    std::int32_t gene_x = 0;
    std::int32_t gene_y = 0;
    double score = 0;  // c * |r1 - r2|
    double r1 = 0;     // biweight midcorrelation in class 1
    double r2 = 0;     // in class 2
    double c = 0;      // the weight; see the member where it is used
};

// A selected pair. c is the weight as the result file shows it, recovered as
// score / |r1 - r2| (not a number when r1 = r2).
struct SelectedPair : PairScore {
    double p_value = 0;   // the pair's p-value (Options::p_value: ECOR or calibrated)
    double log10_p = 0;   // log10(p_value); -infinity when p_value is 0
    // The Benjamini-Hochberg q-value with Adjust::BH; not a number otherwise.
    double q_value = std::numeric_limits<double>::quiet_NaN();
    // With Options::permutations: the empirical p-value, pooled over every
    // pair of every permutation, (1 + C) / (1 + M), C the null pairs whose
    // p-value is at or below this pair's and M the null pairs with a
    // p-value; and the estimated false discovery rate of selecting every
    // pair whose p-value is at or below this one's: the mean count of such
    // null pairs per permutation over the count of such observed pairs
    // (at most 1, never above that of a selected pair with a larger p-value).
    // Not a number without permutations, or in a shard of them.
    double p_perm = std::numeric_limits<double>::quiet_NaN();
    double fdr = std::numeric_limits<double>::quiet_NaN();
};

// Multiple-testing control of the selection.
enum class Adjust {
    None,  // each pair's own p-value is held against the level
    BH,    // Benjamini-Hochberg: q-values over all pairs that have a p-value
           // (m of them); a pair is selected when its q-value is at or below
           // the level, which controls the false discovery rate at the level
};

// The order in which the pairs are walked, selected and returned.
enum class Order {
    Score,   // the ranking: best score first (the command line's order)
    PValue,  // smallest p-value first; equal p-values by score, best first,
             // then in pair order; pairs without a p-value last
};

// The p-value each pair is tested with (every p-value, q-value and bound of
// the analysis follows it).
enum class PValue {
    Ecor,        // the ECOR likelihood-ratio test with class sizes n1, n2 (the
                 // command line's); too small in small classes: with 20
                 // samples per class about 3.5 times too many null pairs fall
                 // below 1e-5
    Calibrated,  // the same test with class sizes n1 - 3 and n2 - 3, the
                 // sizes Fisher's variance 1/(n - 3) of atanh(r) implies; its
                 // null tail matches chi-squared(1) (doc/statistics.md).
                 // Each class needs at least 4 samples.
};

// What the console listings show (only when asked for: Options::listings).
struct Listings {
    // The first kListingLength pairs in pair order (gene 0 with 1, 2, ...,
    // then gene 1 with 2, ...), with the weight c as computed.
    std::vector<PairScore> first_pairs;
    // The best kListingLength pairs of the ranking, best first, with c
    // recovered as score / |r1 - r2|.
    std::vector<PairScore> top_pairs;
};

// Switches for tests and benchmarks: each gives the same results by another
// route, at a much higher cost. Not for everyday use.
struct TestingOptions {
    Engine engine = Engine::Fast;
    // The fast engine finds the listed and the selected pairs in the scoring
    // pass itself, without storing every pair, unless equal scores touch them
    // (their order is then the ranking sort's, which needs the table of all
    // pairs, 12 bytes per pair). true: always rank the table of all pairs.
    bool pair_table = false;
    // With Adjust::BH or Order::PValue: at most this many exact p-values
    // (8 bytes each; a collected pair counts 6) are kept; beyond it the table
    // of all pairs is ranked instead. The first pass keeps max_exact / 1024
    // pairs a thread (at most 32768). Small values force the further passes
    // and the fallback in tests.
    std::int64_t max_exact = std::int64_t{1} << 25;
};

// One gene of the differential network (Options::gene_summary): its pairs
// that meet the analysis' criterion (p <= level, or q <= level with
// Adjust::BH), counted over all pairs (or the focused ones), and whether it has
// more of them than the overall pass rate predicts.
struct GeneSummary {
    std::int32_t gene = 0;       // 0-based index (a row of the data)
    std::int64_t degree = 0;     // its pairs that pass
    std::int64_t tested = 0;     // its pairs that have a p-value
    double expected = 0;         // tested * (pairs passing / pairs with a p-value)
    std::int64_t stronger_in_class1 = 0;  // of the passing ones: |r1| > |r2|
    std::int64_t stronger_in_class2 = 0;  // |r2| > |r1|
    std::int64_t sign_changes = 0;        // r1 and r2 of opposite signs (r1 * r2 < 0)
    // Binomial upper tail P(X >= degree), X ~ Binomial(tested, pass rate);
    // 1 when the degree is 0, NaN when the gene has no pair with a p-value.
    double p_value = 1;
    double q_value = 1;  // Benjamini-Hochberg over the genes' p-values
};

// Histograms over all pairs (or the focused ones) (Options::histograms).
struct Histograms {
    // Scores: bin b holds the scores in [b, b + 1) * score_width; the last
    // bin also every larger score. NaN scores are counted apart.
    double score_width = 0;
    std::vector<std::int64_t> scores;
    std::int64_t nan_scores = 0;
    // p-values on a log scale: bin b holds the p-values with -log10 p in
    // [b, b + 1) * log10_p_width; p-values below 10^-(bins * width) (and 0)
    // are in p_below. Each pair is binned by its ECOR statistic on a grid of
    // sqrt(T) steps of 1/2000: a pair lies at most 0.001 in -log10 p (0.0001
    // near p = 1) from the bin its exact p-value falls in.
    double log10_p_width = 0;
    std::vector<std::int64_t> log10_p;
    std::int64_t p_below = 0;
    std::int64_t with_p_value = 0;  // the pairs that have a p-value
};

struct Options {
    // Threads for the parallel phases; 0 takes OpenMP's default
    // (OMP_NUM_THREADS, or all processor cores). Results do not depend on it.
    int threads = 0;
    ProgressCallback progress;
    Adjust adjust = Adjust::None;
    Order order = Order::Score;
    PValue p_value = PValue::Ecor;
    // Label permutations: 0 runs none; N >= 1 shuffles the labels N times,
    // keeping the class sizes (permutation t from `seed` and t alone),
    // scores every pair of each in the scoring pass without storing them,
    // and gives each selected pair its empirical p-value and FDR estimate
    // (SelectedPair::p_perm, fdr). The selection itself is unchanged. At most
    // as many permutations as there are labelings with these class sizes.
    std::int32_t permutations = 0;
    std::uint64_t seed = 0;
    // A shard: only permutations permutations_from .. permutations_to - 1
    // run (permutations_to < 0: up to the last), and Result::null_summary
    // holds what they found. Shards merge with null_summaries.
    std::int32_t permutations_from = 0;
    std::int32_t permutations_to = -1;
    // Null summaries (Result::null_summary texts) of shards to merge instead
    // of running permutations: from the same data and options, together
    // covering every permutation exactly once.
    std::vector<std::string> null_summaries;
    // Each class needs at least this many samples, or analyse() throws an
    // Error of kind Input. With one or two samples in a class every
    // correlation within it is +-1 or not a number, and the p-values, which
    // rest on large-sample theory, carry no information. 0 (or 1) leaves only
    // the check that each class has a sample.
    std::int32_t min_class_size = 3;
    // Compute the console listings into Result::listings. Equal scores among
    // the best 101 pairs can make the listing need the table of all pairs,
    // so they are computed only when asked for (also when on_listings is set).
    bool listings = false;
    // Called once the listings are known, before the first selected pair;
    // setting it asks for the listings.
    std::function<void(const Listings&)> on_listings;
    // When set, every selected pair is handed to it in rank order as the walk
    // finds it, and Result::selected stays empty (for streaming a long
    // result). An exception it throws ends the analysis and reaches the caller.
    std::function<void(const SelectedPair&)> on_selected;
    TestingOptions testing;
    // The gene-level summary over all pairs into Result::gene_summary (one
    // more scoring pass with Adjust::BH or Order::PValue; O(genes) memory).
    bool gene_summary = false;
    // The all-pairs histograms into Result::histograms.
    bool histograms = false;
    // Focused analyses: only these pairs are scored, tested and selected (BH
    // counts only them), at a cost that scales with their number. With
    // focus_genes: the pairs that contain a gene of the set (0-based, each
    // once), or with focus_within only the pairs of two genes of the set.
    // With focus_pairs: exactly the pairs listed (0-based genes, each pair
    // once, in either order). Not both. Equal scores go in pair order.
    std::vector<std::int32_t> focus_genes;
    bool focus_within = false;
    std::vector<std::pair<std::int32_t, std::int32_t>> focus_pairs;
};

struct Result {
    std::int32_t genes = 0;
    std::int32_t samples = 0;
    std::int32_t class1 = 0;  // samples in class 1 (label 1)
    std::int32_t class2 = 0;  // samples in class 2 (label 0)
    std::int64_t pairs = 0;   // genes * (genes - 1) / 2
    // The selected pairs, in rank order (best score first).
    std::vector<SelectedPair> selected;
    // Pairs without a p-value (a correlation that is not a number, no
    // admissible common correlation) among those the walk examined: every
    // pair ranked up to the last selected one when max_pairs pairs were
    // selected, otherwise all pairs. Such pairs are never selected.
    std::int64_t without_p_value = 0;
    // With Adjust::BH: the number of pairs that have a p-value (the m of the
    // adjustment); 0 otherwise.
    std::int64_t tested = 0;
    // Whether a table of all pairs was built (12 bytes per pair or more):
    // equal scores in the way of the selection or of the asked-for listings,
    // more exact p-values than TestingOptions::max_exact with Adjust::BH or
    // Order::PValue, or one of the testing switches.
    bool used_pair_table = false;
    // Empty unless Options::listings or Options::on_listings asked for them.
    Listings listings;
    // With Options::gene_summary: every gene, smallest p-value first (ties
    // by degree, largest first, then by gene).
    std::vector<GeneSummary> gene_summary;
    // With Options::gene_summary or Options::histograms: the pairs considered
    // (all, or the focused ones), of which `passing` meet the criterion
    // (only known with the gene summary; -1 otherwise), and the p-value at
    // or below which a pair passes (the level, or BH's cut; -1 when none).
    std::int64_t considered = 0;
    std::int64_t passing = -1;
    double p_threshold = -1;
    // With Options::histograms.
    Histograms histograms;
    // With Options::permutations: a short text of what the permutations run
    // (or merged) found, for merging shards; empty otherwise.
    std::string null_summary;
};

// The correlation class of a pair, e.g. "+/0": per class "+" or "-" when
// the biweight midcorrelation differs from 0 at `level` (two-sided Student's
// t with n - 2 degrees of freedom, t = r sqrt((n - 2) / (1 - r^2))), else "0";
// class 1 first. "NA" for a correlation that is not a number or n < 3.
TIVARNE_API std::string correlation_class(double r1, double r2, std::int32_t n1, std::int32_t n2,
                                          double level = 0.05);
// The two-sided p-value of that test for one correlation (NaN for NaN or n < 3).
TIVARNE_API double correlation_p_value(double r, std::int32_t n);

// Scores and ranks every pair of genes of `data` and selects the significant
// ones. Throws Error: kind Input for unusable data (a value that is not
// finite, a label other than 0 or 1, a class without samples or with fewer
// than Options::min_class_size, more than kMaxGenes genes), Memory when the
// data or the pair table do not fit, Cancelled when the progress callback
// asks to stop.
TIVARNE_API Result analyse(const DataView& data, const Criteria& criteria, const Options& options = {});

}  // namespace tivarne
