#' Gene pairs whose co-expression differs between two classes
#'
#' Scores every pair of genes by `c * |r1 - r2|`, where `r1` and `r2` are the
#' biweight midcorrelations of the pair within class 1 and class 2 and `c`
#' (between 0 and 1) compares the pair's spread in the two classes; ranks all
#' pairs by score, and walks down the ranking selecting the pairs whose ECOR
#' p-value (a likelihood-ratio test of one correlation common to both classes)
#' is at or below `level`, until `max_pairs` are selected. The rows are those
#' of the command line's result file for the same data and answers.
#'
#' The computation runs in compiled code on `threads` threads, outside R's
#' memory manager; a double matrix is read in place, not copied, unless
#' samples are left out (then the columns of the two classes are copied). It
#' can be interrupted with Ctrl-C (or Esc), which leaves the session as it
#' was.
#'
#' @param expr Expression values, genes in rows and samples in columns: a
#'   numeric matrix (rownames are the gene names, colnames the sample names),
#'   a data frame of numeric columns, a `SummarizedExperiment` (the assay
#'   named by `assay`) or a Biobase `ExpressionSet` (its `exprs()`). Every
#'   value of the samples taking part must be finite.
#' @param labels One label per sample. Either 1 and 0 or `TRUE` and `FALSE`
#'   (1 and `TRUE` are class 1), or any values (factor, character, numbers)
#'   together with `class1` and/or `class2` saying which values form the
#'   classes. A named vector is matched to the samples by name: its names must
#'   be the sample names (`colnames(expr)`), in any order, and a name in one
#'   and not in the other is an error (pass `labels[colnames(expr)]` to use
#'   part of a longer sample sheet). Without names, labels are taken by
#'   position, in the order of the columns. For a `SummarizedExperiment` or an
#'   `ExpressionSet`, also the name of a `colData` (`pData`) column.
#' @param level The significance level: a pair is selected when its p-value
#'   (its q-value with `adjust = "BH"`) is at or below it.
#' @param max_pairs At most this many pairs are selected (`Inf`: every pair
#'   that qualifies; values beyond 2147483647 count as that). The first pair
#'   that qualifies is always selected, also for 0 or less.
#' @param class1,class2 The label values of class 1 and class 2: one value;
#'   several values merged into one class, such as `c("B1", "B2", "B3",
#'   "B4")`; or, for character or factor labels, shell-style patterns such as
#'   `"B*"` (`*` any text, `?` one character, `[12]` one of a set). A value
#'   that occurs among the labels exactly is taken as that value, not as a
#'   pattern. With `class1` alone, class 2 is the one other label value; with
#'   `class2` alone, class 1 is. More than two classes without both is an
#'   error listing the classes and their sizes. When both are given, samples
#'   whose label is in neither (or missing) are left out. A label in both
#'   classes is an error.
#' @param samples Which samples take part: `NULL` (all of them); a logical
#'   vector, one value per sample (matched by name when it has names, as
#'   `labels` is, else by position); or a character vector of sample names.
#'   The labels of samples left out are not looked at.
#' @param threads Number of threads; `NULL` takes OpenMP's default
#'   (`OMP_NUM_THREADS` or all cores). The result does not depend on it.
#' @param adjust `"none"`: each pair's own p-value is held against `level`;
#'   `"BH"`: Benjamini-Hochberg q-values over all pairs with a p-value are held
#'   against it, which controls the false discovery rate at `level`.
#' @param assay For a `SummarizedExperiment`: which assay (name or number).
#'   For an `ExpressionSet`: 1 (`exprs()`) or the name of an element of its
#'   `assayData`.
#' @param order `"score"`: the pairs are taken down the ranking, best score
#'   first (as the command line does); `"p_value"`: smallest p-value first
#'   (equal p-values by score, then by gene numbers), so that `max_pairs`
#'   keeps the strongest evidence.
#' @param p_value `"ecor"`: the ECOR likelihood-ratio p-value with the class
#'   sizes n1, n2 (the command line's); `"calibrated"`: the same test with
#'   class sizes n1 - 3 and n2 - 3, the sizes Fisher's variance of a
#'   transformed correlation implies. The ECOR p-value is too small in small
#'   classes (with 20 samples per class about 3.5 times too many null pairs
#'   fall below 1e-5, and BH at 0.05 lets through about a quarter of false
#'   pairs); the calibrated one holds its level. It needs at least 4 samples
#'   in each class.
#' @param permutations `NULL`, or the number of label permutations: the
#'   labels are shuffled this many times keeping the class sizes, every pair
#'   of each permutation is scored (nothing is stored per pair), and each
#'   selected pair gets an empirical p-value `p_perm` and an estimated false
#'   discovery rate `fdr` (columns added; the selection does not change).
#'   Each permutation costs about one analysis. At most as many as there are
#'   labelings with these class sizes.
#' @param seed The permutations' seed, a whole number from 0 to 2^53
#'   (`NULL`: 0). Permutation t depends on the seed and t alone.
#' @param shard `NULL`, or `c(first, last)`: run only permutations `first`
#'   to `last - 1` (counted from 0), a job of a sharded run; the pairs then
#'   get no empirical values, and the shard's null summary goes to
#'   `null_summary`.
#' @param null_summary A file to write the null summary to (a small text).
#' @param null_summaries The null summary files of the shards, merged instead
#'   of running the permutations: made from the same data and arguments,
#'   together covering every permutation exactly once. The result is that of
#'   one whole run.
#' @param genes A focused analysis: only the pairs that contain one of these
#'   genes (rownames, or row numbers) are scored, tested and selected; with
#'   `adjust = "BH"` the q-values count only them. The cost scales with those
#'   pairs. Their values are those of a full run to the bit; equal scores go
#'   in pair order.
#' @param pairs A focused analysis of exactly these pairs: a two-column
#'   matrix or data frame of genes (names or row numbers), one pair per row;
#'   not with `genes`.
#' @param within With `genes`: only the pairs of two genes of the set.
#' @param class_level The level of the correlation classes (column
#'   `dc_class`).
#' @param histograms Also histogram the scores and p-values of all pairs (or
#'   of the focused ones) into the attribute's `histograms` (see
#'   [tivarne_genes()] for the gene table).
#'
#' @return A data frame with one row per selected pair, best score first (or
#'   smallest p-value first with `order = "p_value"`):
#'   \describe{
#'     \item{rank}{1, 2, ...}
#'     \item{gene_x, gene_y}{the two genes: rownames of `expr`, or row
#'       numbers when it has none}
#'     \item{index_x, index_y}{their row numbers (`index_x < index_y`)}
#'     \item{score}{`c * |r1 - r2|`, between 0 and 2}
#'     \item{r1, r2}{biweight midcorrelation in class 1 and in class 2}
#'     \item{c}{the weight, `score / |r1 - r2|` (`NaN` when `r1 == r2`)}
#'     \item{p_value, log10_p}{the ECOR p-value and its base-10 logarithm}
#'     \item{q_value}{the Benjamini-Hochberg q-value (`adjust = "BH"` only)}
#'     \item{p_perm}{with `permutations`: the empirical p-value pooled over
#'       every pair of every permutation, `(1 + C) / (1 + M)`, C the null
#'       pairs at or below the pair's p-value, M the null pairs with one}
#'     \item{fdr}{with `permutations`: the estimated false discovery rate of
#'       selecting every pair at or below the pair's p-value (mean null count
#'       per permutation over the observed count; at most 1, never above that
#'       of a selected pair with a larger p-value)}
#'     \item{dc_class}{the correlation classes, class 1 then class 2, such as
#'       `"+/0"`: `"+"` or `"-"` when the class's midcorrelation differs from
#'       0 at `class_level` (two-sided Student's t on n - 2 degrees of freedom,
#'       as `cor.test` computes it), else `"0"`; `"NA"` for a correlation that
#'       is not a number}
#'   }
#'   No pair qualifies: zero rows with these columns. The attribute
#'   `"tivarne"` is a list (the same names as the Python package's
#'   `DataFrame.attrs`):
#'   \describe{
#'     \item{class1, class2}{the label values of each class (several when
#'       merged or matched by a pattern; 1 and 0, or `TRUE` and `FALSE`, for
#'       such labels)}
#'     \item{n1, n2}{the number of samples in class 1 and in class 2}
#'     \item{left_out}{samples in neither class or filtered out by `samples`}
#'     \item{genes, samples}{the number of genes and of samples used
#'       (`n1 + n2`)}
#'     \item{pairs}{the number of gene pairs}
#'     \item{tested}{with `adjust = "BH"`: the pairs that have a p-value (the
#'       number of tests of the adjustment); 0 otherwise}
#'     \item{without_p_value}{pairs without a p-value among those examined
#'       (never selected)}
#'     \item{used_pair_table}{whether the table of all pairs (12 bytes per
#'       pair) was built: for equal scores in the selection}
#'     \item{level, max_pairs, adjust, order, p_value}{the arguments; with
#'       permutations also `permutations`, `seed` and `null_summary` (its text)}
#'     \item{version}{the version of the package}
#'     \item{histograms, pairs_with_p_value}{with `histograms = TRUE`: a list
#'       of `score_width` and `scores` (counts of bins of scores; NaN scores
#'       in `nan_scores`), `log10_p_width` and `log10_p` (counts of bins of
#'       -log10 p down to p = 1e-12, smaller ones in `p_below`; each pair lies
#'       at most 0.001 in -log10 p from the bin of its exact p-value) and
#'       `with_p_value`}
#'   }
#'
#' @section Classes:
#' A class of fewer than 3 samples is refused: with two samples every
#' correlation is +1 or -1 and the p-values are 0 or 1, whatever the genes
#' do. Below 10 samples in a class a warning of class `tivarne_warning` says
#' that the p-values rest on large-sample theory (the likelihood-ratio test
#' is asymptotic) and are rough; the ranking by score is unaffected.
#'
#' @section Errors:
#' Raised as R errors of class `tivarne_error`: values that are not finite
#' (naming the first gene and sample), a label count that differs from the
#' number of samples, names of `labels` or `samples` that are not the sample
#' names (naming the first), a `colData` or `pData` column that does not
#' exist (listing those that do), labels that are neither 0/1 nor described
#' by `class1` or `class2`, a class value or pattern that does not occur,
#' more than two classes with only one of them named, a class of fewer than
#' 3 samples, more than 46341 genes.
#'
#' @seealso [read_tivarne_result()] for the command line's result file;
#'   `vignette("leukaemia", package = "tivarne")`.
#' @examples
#' dir <- system.file("extdata", package = "tivarne")
#' expr <- as.matrix(read.table(file.path(dir, "expr.txt")))
#' labels <- scan(file.path(dir, "labels.txt"), quiet = TRUE)
#' pairs <- tivarne(expr, labels, level = 0.01, max_pairs = 20, threads = 2)
#' head(pairs)
#' attr(pairs, "tivarne")[c("class1", "class2", "n1", "n2")]
#'
#' # Classes named by their labels; the samples named, the labels in another
#' # order: they are matched by name.
#' disease <- setNames(ifelse(labels == 1, "AML", "ALL"), colnames(expr))
#' shuffled <- rev(disease)
#' same <- tivarne(expr, shuffled, class1 = "AML", class2 = "ALL", threads = 2)
#' identical(same$score, pairs$score)
#' @export
tivarne <- function(expr, labels, level = 0.01, max_pairs = 20, class1 = NULL, class2 = NULL,
                    samples = NULL, threads = NULL, adjust = c("none", "BH"), assay = 1L,
                    order = c("score", "p_value"), genes = NULL, pairs = NULL, within = FALSE,
                    class_level = 0.05, histograms = FALSE, p_value = c("ecor", "calibrated"),
                    permutations = NULL, seed = NULL, shard = NULL, null_summary = NULL,
                    null_summaries = NULL) {
  run_tivarne(expr, labels, level, max_pairs, class1, class2, samples, threads, match.arg(adjust), assay,
              match.arg(order), genes, pairs, within, class_level, histograms, p_value = match.arg(p_value),
              permutations = permutations, seed = seed, shard = shard, null_summary = null_summary,
              null_summaries = null_summaries)$pairs
}

