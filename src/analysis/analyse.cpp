// The analysis: validation, per-gene statistics, the choice of how the pairs
// are scored and selected, and the delivery of the result.
#include <array>
#include <cmath>
#include <exception>
#include <memory>
#include <optional>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/all_pairs.h"
#include "analysis/focused.h"
#include "analysis/permutations.h"
#include "core/containers.h"
#include "core/error.h"
#include "core/progress.h"
#include "scoring/fast_ranking.h"
#include "scoring/pair_space.h"
#include "scoring/pair_table.h"
#include "scoring/ranking.h"
#include "scoring/scoring.h"
#include "selection/adjusted.h"
#include "selection/listing.h"
#include "selection/one_pass.h"
#include "selection/selection.h"
#include "selection/walk.h"
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
    if (data.genes < 0 || data.samples < 0) input_error(message::kInvalidSizes);
    if (data.genes > kMaxGenes) input_error(message::kTooManyGenes);
    if (data.samples > 0 && !data.labels) input_error(message::kNoLabels);
    if (data.samples > 0 && data.genes > 0 && !data.values) input_error(message::kNoValues);
    LabelVector class_sizes(2);
    class_sizes(0) = class_sizes(1) = 0;
    for (std::int32_t j = 0; j < data.samples; ++j) {
        const std::int32_t label = data.labels[j];
        if (label != 0 && label != 1) input_error(message::kLabelData);
        ++class_sizes(label == 1 ? 0 : 1);
    }
    if (class_sizes(0) == 0 || class_sizes(1) == 0) input_error(message::kEmptyClass);
    const ExpressionView x(data);
    for (std::int32_t g = 0; g < data.genes; ++g)
        for (std::int32_t j = 0; j < data.samples; ++j)
            if (!std::isfinite(x(j, g))) input_error(message::not_finite(g + 1, j + 1));
    for (int c = 0; c < 2; ++c)
        if (class_sizes(c) < min_class_size)
            input_error(message::class_too_small(c + 1, class_sizes(c), min_class_size));
    return class_sizes;
}

// The calibrated p-value weighs a class of n samples as n - 3: it needs 4.
void check_p_value_route(const LabelVector& class_sizes, PValue route) {
    if (route != PValue::Calibrated) return;
    for (int c = 0; c < 2; ++c)
        if (class_sizes(c) < PValueSizes::kCalibratedMinimum)
            input_error(message::calibrated_class_too_small(c + 1, class_sizes(c)));
}

// The caller's side of the analysis: the listings first, then the selected
// pairs (to the caller's callback or into the result), then the counts.
class Delivery {
public:
    Delivery(const Options& options, Result& result) : options_(options), result_(result) {}

    bool listings_asked() const { return options_.listings || options_.on_listings; }
    void first_pairs(std::vector<PairScore> pairs) { result_.listings.first_pairs = std::move(pairs); }
    void listings(std::vector<PairScore> top_pairs) {
        result_.listings.top_pairs = std::move(top_pairs);
        if (options_.on_listings) call_caller(options_.on_listings, result_.listings);
        listed_ = true;
    }
    void pair(const SelectedPair& pair) {
        if (options_.on_selected)
            call_caller(options_.on_selected, pair);
        else
            result_.selected.push_back(pair);
    }
    PairSink sink() {
        return [this](const SelectedPair& selected) { pair(selected); };
    }
    // The rest of a selection: its listing and pairs unless a walk delivered
    // them as it went, and its counts.
    void finish(Selection&& selection, ProgressReporter& progress) {
        if (!listed_) {
            progress.begin(Phase::Selecting, 1);
            listings(std::move(selection.top_pairs));
            for (const SelectedPair& selected : selection.pairs) pair(selected);
            progress.end();
        }
        result_.without_p_value = selection.without_p_value;
        result_.tested = selection.tested;
        result_.used_pair_table = selection.used_pair_table;
    }

private:
    const Options& options_;
    Result& result_;
    bool listed_ = false;
};

// The data, the classes and the per-gene statistics.
struct Study {
    ExpressionView expression;
    LabelView labels;
    LabelVector class_sizes;
    StatMatrix medmad, bivar;
    PValue route;

    PValueSizes p_sizes() const { return PValueSizes::of(class_sizes(0), class_sizes(1), route); }
};

