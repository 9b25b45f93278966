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
#' memory manager; the matrix is read in place, not copied. It can be
#' interrupted with Ctrl-C (or Esc), which leaves the session as it was.
#'
#' @param expr Expression values, genes in rows and samples in columns: a
#'   numeric matrix (rownames are the gene names), a data frame of numeric
#'   columns, or a `SummarizedExperiment` (the assay named by `assay`). Every
#'   value must be finite.
#' @param labels One label per sample: 1 or 0, `TRUE` or `FALSE` (1 and
#'   `TRUE` are class 1), or any vector (factor, character, numbers) together
#'   with `class1` naming the label of class 1; every other label is class 2.
#'   For a `SummarizedExperiment` also the name of a `colData` column.
#' @param level The significance level: a pair is selected when its p-value
#'   (its q-value with `adjust = "BH"`) is at or below it.
#' @param max_pairs At most this many pairs are selected (`Inf`: no limit).
#'   The first pair that qualifies is always selected, also for 0 or less.
#' @param class1 The label of the samples of class 1, when `labels` are not
#'   0/1 or logical.
#' @param threads Number of threads; `NULL` takes OpenMP's default
#'   (`OMP_NUM_THREADS` or all cores). The result does not depend on it.
#' @param adjust `"none"`: each pair's own p-value is held against `level`;
#'   `"BH"`: Benjamini-Hochberg q-values over all pairs with a p-value are held
#'   against it, which controls the false discovery rate at `level`.
#' @param assay For a `SummarizedExperiment`: which assay (name or number).
#' @param order `"score"`: the pairs are taken down the ranking, best score
#'   first (as the command line does); `"p_value"`: smallest p-value first
#'   (equal p-values by score, then by gene numbers), so that `max_pairs`
#'   keeps the strongest evidence.
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
#'   }
#'   No pair qualifies: zero rows with these columns. The attribute
#'   `"tivarne"` holds the sizes (`genes`, `samples`, `class1`, `class2`,
#'   `pairs`), the examined pairs `without_p_value` (never
#'   selected), the number `tested` for the adjustment, `used_pair_table`
#'   (whether the table of all pairs, 12 bytes per pair, was built: for
#'   `adjust = "BH"`, `order = "p_value"` or equal scores in the selection),
#'   and the answers.
#'
#' @section Errors:
#' Raised as R errors of class `tivarne_error`, with the message the command
#' line would print: values that are not finite (naming the first gene and
#' sample), a label count that differs from the number of samples, labels
#' that are neither 0/1 nor named by `class1`, a `class1` that does not occur,
#' a class without samples, more than 46341 genes.
#'
#' @seealso [read_tivarne_result()] for the command line's result file;
#'   `vignette("leukaemia", package = "tivarne")`.
#' @examples
#' dir <- system.file("extdata", package = "tivarne")
#' expr <- as.matrix(read.table(file.path(dir, "expr.txt")))
#' labels <- scan(file.path(dir, "labels.txt"), quiet = TRUE)
#' pairs <- tivarne(expr, labels, level = 0.01, max_pairs = 20, threads = 2)
#' head(pairs)
#' @export
tivarne <- function(expr, labels, level = 0.01, max_pairs = 20, class1 = NULL,
                    threads = NULL, adjust = c("none", "BH"), assay = 1L,
                    order = c("score", "p_value")) {
  adjust <- match.arg(adjust)
  order <- match.arg(order)
  if (methods::is(expr, "SummarizedExperiment")) {
    if (!requireNamespace("SummarizedExperiment", quietly = TRUE))
      fail("The SummarizedExperiment package is needed for this expr.")
    columns <- SummarizedExperiment::colData(expr)
    if (is.character(labels) && length(labels) == 1L && labels %in% names(columns))
      labels <- columns[[labels]]
    expr <- SummarizedExperiment::assay(expr, assay, withDimnames = TRUE)
  }
  x <- expression_matrix(expr)
  classes <- class_labels(labels, class1, ncol(x))
  check_finite(x)
  if (!is.numeric(level) || length(level) != 1L || is.na(level))
    fail("level must be one number.")
  if (!is.numeric(max_pairs) || length(max_pairs) != 1L || is.na(max_pairs))
    fail("max_pairs must be one number.")
  limit <- .Machine$integer.max
  max_pairs <- as.integer(max(min(max_pairs, limit), -limit))
  if (is.null(threads)) {
    threads <- 0L
  } else if (!is.numeric(threads) || length(threads) != 1L || is.na(threads) ||
             threads < 1 || threads > 1024) {
    fail("threads must be a number of threads (at least 1) or NULL.")
  }
  out <- tryCatch(.analyse(x, classes, as.double(level), max_pairs, as.integer(threads),
                           adjust == "BH", order == "p_value"),
                  error = function(e) fail(conditionMessage(e)))

  p <- out$pairs
  genes <- rownames(x)
  name <- function(index) if (is.null(genes)) index else genes[index]
  pairs <- data.frame(rank = seq_along(p$score), gene_x = name(p$index_x),
                      gene_y = name(p$index_y), index_x = p$index_x, index_y = p$index_y,
                      score = p$score, r1 = p$r1, r2 = p$r2, c = p$c, p_value = p$p_value,
                      log10_p = p$log10_p, stringsAsFactors = FALSE)
  if (adjust == "BH") pairs$q_value <- p$q_value
  attr(pairs, "tivarne") <- c(out$counts, list(level = level, max_pairs = max_pairs,
                                               adjust = adjust, order = order))
  pairs
}

# An error of class tivarne_error whose message is printed as the command
# line prints it ("Error: ...").
fail <- function(...) {
  stop(errorCondition(paste0(...), class = "tivarne_error", call = NULL))
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
         "columns or a SummarizedExperiment.")
  if (storage.mode(expr) != "double") storage.mode(expr) <- "double"
  expr
}

# The labels as integers, 1 for class 1 and 0 for class 2.
class_labels <- function(labels, class1, samples) {
  if (length(labels) != samples)
    fail("Wrong number of labels: ", length(labels), " labels for ", samples, " samples.")
  if (anyNA(labels))
    fail("Invalid data in labels (sample ", which(is.na(labels))[1], " has none).")
  if (!is.null(class1)) {
    if (length(class1) != 1L || is.na(class1))
      fail("class1 must be one label.")
    values <- as.character(labels)
    if (!as.character(class1) %in% values)
      fail("class1 \"", class1, "\" does not occur in the labels (",
           paste(unique(values), collapse = ", "), ").")
    return(as.integer(values == as.character(class1)))
  }
  if (is.logical(labels) || (is.numeric(labels) && all(labels == 0 | labels == 1)))
    return(as.integer(labels))
  fail("Invalid data in labels: 0 and 1 or TRUE and FALSE, or name the label of class 1 ",
       "with class1.")
}

# Names the first gene (then sample) whose value is not finite, in the
# library's order of checking.
check_finite <- function(x) {
  if (is.finite(sum(x))) return(invisible())
  bad <- which(!is.finite(x))
  if (length(bad) == 0L) return(invisible())  # the sum overflowed
  genes <- (bad - 1) %% nrow(x) + 1
  first <- bad[genes == min(genes)][1]
  gene <- (first - 1) %% nrow(x) + 1
  sample <- (first - 1) %/% nrow(x) + 1
  named <- function(k, names) if (is.null(names)) k else paste0(k, " \"", names[k], "\"")
  fail("Invalid data in expressions (gene ", named(gene, rownames(x)), ", sample ",
       named(sample, colnames(x)), ": ", format(x[first]), " is not a finite number).")
}
