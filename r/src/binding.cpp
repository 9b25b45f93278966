// The R binding: analyse() on an R matrix without copying it, the selected
// pairs back as plain vectors, the library's errors as R errors and Ctrl-C as
// R's own interrupt.
#include <Rcpp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/messages.h"
#include "tivarne/tivarne.h"

namespace {

static_assert(sizeof(int) == sizeof(std::int32_t), "R's integers are the library's int32 labels");

void check_interrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user asked to interrupt. R's check jumps when an interrupt is
// pending; R_ToplevelExec ends that jump here instead of across C++ frames.
bool interrupt_pending() { return R_ToplevelExec(check_interrupt, nullptr) == FALSE; }

// The gene table (genes 1-based), the histograms and their counts.
Rcpp::List all_pairs(const tivarne::Result& result, bool gene_summary, bool histograms) {
    Rcpp::List out = Rcpp::List::create(Rcpp::Named("considered") = static_cast<double>(result.considered),
                                        Rcpp::Named("passing") = static_cast<double>(result.passing),
                                        Rcpp::Named("p_threshold") = result.p_threshold);
    auto numbers = [](const std::vector<std::int64_t>& v) { return Rcpp::NumericVector(v.begin(), v.end()); };
    if (gene_summary) {
        const std::vector<tivarne::GeneSummary>& t = result.gene_summary;
        Rcpp::IntegerVector gene(t.size());
        Rcpp::NumericVector degree(t.size()), tested(t.size()), expected(t.size()), s1(t.size()), s2(t.size()),
            sign(t.size()), p(t.size()), q(t.size());
        for (std::size_t k = 0; k < t.size(); ++k) {
            gene[k] = t[k].gene + 1;
            degree[k] = static_cast<double>(t[k].degree);
            tested[k] = static_cast<double>(t[k].tested);
            expected[k] = t[k].expected;
            s1[k] = static_cast<double>(t[k].stronger_in_class1);
            s2[k] = static_cast<double>(t[k].stronger_in_class2);
            sign[k] = static_cast<double>(t[k].sign_changes);
            p[k] = t[k].p_value;
            q[k] = t[k].q_value;
        }
        out["genes"] = Rcpp::List::create(
            Rcpp::Named("gene") = gene, Rcpp::Named("degree") = degree, Rcpp::Named("tested") = tested,
            Rcpp::Named("expected") = expected, Rcpp::Named("stronger_in_class1") = s1,
            Rcpp::Named("stronger_in_class2") = s2, Rcpp::Named("sign_changes") = sign,
            Rcpp::Named("p_value") = p, Rcpp::Named("q_value") = q);
    }
    if (histograms) {
        const tivarne::Histograms& h = result.histograms;
        out["histograms"] = Rcpp::List::create(
            Rcpp::Named("score_width") = h.score_width, Rcpp::Named("scores") = numbers(h.scores),
            Rcpp::Named("nan_scores") = static_cast<double>(h.nan_scores),
            Rcpp::Named("log10_p_width") = h.log10_p_width, Rcpp::Named("log10_p") = numbers(h.log10_p),
            Rcpp::Named("p_below") = static_cast<double>(h.p_below),
            Rcpp::Named("with_p_value") = static_cast<double>(h.with_p_value));
    }
    return out;
}

}  // namespace

