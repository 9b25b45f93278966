# The fixtures are the command line's result files for the bundled example
# (printf '0.01\n20\n' | build/tivarne -e examples/golub/expr.txt -l examples/golub/labels.txt
# -o golub_0.01_20.tsv), likewise for 1e-12 20 (p = 0, log10 -inf) and -1 20 (golub_none.tsv).
dir <- system.file("extdata", package = "tivarne")
expr <- as.matrix(read.table(file.path(dir, "expr.txt")))
labels <- scan(file.path(dir, "labels.txt"), quiet = TRUE)
named <- expr
rownames(named) <- sprintf("g%04d", seq_len(nrow(expr)))
as_printed <- function(pairs) {
  as.data.frame(lapply(pairs, function(v) if (is.double(v)) sprintf("%.2f", v) else v))
}

test_that("rows equal the command line's result file, rounded to two decimals", {
  for (answers in list(c(0.01, 20), c(1e-12, 20))) {
    file <- read_tivarne_result(test_path(sprintf("golub_%g_%g.tsv", answers[1], answers[2])))
    pairs <- tivarne(expr, labels, level = answers[1], max_pairs = answers[2], threads = 2)
    expect_equal(attr(file, "level"), answers[1])
    expect_identical(attr(file, "max_pairs"), 20L)
    expect_identical(names(pairs)[names(pairs) %in% names(file)], names(file))
    expect_identical(nrow(pairs), 20L)
    expect_identical(as_printed(pairs[names(file)]), as_printed(file))
  }
  expect_identical(pairs$index_x, pairs$gene_x)  # no rownames: genes numbered
  expect_equal(pairs$p_value, 10^pairs$log10_p)
  expect_equal(pairs$c, pairs$score / abs(pairs$r1 - pairs$r2))
  counts <- attr(pairs, "tivarne")
  expect_identical(unlist(counts[c("genes", "samples", "class1", "class2")]),
                   c(genes = 3051L, samples = 38L, class1 = 11L, class2 = 27L))
  expect_identical(counts$pairs, 3051 * 3050 / 2)
  expect_gt(counts$without_p_value, 0)  # pairs with r = 1 in one class
})

test_that("every kind of expr and labels gives the same rows", {
  ref <- tivarne(named, labels, threads = 2)
  expect_identical(ref$gene_x, sprintf("g%04d", ref$index_x))
  expect_identical(tivarne(as.data.frame(named), labels, threads = 2), ref)
  expect_identical(tivarne(named, labels == 1, threads = 1), ref)
  aml <- factor(ifelse(labels == 1, "AML", "ALL"))
  expect_identical(tivarne(named, aml, class1 = "AML"), ref)
  expect_identical(tivarne(named, as.character(aml), class1 = "AML"), ref)
  expect_identical(tivarne(named, labels + 1, class1 = 2), ref)
  # ALL as class 1: the same pairs with r1 and r2 exchanged.
  swapped <- tivarne(named, aml, class1 = "ALL", threads = 2)
  expect_identical(swapped[c("gene_x", "gene_y", "r1", "r2")], ref[c("gene_x", "gene_y", "r2", "r1")],
                   ignore_attr = TRUE)
  expect_equal(swapped$score, ref$score)
  whole <- round(named * 100)
  storage.mode(whole) <- "integer"
  expect_identical(tivarne(whole, labels), tivarne(whole * 1.0, labels))
  none <- tivarne(named, labels, level = -1)
  expect_identical(nrow(none), 0L)
  expect_identical(lapply(none, class), lapply(ref, class))

  skip_if_not_installed("SummarizedExperiment")
  se <- SummarizedExperiment::SummarizedExperiment(
    assays = list(other = named * 0, expr = named),
    colData = data.frame(type = aml))
  expect_identical(tivarne(se, "type", class1 = "AML", assay = "expr"), ref)
  expect_identical(tivarne(se, aml, class1 = "AML", assay = 2), ref)
})

test_that("BH q-values lie between p and 1 and pass the level", {
  pairs <- tivarne(named, labels, level = 0.05, max_pairs = 200, adjust = "BH", threads = 2)
  expect_true("q_value" %in% names(pairs))
  expect_true(all(pairs$q_value >= pairs$p_value & pairs$q_value <= 0.05))
  expect_gt(attr(pairs, "tivarne")$tested, 0)
  expect_lte(nrow(pairs), nrow(tivarne(named, labels, level = 0.05, max_pairs = 200)))
  by_p <- tivarne(named, labels, level = 0.05, max_pairs = 200, adjust = "BH", order = "p_value")
  expect_false(is.unsorted(by_p$p_value))
})

test_that("the table of all pairs only when the selection needs it", {
  set.seed(3)
  x <- matrix(rnorm(3000 * 20), 3000, 20)
  x[3000, ] <- x[1, ]  # equal scores, away from the selection
  none <- tivarne(x, rep(1:0, each = 10), level = 1e-300, max_pairs = 20, threads = 2)
  expect_false(attr(none, "tivarne")$used_pair_table)
  expect_true(attr(tivarne(x[1:100, ], rep(1:0, each = 10), adjust = "BH"), "tivarne")$used_pair_table)
})

test_that("a result file without pairs, and a file that is not a result", {
  none <- read_tivarne_result(test_path("golub_none.tsv"))
  file <- read_tivarne_result(test_path("golub_0.01_20.tsv"))
  expect_identical(nrow(none), 0L)
  expect_identical(lapply(none, class), lapply(file, class))
  expect_error(read_tivarne_result(file.path(dir, "labels.txt")),
               "is not a tivarne result file", class = "tivarne_error")
})

test_that("unusable data and labels are R errors with the library's message", {
  bad <- named
  bad[3, 5] <- NA
  bad[2, 9] <- -Inf
  expect_error(tivarne(bad, labels),
               'Invalid data in expressions (gene 2 "g0002", sample 9 "V9": -Inf is not',
               fixed = TRUE, class = "tivarne_error")
  bad[2, 9] <- 0
  expect_error(tivarne(unname(bad), labels),
               "(gene 3, sample 5: NA is not a finite number)", fixed = TRUE)
  expect_error(tivarne(named, labels[-1]), "Wrong number of labels: 37 labels for 38 samples")
  expect_error(tivarne(named, rep(1, 38)), "^Each class needs at least one sample",
               class = "tivarne_error")
  expect_error(tivarne(named, rep("AML", 38), class1 = "AML"), "Each class needs")
  expect_error(tivarne(named, labels, class1 = 3), 'class1 "3" does not occur in the labels')
  expect_error(tivarne(named, labels * 2), "Invalid data in labels")
  expect_error(tivarne(named, ifelse(labels == 1, "AML", "ALL")), "name the label of class 1")
  err <- tryCatch(tivarne(named, rep(0, 38)), error = identity)
  expect_null(conditionCall(err))  # printed as the command line prints it
})

test_that("an interrupt stops the analysis and leaves the session usable", {
  skip_on_os("windows")
  labels <- as.integer(labels)
  # The interrupt is pending when the analysis starts: the library's first
  # progress call sees it and stops.
  outcome <- tryCatch({
    tools::pskill(Sys.getpid(), tools::SIGINT)
    tivarne:::.analyse(expr, labels, 0.01, 20L, 2L, FALSE, FALSE)
    "finished"
  }, interrupt = function(condition) "interrupted")
  expect_identical(outcome, "interrupted")
  expect_identical(nrow(tivarne(expr, labels, threads = 2)), 20L)
})
