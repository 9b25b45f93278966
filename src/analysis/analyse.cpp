// The analysis: validation, per-gene statistics, scoring, ranking, listings
// and the selection walk, with either engine.
#include <cmath>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/progress.h"
#include "input/types.h"
#include "report/adjusted_selection.h"
#include "report/one_pass.h"
#include "report/selection.h"
#include "scoring/big_array.h"
#include "scoring/fast_pairs.h"
#include "scoring/fast_ranking.h"
#include "scoring/pair_table.h"
#include "scoring/ranking.h"
#include "scoring/scoring.h"
#include "stats/bicov.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"
#include "tivarne/tivarne.h"

namespace tivarne {
namespace {

// An exception from one of the caller's callbacks, carried unchanged through
// the library's own conversion of failures into Error.
struct CallerFailure {
    std::exception_ptr error;
};

template <class Callback, class... Args>
void call_caller(const Callback& callback, Args&&... args) {
    try {
        callback(std::forward<Args>(args)...);
    } catch (...) {
        throw CallerFailure{std::current_exception()};
    }
}

void check_progress(const ProgressReporter& progress) {
    try {
        progress.check();
    } catch (const Error& e) {
        if (e.kind() == Error::Kind::Cancelled) throw;
        throw CallerFailure{std::current_exception()};
    } catch (...) {
        throw CallerFailure{std::current_exception()};
    }
}

// The class sizes of valid data; throws the Input error of the first problem.
LabelVector validate(const DataView& data, std::int32_t min_class_size) {
    if (data.genes < 0 || data.samples < 0) input_error("Error: Invalid sizes of the data.");
    if (data.genes > kMaxGenes) input_error("Error: Too many genes (at most 46341).");
    if (data.samples > 0 && !data.labels) input_error("Error: No labels given.");
    if (data.samples > 0 && data.genes > 0 && !data.values) input_error("Error: No expression values given.");
    LabelVector class_sizes(2);
    class_sizes(0) = class_sizes(1) = 0;
    for (std::int32_t j = 0; j < data.samples; ++j) {
        const std::int32_t label = data.labels[j];
        if (label != 0 && label != 1) input_error("Error: Invalid data in labels");
        ++class_sizes(label == 1 ? 0 : 1);
    }
    if (class_sizes(0) == 0 || class_sizes(1) == 0)
        input_error("Error: Each class needs at least one sample (label data).");
    const ExpressionView x(data);
    for (std::int32_t g = 0; g < data.genes; ++g)
        for (std::int32_t j = 0; j < data.samples; ++j)
            if (!std::isfinite(x(j, g)))
                input_error(("Error: Invalid data in expressions (gene " + std::to_string(g + 1) +
                             ", sample " + std::to_string(j + 1) + ": not a finite number).")
                                .c_str());
    for (int c = 0; c < 2; ++c)
        if (class_sizes(c) < min_class_size)
            input_error(("Error: Class " + std::to_string(c + 1) + " has " + std::to_string(class_sizes(c)) +
                         (class_sizes(c) == 1 ? " sample" : " samples") + "; each class needs at least " +
                         std::to_string(min_class_size) + " for its correlations to mean anything.")
                            .c_str());
    return class_sizes;
}

PairScore listed_pair(std::int32_t i, std::int32_t j, double score, double r1, double r2, double c) {
    PairScore p;
    p.gene_x = i;
    p.gene_y = j;
    p.score = score;
    p.r1 = r1;
    p.r2 = r2;
    p.c = c;
    return p;
}

// A selected pair to the caller's callback, or into the result.
void emit(const Options& options, Result& result, const SelectedPair& pair) {
    if (options.on_selected)
        call_caller(options.on_selected, pair);
    else
        result.selected.push_back(pair);
}

// A path's outcome to the caller: the listings first, then the selected pairs.
void deliver(const Options& options, Result& result, std::vector<PairScore> top_pairs,
             const std::vector<SelectedPair>& selected, std::int64_t without_p_value,
             ProgressReporter& progress) {
    progress.begin(Phase::Selecting, 1);
    result.listings.top_pairs = std::move(top_pairs);
    if (options.on_listings) call_caller(options.on_listings, result.listings);
    for (const SelectedPair& pair : selected) emit(options, result, pair);
    result.without_p_value = without_p_value;
    progress.end();
}

struct Study {
    const DataView& data;
    ExpressionView expression;
    LabelView labels;
    LabelVector class_sizes;
    StatMatrix medmad, bivar;
};

// The listings, then the walk down the ranking.
void select(RankedPairs& ranking, Listings& listings, const Answers& answers,
            const Options& options, const Context& context, Result& result) {
    listings.top_pairs = listing_of(ranking);
    context.progress.end();  // the ranking phase ends with the sort of the listed pairs
    check_progress(context.progress);
    if (options.on_listings) call_caller(options.on_listings, listings);
    auto to_caller = [&](const SelectedPair& pair) { emit(options, result, pair); };
    const WalkOutcome walk =
        options.adjust == Adjust::None && options.order == Order::Score
            ? select_pairs(ranking, answers, result.class1, result.class2, context, to_caller)
            : select_pairs_adjusted(ranking, answers, options.adjust, options.order, result.class1,
                                    result.class2, context, to_caller, result.tested);
    check_progress(context.progress);
    result.without_p_value = walk.without_p_value;
}

void run_straightforward(Study& s, const Answers& answers, const Options& options,
                         const Context& context, Result& result) {
    ProgressReporter& progress = context.progress;
    result.used_pair_table = true;
    PairTable table;
    progress.begin(Phase::Scoring, result.pairs);
    score_all_pairs(s.expression, s.labels, s.bivar, s.medmad, s.class_sizes, table, progress);
    progress.end();
    check_progress(progress);

    Listings& listings = result.listings;
    for (std::size_t p = 0; p < table.negScore.size() && p < kListingLength; ++p) {
        const std::int32_t i = table.geneX[p], j = table.geneY[p];
        const double c = pair_weight(s.bivar(i, 0), s.bivar(i, 1), s.bivar(j, 0), s.bivar(j, 1));
        listings.first_pairs.push_back(
            listed_pair(i, j, -table.negScore[p], table.r1[p], table.r2[p], c));
    }
    progress.begin(Phase::Ranking, result.pairs);
    std::vector<std::int32_t> rankOrder;
    rank_scores(table.negScore, rankOrder);
    TableRanking ranking(table, rankOrder);
    select(ranking, listings, answers, options, context, result);
}

void run_fast(Study& s, const Answers& answers, const Options& options, const Context& context,
              Result& result) {
    ProgressReporter& progress = context.progress;
    ClassTerms terms[2];
    compute_class_terms(s.expression, s.labels, s.bivar, s.medmad, context.threads, terms);
    Listings& listings = result.listings;
    for (std::int64_t p = 0; p < result.pairs && p < kListingLength; ++p) {
        std::int32_t i, j;
        pair_at_position(result.genes, p, i, j);
        const PairValues v = pair_values(terms, i, j);
        listings.first_pairs.push_back(listed_pair(i, j, v.score, v.r1, v.r2, v.c));
    }

    if (!options.pair_table && (options.adjust != Adjust::None || options.order != Order::Score)) {
        progress.begin(Phase::Scoring, result.pairs);
        AdjustedOutcome adjusted =
            select_adjusted(terms, result.genes, answers, options.adjust, options.order, context);
        progress.end();
        check_progress(progress);
        result.used_pair_table = true;
        result.tested = adjusted.tested;
        deliver(options, result, std::move(adjusted.top_pairs), adjusted.selected, adjusted.without_p_value,
                progress);
        return;
    }

    // Without equal scores in the way, the scoring pass finds the listing and
    // the selection by itself.
    std::unique_ptr<OnePassSelection> one;
    if (!options.pair_table && options.adjust == Adjust::None && options.order == Order::Score) {
        progress.begin(Phase::Scoring, result.pairs);
        one = std::make_unique<OnePassSelection>(terms, result.genes, answers, context);
        progress.end();
        check_progress(progress);
        if (one->listing_usable() && one->selection_usable()) {
            deliver(options, result, one->top_pairs(), one->selected(), one->without_p_value(), progress);
            return;
        }
    }

    // 12 bytes per pair: the negated score and the rank index. Left
    // uninitialised: the scoring pass writes every key, each core touching
    // its own pages.
    const std::int64_t npairs = result.pairs;
    const auto count = static_cast<std::size_t>(npairs);
    if (!fits_in_memory(count * (sizeof(double) + sizeof(std::int32_t)))) throw std::bad_alloc();
    BigArray<double> negScore(count);
    BigArray<std::int32_t> rankOrder(count);
    result.used_pair_table = true;
    progress.begin(Phase::Scoring, npairs);
    const std::int64_t nan_count = score_pairs_fast(terms, result.genes, negScore.get(), context);
    progress.end();
    check_progress(progress);

    progress.begin(Phase::Ranking, npairs);
    FastRanking ranking(terms, result.genes, negScore.get(), rankOrder.get(), npairs, nan_count,
                        context.threads);
    if (!one) {
        select(ranking, listings, answers, options, context, result);
        return;
    }
    // The pass found the candidates; the table only arranges equal scores.
    std::vector<PairScore> top_pairs = one->listing_usable() ? one->top_pairs() : listing_of(ranking);
    progress.end();
    check_progress(progress);
    std::vector<SelectedPair> selected;
    std::int64_t without_p_value = 0;
    if (one->selection_usable()) {
        selected = one->selected();
        without_p_value = one->without_p_value();
    } else if (!one->resolve(ranking, selected, without_p_value)) {
        const WalkOutcome walk = select_pairs(ranking, answers, result.class1, result.class2, context,
                                              [&](const SelectedPair& pair) { selected.push_back(pair); });
        without_p_value = walk.without_p_value;
    }
    deliver(options, result, std::move(top_pairs), selected, without_p_value, progress);
}

Result run_analysis(const DataView& data, const Answers& answers, const Options& options) {
    Study s{data, ExpressionView(data), LabelView(data), validate(data, options.min_class_size), StatMatrix(), StatMatrix()};
    Result result;
    result.genes = data.genes;
    result.samples = data.samples;
    result.class1 = s.class_sizes(0);
    result.class2 = s.class_sizes(1);
    result.pairs = std::int64_t{data.genes} * (data.genes - 1) / 2;
    if (result.pairs < 0) result.pairs = 0;

    ProgressReporter progress(options.progress);
    const Context context{thread_count(options.threads), progress};
    progress.begin(Phase::PerGene, data.genes);
    s.medmad.resize(data.genes, 4, false);
    s.bivar.resize(data.genes, 2, false);
    const int tuning = kTuning;
    per_gene_biweight_statistics(s.expression, s.labels, s.bivar, s.medmad, data.samples, tuning,
                                 data.genes, s.class_sizes, context.threads);
    progress.add(data.genes);
    progress.end();
    check_progress(progress);

    if (options.engine == Engine::Straightforward)
        run_straightforward(s, answers, options, context, result);
    else
        run_fast(s, answers, options, context, result);
    return result;
}

}  // namespace

Result analyse(const DataView& data, const Answers& answers, const Options& options) {
    try {
        return run_analysis(data, answers, options);
    } catch (const CallerFailure& failure) {
        std::rethrow_exception(failure.error);
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(Error::Kind::Memory, kAllocationMessage);
    } catch (const std::out_of_range&) {
        throw Error(Error::Kind::Internal, "Error: Internal error: index out of range");
    } catch (const std::exception& e) {
        throw Error(Error::Kind::Internal, std::string("Error: Internal error: ") + e.what());
    }
}

}  // namespace tivarne