# tivarne() with the library's whole output: list(pairs, all_pairs).
run_tivarne <- function(expr, labels, level = 0.01, max_pairs = 20, class1 = NULL, class2 = NULL,
                        samples = NULL, threads = NULL, adjust = c("none", "BH"), assay = 1L,
                        order = c("score", "p_value"), genes = NULL, pairs = NULL, within = FALSE,
                        class_level = 0.05, histograms = FALSE, gene_summary = FALSE,
                        p_value = c("ecor", "calibrated"), permutations = NULL, seed = NULL, shard = NULL,
                        null_summary = NULL, null_summaries = NULL) {
  adjust <- match.arg(adjust)
  order <- match.arg(order)
  p_value <- match.arg(p_value)
  perm <- permutation_arguments(permutations, seed, shard, null_summary, null_summaries)
  if (!is.numeric(level) || length(level) != 1L || is.na(level))
    fail("level must be one number.")
  if (!is.numeric(max_pairs) || length(max_pairs) != 1L || is.na(max_pairs))
    fail("max_pairs must be one number.")
  limit <- .Machine$integer.max
  walk_limit <- as.integer(max(min(max_pairs, limit), -limit))
  if (is.null(threads)) {
    threads <- 0L
  } else if (!is.numeric(threads) || length(threads) != 1L || is.na(threads) ||
             threads < 1 || threads > 1024) {
    fail("threads must be a number of threads (at least 1) or NULL.")
  }
  input <- expression_input(expr, labels, assay)
  x <- input$x
  chosen <- choose_classes(input$labels, colnames(x), ncol(x), class1, class2, samples)
  if (length(chosen$used) < ncol(x)) x <- x[, chosen$used, drop = FALSE]
  check_finite(x, chosen$used)
  for (message in chosen$small) caution(message)
  focus <- focus_arguments(genes, pairs, within, x)
  if (!is.numeric(class_level) || length(class_level) != 1L || is.na(class_level))
    fail("class_level must be one number.")
  out <- tryCatch(.analyse(x, chosen$labels, as.double(level), walk_limit, as.integer(threads),
                           adjust == "BH", order == "p_value", isTRUE(gene_summary), isTRUE(histograms),
                           focus$genes, focus$within, focus$x, focus$y, as.double(class_level),
                           p_value == "calibrated", perm$count, perm$seed, perm$from, perm$to, perm$summaries),
                  error = function(e) fail(conditionMessage(e)))

  p <- out$pairs
  genes <- rownames(x)
  name <- function(index) if (is.null(genes)) index else genes[index]
  pairs <- data.frame(rank = seq_along(p$score), gene_x = name(p$index_x),
                      gene_y = name(p$index_y), index_x = p$index_x, index_y = p$index_y,
                      score = p$score, r1 = p$r1, r2 = p$r2, c = p$c, p_value = p$p_value,
                      log10_p = p$log10_p, stringsAsFactors = FALSE)
  if (adjust == "BH") pairs$q_value <- p$q_value
  pairs$dc_class <- p$dc_class
  if (perm$count > 0L) {
    pairs$p_perm <- p$p_perm
    pairs$fdr <- p$fdr
  }
  counts <- out$counts
  attr(pairs, "tivarne") <- list(
    class1 = chosen$class1, class2 = chosen$class2, n1 = counts$class1, n2 = counts$class2,
    left_out = chosen$left_out, genes = counts$genes, samples = counts$samples,
    pairs = counts$pairs, tested = counts$tested, without_p_value = counts$without_p_value,
    used_pair_table = counts$used_pair_table, level = level, max_pairs = max_pairs, adjust = adjust, order = order,
    p_value = p_value, version = as.character(utils::packageVersion("tivarne")))
  if (isTRUE(histograms)) {
    attr(pairs, "tivarne")$histograms <- out$all_pairs$histograms
    attr(pairs, "tivarne")$pairs_with_p_value <- out$all_pairs$histograms$with_p_value
  }
  if (perm$count > 0L) {
    attr(pairs, "tivarne") <- c(attr(pairs, "tivarne"), list(permutations = perm$count, seed = perm$seed,
                                                             null_summary = counts$null_summary))
    if (!is.null(null_summary)) write_atomically(counts$null_summary, null_summary)
  }
  list(pairs = pairs, all_pairs = out$all_pairs, names = genes)
}

