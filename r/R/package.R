#' tivarne: gene pairs whose co-expression differs between two classes
#'
#' For every pair of genes, [tivarne()] computes the biweight midcorrelation
#' within each class of samples (`r1`, `r2`), a weight `c` that compares the
#' spread of the pair in the two classes, and the score `c * |r1 - r2|`; it
#' ranks all pairs by score and returns those whose ECOR p-value (a
#' likelihood-ratio test of one common correlation) passes a level.
#' [read_tivarne_result()] reads the result file of the command line.
#'
#' The computation is the tivarne library's, compiled into the package: the
#' same rows and numbers as the command line.
#'
#' @name tivarne-package
#' @aliases tivarne-package
#' @docType package
#' @keywords internal
#' @useDynLib tivarne, .registration = TRUE
#' @importFrom Rcpp sourceCpp
NULL
