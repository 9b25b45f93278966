#' Read a result file of the tivarne command line
#'
#' @param path The result file (`-o` of the command line).
#' @return A data frame with one row per pair of the file, in its order, with
#'   the columns `rank`, `gene_x`, `gene_y` (row numbers of the expression
#'   file, from 1), `score`, `r1`, `r2`, `c` and `log10_p`: the names and order
#'   of [tivarne()]'s columns. The numbers are those of the file, rounded to
#'   two decimals. A file without pairs gives zero rows with these columns.
#'   The attributes `level` and `max_pairs` hold the answers of the run.
#' @examples
#' path <- tempfile(fileext = ".tsv")
#' writeLines(c("Results of TIVARNE:", strrep("-", 49),
#'              "significant level = 0.010000",
#'              "number of gene pairs to be output = 20 (maximum)", strrep("-", 49),
#'              paste("rank", "score(WCOR)", "log10(p-value(ECOR))", "gene X",
#'                    "gene Y", "r1", "r2", "weight c", sep = " \t "),
#'              "1\t1.51\t-6.45\t444\t1414\t-0.81\t0.72\t0.99"), path)
#' read_tivarne_result(path)
#' @export
read_tivarne_result <- function(path) {
  lines <- readLines(path, warn = FALSE)
  if (length(lines) < 5L || lines[1] != "Results of TIVARNE:")
    fail(path, " is not a tivarne result file.")
  # A level below 1e-6 is written as its log10 (nan for a negative level).
  setting <- regmatches(lines[3],
                        regexec("^(log10\\()?significant level\\)? = (.*)$", lines[3]))[[1]]
  pairs_line <- "^number of gene pairs to be output = (-?[0-9]+) \\(maximum\\)$"
  if (length(setting) != 3L || !grepl(pairs_line, lines[4]))
    fail(path, " is not a tivarne result file.")
  level <- suppressWarnings(as.numeric(setting[3]))
  if (nzchar(setting[2])) level <- 10^level
  max_pairs <- as.integer(sub(pairs_line, "\\1", lines[4]))
  body <- lines[-(1:5)]
  body <- body[nzchar(body)]
  if (length(body) == 1L && body == "---No significant gene pairs---") {
    rows <- character()
  } else if (length(body) >= 1L && startsWith(body[1], "rank \t")) {
    rows <- body[-1]
  } else {
    fail(path, " is not a tivarne result file.")
  }
  fields <- strsplit(rows, "\t", fixed = TRUE)
  if (any(lengths(fields) != 8L))
    fail(path, " is not a tivarne result file.")
  cell <- matrix(as.character(unlist(fields)), ncol = 8L, byrow = TRUE)
  number <- function(k) {
    values <- suppressWarnings(as.numeric(cell[, k]))
    if (any(is.na(values) & !is.nan(values))) fail(path, " is not a tivarne result file.")
    values
  }
  pairs <- data.frame(rank = as.integer(number(1)), gene_x = as.integer(number(4)),
                      gene_y = as.integer(number(5)), score = number(2), r1 = number(6),
                      r2 = number(7), c = number(8), log10_p = number(3))
  attr(pairs, "level") <- level
  attr(pairs, "max_pairs") <- max_pairs
  pairs
}