// What every way of selecting is given.
struct Call {
    const Criteria& criteria;
    const Options& options;
    const Context& context;
    Delivery& delivery;
    Result& result;
    bool focused;

    bool plain() const { return options.adjust == Adjust::None && options.order == Order::Score; }
};

// The listing and the walk down a ranked table of all pairs: the listing
// reaches the caller first, then each selected pair as the walk finds it.
Selection walk_table(RankedPairs& ranking, const PairSpace& space, const Call& call) {
    std::vector<PairScore> top_pairs;
    if (call.delivery.listings_asked()) top_pairs = listing_of(ranking);
    call.context.progress.end();  // the ranking phase ends with the sort of the listed pairs
    check_progress(call.context.progress);
    call.delivery.listings(std::move(top_pairs));
    const Options& o = call.options;
    Selection walked =
        call.plain() ? walk_ranking(ranking, call.criteria, space.p_sizes(), call.context, call.delivery.sink())
                     : walk_all_p_values(ranking, call.criteria, o.adjust, o.order, space.p_sizes(), call.context,
                                         call.delivery.sink());
    check_progress(call.context.progress);
    walked.used_pair_table = true;
    return walked;
}

// The straightforward engine: every pair through the per-pair routines into
// the full table, sorted whole, walked.
Selection select_straightforward(const Study& s, const Call& call) {
    const PairSpace space(static_cast<std::int32_t>(s.expression.size2()), s.p_sizes());
    ProgressReporter& progress = call.context.progress;
    PairTable table;
    progress.begin(Phase::Scoring, space.pairs());
    score_all_pairs(s.expression, s.labels, s.bivar, s.medmad, s.class_sizes, table, progress);
    progress.end();
    check_progress(progress);
    if (call.delivery.listings_asked()) call.delivery.first_pairs(first_pairs(table, s.bivar));
    progress.begin(Phase::Ranking, space.pairs());
    std::vector<std::int32_t> rank_order;
    rank_scores(table.negScore, rank_order);
    TableRanking ranking(table, rank_order);
    return walk_table(ranking, space, call);
}

// The compact table (12 bytes per pair), scored; ranked in the phase after.
std::unique_ptr<CompactTable> score_table(const PairSpace& space, const Context& context) {
    context.progress.begin(Phase::Scoring, space.pairs());
    auto table = std::make_unique<CompactTable>(space, context);
    context.progress.end();
    check_progress(context.progress);
    context.progress.begin(Phase::Ranking, space.pairs());
    return table;
}

// The selection in the scoring pass; where equal scores get in its way, the
// ranked table arranges them, or is walked when the pass kept too little.
Selection select_in_one_pass(const PairSpace& space, const Call& call) {
    ProgressReporter& progress = call.context.progress;
    progress.begin(Phase::Scoring, space.pairs());
    const std::unique_ptr<AllPairsCollector> all_pairs =
        one_pass_collector(space, call.criteria, call.options, call.context);
    OnePass pass(space, call.criteria, call.delivery.listings_asked(), call.context,
                 all_pairs ? std::vector<BlockCollector*>{all_pairs.get()} : std::vector<BlockCollector*>{});
    progress.end();
    check_progress(progress);
    if (all_pairs) deliver_all_pairs(*all_pairs, space, call.criteria.level, call.options, call.result);
    Selection s = pass.take();
    if (pass.listing_settled() && pass.selection_settled()) return s;

    s.used_pair_table = true;
    const std::unique_ptr<CompactTable> table = score_table(space, call.context);
    FastRanking& ranking = table->ranking();
    if (!pass.listing_settled()) s.top_pairs = listing_of(ranking);
    progress.end();
    check_progress(progress);
    if (!pass.selection_settled() && !pass.settle(ranking, s)) {
        Selection walked = walk_ranking(ranking, call.criteria, space.p_sizes(), call.context);
        s.pairs = std::move(walked.pairs);
        s.without_p_value = walked.without_p_value;
    }
    return s;
}

// The fast engine chooses, in this order:
//   the table forced (testing)      the compact table, ranked and walked
//   Adjust::BH or Order::PValue     the adjusted selection (histogram, then exact
//                                   p-values where needed; the table when
//                                   equal scores need it)
//   otherwise                       the selection in the scoring pass
std::unique_ptr<PairSpace> fast_space(const Study& s, const Context& context) {
    std::array<ClassTerms, 2> terms;
    compute_class_terms(s.expression, s.labels, s.bivar, s.medmad, context.threads, terms.data());
    return std::make_unique<PairSpace>(static_cast<std::int32_t>(s.expression.size2()), s.p_sizes(),
                                       std::move(terms));
}