# The permutation arguments, checked, as the binding takes them.
permutation_arguments <- function(permutations, seed, shard, null_summary, null_summaries) {
  whole <- function(x) is.numeric(x) && length(x) == 1L && !is.na(x) && x == round(x)
  if (is.null(permutations)) {
    if (!is.null(seed) || !is.null(shard) || !is.null(null_summary) || !is.null(null_summaries))
      fail("seed, shard, null_summary and null_summaries go with permutations = N.")
    return(list(count = 0L, seed = 0, from = 0L, to = -1L, summaries = character()))
  }
  if (!whole(permutations) || permutations < 1 || permutations > .Machine$integer.max)
    fail("permutations must be a whole number of at least 1.")
  if (is.null(seed)) seed <- 0
  if (!whole(seed) || seed < 0 || seed > 2^53)
    fail("seed must be a whole number from 0 to 2^53.")
  from <- 0L
  to <- -1L
  if (!is.null(shard)) {
    if (!is.numeric(shard) || length(shard) != 2L || anyNA(shard) || any(shard != round(shard)) ||
        shard[1] < 0 || shard[1] >= shard[2] || shard[2] > permutations)
      fail("shard must be c(first, last) with 0 <= first < last <= permutations (", permutations, ").")
    from <- as.integer(shard[1])
    to <- as.integer(shard[2])
  }
  summaries <- character()
  if (!is.null(null_summaries)) {
    if (!is.character(null_summaries) || length(null_summaries) == 0L)
      fail("null_summaries must name the null summary files of the shards.")
    summaries <- vapply(null_summaries, function(path) {
      if (!file.exists(path)) fail("null_summaries: no file \"", path, "\".")
      paste0(paste(readLines(path, warn = FALSE), collapse = "\n"), "\n")
    }, character(1), USE.NAMES = FALSE)
  }
  list(count = as.integer(permutations), seed = as.double(seed), from = from, to = to,
       summaries = summaries)
}

