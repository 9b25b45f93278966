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

}  // namespace

// The analysis of `expr` (genes x samples, column-major, finite) with
// `labels` (1 = class 1, 0 = class 2). Genes are 1-based in the result.
// [[Rcpp::export(.analyse)]]
Rcpp::List analyse_matrix(Rcpp::NumericMatrix expr, Rcpp::IntegerVector labels, double level,
                          int max_pairs, int threads, bool bh, bool by_p_value) {
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
    }
    Rcpp::List pairs = Rcpp::List::create(
        Rcpp::Named("index_x") = gene_x, Rcpp::Named("index_y") = gene_y, Rcpp::Named("score") = score,
        Rcpp::Named("r1") = r1, Rcpp::Named("r2") = r2, Rcpp::Named("c") = c,
        Rcpp::Named("p_value") = p_value, Rcpp::Named("log10_p") = log10_p,
        Rcpp::Named("q_value") = q_value);
    Rcpp::List counts = Rcpp::List::create(
        Rcpp::Named("genes") = result.genes, Rcpp::Named("samples") = result.samples,
        Rcpp::Named("class1") = result.class1, Rcpp::Named("class2") = result.class2,
        Rcpp::Named("pairs") = static_cast<double>(result.pairs),
        Rcpp::Named("without_p_value") = static_cast<double>(result.without_p_value),
        Rcpp::Named("tested") = static_cast<double>(result.tested),
        Rcpp::Named("used_pair_table") = result.used_pair_table);
    return Rcpp::List::create(Rcpp::Named("pairs") = pairs, Rcpp::Named("counts") = counts);
}
