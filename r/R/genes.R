#' Which genes are rewired: the genes of the differential network
#'
#' Runs the analysis of [tivarne()] and counts, over ALL pairs (not only the
#' `max_pairs` an analysis returns), each gene's pairs that meet the
#' criterion: p-value at or below `level`, or with `adjust = "BH"` q-value at
#' or below it. A gene whose degree is larger than the overall pass rate
#' predicts is a hub of the rewiring. The same numbers as Python's
#' `tivarne.rewired_genes()`.
#'
#' @inheritParams tivarne
#' @return A data frame with one row per gene, smallest p-value first (then
#'   largest degree):
#'   \describe{
#'     \item{gene}{the gene's rowname, or its row number}
#'     \item{degree}{its pairs that pass}
#'     \item{expected}{its pairs with a p-value times the pass rate (pairs
#'       passing / pairs with a p-value)}
#'     \item{stronger_in_class1, stronger_in_class2}{passing pairs with
#'       `|r1| > |r2|`, and with `|r2| > |r1|`}
#'     \item{sign_changes}{passing pairs with `r1 * r2 < 0`}
#'     \item{p_value}{binomial upper tail `P(X >= degree)`, X ~
#'       Binomial(its pairs with a p-value, pass rate); `NaN` for a gene
#'       without any pair with a p-value}
#'     \item{q_value}{Benjamini-Hochberg over the genes' p-values}
#'   }
#'   The attribute `"tivarne"` holds the analysis' metadata (as [tivarne()])
#'   and `pairs_considered`, `pairs_with_p_value`, `pairs_passing`,
#'   `pass_rate` and `p_threshold` (the p-value at or below which a pair
#'   passes; -1 when none does).
#' @section Why binomial:
#' The pairs of one gene are not independent (they share the gene), so the
#' p-values rank the genes rather than test them exactly. With millions of
#' pairs, drawing a gene's partners with or without replacement
#' (hypergeometric) makes no difference.
#' @examples
#' dir <- system.file("extdata", package = "tivarne")
#' expr <- as.matrix(read.table(file.path(dir, "expr.txt")))
#' labels <- scan(file.path(dir, "labels.txt"), quiet = TRUE)
#' hubs <- tivarne_genes(expr, labels, level = 0.01, threads = 2)
#' head(hubs)
#' @export
tivarne_genes <- function(expr, labels, level = 0.01, class1 = NULL, class2 = NULL, samples = NULL,
                          threads = NULL, adjust = c("none", "BH"), assay = 1L, genes = NULL, pairs = NULL,
                          within = FALSE) {
  run <- run_tivarne(expr, labels, level, 1, class1, class2, samples, threads, match.arg(adjust), assay,
                     "score", genes, pairs, within, 0.05, FALSE, TRUE)
  t <- run$all_pairs$genes
  names <- run$names
  table <- data.frame(gene = if (is.null(names)) t$gene else names[t$gene],
                      degree = t$degree, expected = t$expected,
                      stronger_in_class1 = t$stronger_in_class1, stronger_in_class2 = t$stronger_in_class2,
                      sign_changes = t$sign_changes, p_value = t$p_value, q_value = t$q_value,
                      stringsAsFactors = FALSE)
  meta <- attr(run$pairs, "tivarne")
  meta$max_pairs <- NULL
  meta$without_p_value <- NULL
  with_p <- run$all_pairs$considered - sum(t$tested) / 2
  meta$pairs_considered <- run$all_pairs$considered
  meta$pairs_with_p_value <- with_p
  meta$pairs_passing <- run$all_pairs$passing
  meta$pass_rate <- if (with_p > 0) run$all_pairs$passing / with_p else 0
  meta$p_threshold <- run$all_pairs$p_threshold
  attr(table, "tivarne") <- meta
  table
}

# The library's focus arguments from genes, pairs and within (row numbers
# from 1); an error naming the first bad entry.
focus_arguments <- function(genes, pairs, within, x) {
  none <- list(genes = integer(), within = FALSE, x = integer(), y = integer())
  if (is.null(genes) && is.null(pairs)) {
    if (isTRUE(within)) fail("within = TRUE needs genes.")
    return(none)
  }
  if (!is.null(genes) && !is.null(pairs)) fail("Give genes or pairs, not both.")
  names <- rownames(x)
  row_of <- function(gene, what) {
    if (is.factor(gene)) gene <- as.character(gene)
    if (is.character(gene)) {
      rows <- which(names == gene)
      if (length(rows) == 0L)
        fail(what, ": gene \"", gene, "\" is not among the rownames of expr",
             if (is.null(names)) " (expr has no rownames: give row numbers)" else "", ".")
      if (length(rows) > 1L)
        fail(what, ": gene \"", gene, "\" names rows ", paste(rows, collapse = ", "),
             " of expr; give row numbers instead.")
      return(rows)
    }
    if (!is.numeric(gene) || is.na(gene) || gene != round(gene) || gene < 1 || gene > nrow(x))
      fail(what, ": gene ", format(gene), " is not a row of expr (rows 1 to ", nrow(x), ").")
    as.integer(gene)
  }
  if (!is.null(genes)) {
    if (length(genes) == 0L) fail("genes is empty: name at least one gene.")
    rows <- vapply(seq_along(genes), function(k) row_of(genes[[k]], "genes"), integer(1))
    twice <- which(duplicated(rows))
    if (length(twice)) fail("genes: gene ", format(genes[[twice[1]]]), " is listed twice.")
    if (isTRUE(within) && length(rows) < 2L)
      fail("genes has one gene and within = TRUE: there is no pair within the set.")
    return(list(genes = rows, within = isTRUE(within), x = integer(), y = integer()))
  }
  if (isTRUE(within)) fail("within = TRUE goes with genes, not with pairs.")
  if (is.data.frame(pairs)) {
    if (ncol(pairs) != 2L) fail("pairs needs two columns (the genes of each pair), got ", ncol(pairs), ".")
    first <- pairs[[1]]
    second <- pairs[[2]]
  } else if (is.matrix(pairs) && ncol(pairs) == 2L) {
    first <- pairs[, 1]
    second <- pairs[, 2]
  } else {
    fail("pairs must be a two-column matrix or data frame of genes, one pair per row.")
  }
  if (length(first) == 0L) fail("pairs is empty: list at least one pair.")
  a <- vapply(seq_along(first), function(k) row_of(first[[k]], paste0("pairs, row ", k)), integer(1))
  b <- vapply(seq_along(second), function(k) row_of(second[[k]], paste0("pairs, row ", k)), integer(1))
  same <- which(a == b)
  if (length(same))
    fail("pairs, row ", same[1], ": the pair (", format(first[[same[1]]]), ", ", format(second[[same[1]]]),
         ") pairs a gene with itself.")
  key <- paste(pmin(a, b), pmax(a, b))
  twice <- which(duplicated(key))
  if (length(twice)) {
    k <- twice[1]
    fail("pairs: the pair (", format(first[[k]]), ", ", format(second[[k]]), ") is listed twice (rows ",
         match(key[k], key), " and ", k, ").")
  }
  list(genes = integer(), within = FALSE, x = a, y = b)
}