# Writes text to path through a temporary file beside it, renamed over it.
write_atomically <- function(text, path) {
  temporary <- tempfile(".tivarne-", tmpdir = dirname(normalizePath(path, mustWork = FALSE)), fileext = ".tmp")
  on.exit(if (file.exists(temporary)) unlink(temporary))
  writeLines(text, temporary, sep = "")
  if (!file.rename(temporary, path)) fail("Cannot write the null summary to \"", path, "\".")
  invisible(path)
}

# An error of class tivarne_error whose message is printed as the command
# line prints it ("Error: ...").
fail <- function(...) {
  stop(errorCondition(paste0(...), class = "tivarne_error", call = NULL))
}

# A warning of class tivarne_warning.
caution <- function(...) {
  warning(warningCondition(paste0(...), class = "tivarne_warning", call = NULL))
}

# The expression matrix of expr and the labels, a column of its sample table
# when labels names one.
expression_input <- function(expr, labels, assay) {
  columns <- NULL
  if (methods::is(expr, "SummarizedExperiment")) {
    if (!requireNamespace("SummarizedExperiment", quietly = TRUE))
      fail("The SummarizedExperiment package is needed for this expr.")
    columns <- SummarizedExperiment::colData(expr)
    table <- "colData(expr)"
    expr <- SummarizedExperiment::assay(expr, assay, withDimnames = TRUE)
  } else if (methods::is(expr, "ExpressionSet")) {
    if (!requireNamespace("Biobase", quietly = TRUE))
      fail("The Biobase package is needed for an ExpressionSet.")
    columns <- Biobase::pData(expr)
    table <- "pData(expr)"
    if (identical(assay, 1) || identical(assay, 1L)) {
      expr <- Biobase::exprs(expr)
    } else {
      elements <- Biobase::assayDataElementNames(expr)
      if (!is.character(assay) || length(assay) != 1L || !assay %in% elements)
        fail("assay: an ExpressionSet has the assay elements ",
             paste(elements, collapse = ", "), "; give one of their names, or 1 for exprs().")
      expr <- Biobase::assayDataElement(expr, assay)
    }
  }
  if (!is.null(columns) && is.character(labels) && length(labels) == 1L) {
    if (!labels %in% names(columns))
      fail("labels: ", table, " has no column \"", labels, "\"; its columns: ",
           if (length(names(columns))) paste(names(columns), collapse = ", ") else "none", ".")
    labels <- columns[[labels]]
  }
  list(x = expression_matrix(expr), labels = labels)
}