// The analysis of `expr` (genes x samples, column-major, finite) with
// `labels` (1 = class 1, 0 = class 2). Genes are 1-based in the result.
// [[Rcpp::export(.analyse)]]
Rcpp::List analyse_matrix(Rcpp::NumericMatrix expr, Rcpp::IntegerVector labels, double level,
                          int max_pairs, int threads, bool bh, bool by_p_value, bool gene_summary = false,
                          bool histograms = false, SEXP focus_genes = R_NilValue, bool within = false,
                          SEXP focus_x = R_NilValue, SEXP focus_y = R_NilValue, double class_level = 0.05) {
    if (labels.size() != expr.ncol()) Rcpp::stop(tivarne::message::kOneLabelPerSample);
    tivarne::DataView data;
    data.values = REAL(expr);
    data.genes = expr.nrow();
    data.samples = expr.ncol();
    data.gene_stride = 1;
    data.sample_stride = expr.nrow();
    data.labels = reinterpret_cast<const std::int32_t*>(INTEGER(labels));
    tivarne::Criteria criteria;
    criteria.level = level;
    criteria.max_pairs = max_pairs;
    tivarne::Options options;
    options.threads = threads;
    options.adjust = bh ? tivarne::Adjust::BH : tivarne::Adjust::None;
    options.order = by_p_value ? tivarne::Order::PValue : tivarne::Order::Score;
    options.gene_summary = gene_summary;
    options.histograms = histograms;
    // Genes counted from 1, as R counts them; NULL for none.
    if (!Rf_isNull(focus_genes))
        for (const int g : Rcpp::IntegerVector(focus_genes)) options.focus_genes.push_back(g - 1);
    options.focus_within = within;
    if (!Rf_isNull(focus_x) && !Rf_isNull(focus_y)) {
        const Rcpp::IntegerVector x(focus_x), y(focus_y);
        for (R_xlen_t k = 0; k < x.size() && k < y.size(); ++k) options.focus_pairs.emplace_back(x[k] - 1, y[k] - 1);
    }
    // Runs on this (R's) thread only, as the library promises.
    options.progress = [](const tivarne::ProgressUpdate&) { return !interrupt_pending(); };

    tivarne::Result result;
    try {
        result = tivarne::analyse(data, criteria, options);
    } catch (const tivarne::Error& e) {
        if (e.kind() == tivarne::Error::Kind::Cancelled) throw Rcpp::internal::InterruptedException();
        Rcpp::stop(e.what());
    }

    const R_xlen_t n = static_cast<R_xlen_t>(result.selected.size());
    Rcpp::IntegerVector gene_x(n), gene_y(n);
    Rcpp::NumericVector score(n), r1(n), r2(n), c(n), p_value(n), log10_p(n), q_value(n);
    Rcpp::CharacterVector dc_class(n);
    for (R_xlen_t k = 0; k < n; ++k) {
        const tivarne::SelectedPair& pair = result.selected[static_cast<std::size_t>(k)];
        gene_x[k] = pair.gene_x + 1;
        gene_y[k] = pair.gene_y + 1;
        score[k] = pair.score;
        r1[k] = pair.r1;
        r2[k] = pair.r2;
        c[k] = pair.c;
        p_value[k] = pair.p_value;
        log10_p[k] = pair.log10_p;
        q_value[k] = pair.q_value;
        dc_class[k] = tivarne::correlation_class(pair.r1, pair.r2, result.class1, result.class2, class_level);
    }
    Rcpp::List pairs = Rcpp::List::create(
        Rcpp::Named("index_x") = gene_x, Rcpp::Named("index_y") = gene_y, Rcpp::Named("score") = score,
        Rcpp::Named("r1") = r1, Rcpp::Named("r2") = r2, Rcpp::Named("c") = c,
        Rcpp::Named("p_value") = p_value, Rcpp::Named("log10_p") = log10_p,
        Rcpp::Named("q_value") = q_value, Rcpp::Named("dc_class") = dc_class);
    Rcpp::List counts = Rcpp::List::create(
        Rcpp::Named("genes") = result.genes, Rcpp::Named("samples") = result.samples,
        Rcpp::Named("class1") = result.class1, Rcpp::Named("class2") = result.class2,
        Rcpp::Named("pairs") = static_cast<double>(result.pairs),
        Rcpp::Named("without_p_value") = static_cast<double>(result.without_p_value),
        Rcpp::Named("tested") = static_cast<double>(result.tested),
        Rcpp::Named("used_pair_table") = result.used_pair_table);
    return Rcpp::List::create(Rcpp::Named("pairs") = pairs, Rcpp::Named("counts") = counts,
                              Rcpp::Named("all_pairs") = all_pairs(result, gene_summary, histograms));
}