// The statistics over all pairs, in a pass of their own after a selection
// that could not collect them.
Selection with_all_pairs(Selection selection, const PairSpace& space, const Call& call) {
    all_pairs_pass(space, call.criteria, call.options, call.context, selection.p_threshold, call.result);
    check_progress(call.context.progress);
    return selection;
}

Selection select_fast(const Study& s, const Call& call) {
    const std::unique_ptr<PairSpace> terms_space = fast_space(s, call.context);
    const PairSpace& space = *terms_space;
    if (call.focused) {
        Selection focused_selection = select_focused(space, call.criteria, call.options, call.context, call.result);
        check_progress(call.context.progress);
        return focused_selection;
    }
    if (call.delivery.listings_asked()) call.delivery.first_pairs(first_pairs(space));

    if (call.options.testing.pair_table)
        return with_all_pairs(walk_table(score_table(space, call.context)->ranking(), space, call), space, call);
    if (!call.plain()) {
        call.context.progress.begin(Phase::Scoring, space.pairs());
        std::optional<Selection> adjusted = select_adjusted(space, call.criteria, call.options.adjust,
                                                            call.options.order, call.delivery.listings_asked(),
                                                            call.context, call.options.testing.max_exact);
        call.context.progress.end();
        check_progress(call.context.progress);
        if (adjusted) return with_all_pairs(std::move(*adjusted), space, call);
        return with_all_pairs(walk_table(score_table(space, call.context)->ranking(), space, call), space, call);
    }
    return select_in_one_pass(space, call);
}

Result run_analysis(const DataView& data, const Criteria& criteria, const Options& options) {
    Study s{ExpressionView(data), LabelView(data), validate(data, options.min_class_size), StatMatrix(), StatMatrix(),
            options.p_value};
    check_p_value_route(s.class_sizes, options.p_value);
    check_permutation_options(options, s.class_sizes(0), s.class_sizes(1));
    Result result;
    result.genes = data.genes;
    result.samples = data.samples;
    result.class1 = s.class_sizes(0);
    result.class2 = s.class_sizes(1);
    result.pairs = PairIndex(data.genes).pairs();

    ProgressReporter progress(options.progress);
    const Context context{thread_count(options.threads), progress};
    progress.begin(Phase::PerGene, data.genes);
    s.medmad.resize(data.genes, 4, false);
    s.bivar.resize(data.genes, 2, false);
    const int tuning = kTuning;
    per_gene_biweight_statistics(s.expression, s.labels, s.bivar, s.medmad, data.samples, tuning, data.genes,
                                 s.class_sizes, context.threads);
    progress.add(data.genes);
    progress.end();
    check_progress(progress);

    // Permutations add to the selected pairs before the caller sees them.
    Options selecting = options;
    if (options.permutations > 0) selecting.on_selected = nullptr;
    Delivery delivery(selecting, result);
    const Call call{criteria, selecting, context, delivery, result, focused(options, data.genes)};
    const bool straightforward = options.testing.engine == Engine::Straightforward && !call.focused;
    delivery.finish(straightforward ? select_straightforward(s, call) : select_fast(s, call), progress);
    if (straightforward && all_pairs_asked(options)) with_all_pairs(Selection(), *fast_space(s, context), call);
    if (options.permutations > 0) {
        add_permutations(data, criteria, options, result, context);
        check_progress(progress);
        if (options.on_selected) {
            for (const SelectedPair& pair : result.selected) call_caller(options.on_selected, pair);
            result.selected.clear();
        }
    }
    return result;
}

}  // namespace

Result analyse(const DataView& data, const Criteria& criteria, const Options& options) {
    try {
        return run_analysis(data, criteria, options);
    } catch (const CallerFailure& failure) {
        std::rethrow_exception(failure.error);
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw Error(Error::Kind::Memory, message::kAllocation);
    } catch (const std::out_of_range&) {
        throw Error(Error::Kind::Internal, message::kIndexOutOfRange);
    } catch (const std::exception& e) {
        throw Error(Error::Kind::Internal, message::internal_error(e.what()));
    }
}

}  // namespace tivarne