# expr as a double matrix, genes x samples; a double matrix is used as it is.
expression_matrix <- function(expr) {
  if (is.data.frame(expr)) {
    numeric <- vapply(expr, is.numeric, logical(1))
    if (!all(numeric))
      fail("expr: column ", names(expr)[!numeric][1], " is not numeric.")
    genes <- if (.row_names_info(expr) > 0L) row.names(expr) else NULL
    expr <- as.matrix(expr)
    rownames(expr) <- genes
  } else if (!is.matrix(expr)) {
    expr <- as.matrix(expr)
  }
  if (!is.numeric(expr) || length(dim(expr)) != 2L)
    fail("expr must be a numeric matrix (genes x samples), a data frame of numeric ",
         "columns, a SummarizedExperiment or an ExpressionSet.")
  if (storage.mode(expr) != "double") storage.mode(expr) <- "double"
  expr
}

# Names the first gene (then sample) whose value is not finite, in the
# library's order of checking; x holds the columns used of expr.
check_finite <- function(x, used) {
  if (is.finite(sum(x))) return(invisible())
  bad <- which(!is.finite(x))
  if (length(bad) == 0L) return(invisible())  # the sum overflowed
  genes <- (bad - 1) %% nrow(x) + 1
  first <- bad[genes == min(genes)][1]
  gene <- (first - 1) %% nrow(x) + 1
  column <- (first - 1) %/% nrow(x) + 1
  named <- function(k, name) if (is.null(name)) k else paste0(k, " \"", name, "\"")
  fail("Invalid data in expressions (gene ", named(gene, rownames(x)[gene]), ", sample ",
       named(used[column], colnames(x)[column]), ": ", format(x[first]),
       " is not a finite number).")
}
