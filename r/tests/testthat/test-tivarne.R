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
  counts <- attr(pairs, "tivarne")
  expect_identical(counts[c("class1", "class2", "n1", "n2", "left_out", "genes", "samples")],
                   list(class1 = 1, class2 = 0, n1 = 11L, n2 = 27L, left_out = 0L,
                        genes = 3051L, samples = 38L))
  expect_identical(counts$pairs, 3051 * 3050 / 2)
  expect_gt(counts$without_p_value, 0)  # pairs with r = 1 in one class
})

test_that("every kind of expr and labels gives the same rows", {
  ref <- tivarne(named, labels, threads = 2)
  expect_identical(tivarne(as.data.frame(named), labels, threads = 2), ref)
  same_rows <- function(pairs) expect_identical(pairs, ref, ignore_attr = "tivarne")
  same_rows(tivarne(named, labels == 1, threads = 1))
  aml <- factor(ifelse(labels == 1, "AML", "ALL"))
  same_rows(tivarne(named, aml, class1 = "AML"))
  same_rows(tivarne(named, as.character(aml), class2 = "ALL"))
  same_rows(tivarne(named, labels + 1, class1 = 2))
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

  by_name <- tivarne(named, aml, class1 = "AML")
  skip_if_not_installed("SummarizedExperiment")
  se <- SummarizedExperiment::SummarizedExperiment(
    assays = list(other = named * 0, expr = named),
    colData = data.frame(type = aml, batch = 1))
  expect_identical(tivarne(se, "type", class1 = "AML", assay = "expr"), by_name)
  expect_identical(tivarne(se, aml, class1 = "AML", assay = 2), by_name)
  expect_error(tivarne(se, "typ", class1 = "AML", assay = 2),
               'labels: colData(expr) has no column "typ"; its columns: type, batch.',
               fixed = TRUE, class = "tivarne_error")

  skip_if_not_installed("Biobase")
  eset <- Biobase::ExpressionSet(named, phenoData = Biobase::AnnotatedDataFrame(
    data.frame(type = aml, batch = 1, row.names = colnames(named))))
  expect_identical(tivarne(eset, "type", class1 = "AML"), by_name)
  expect_error(tivarne(eset, "Type", class1 = "AML"),
               'pData(expr) has no column "Type"; its columns: type, batch.', fixed = TRUE)
})

# A smaller study for the runs that return every pair.
small <- named[1:60, ]

test_that("q-values are BH over all p-values, and max_pairs = Inf returns every pair", {
  every <- tivarne(small, labels, level = 1, max_pairs = Inf, threads = 2)
  counts <- attr(every, "tivarne")
  expect_identical(nrow(every) + counts$without_p_value, counts$pairs)
  expect_identical(counts$max_pairs, Inf)
  bh <- tivarne(small, labels, level = 1, max_pairs = Inf, adjust = "BH", threads = 2)
  expect_identical(attr(bh, "tivarne")$tested, as.double(nrow(every)))
  expect_identical(bh[names(every)], every, ignore_attr = "tivarne")
  expect_equal(bh$q_value, p.adjust(every$p_value, method = "BH"), tolerance = 1e-12)

  # At a level: the pairs whose q-value (p-value) passes, whatever max_pairs
  # beyond their number.
  key <- function(pairs) paste(pairs$index_x, pairs$index_y)
  passing <- key(bh)[bh$q_value <= 0.2]
  for (limit in c(Inf, 1e12, length(passing))) {
    at <- tivarne(small, labels, level = 0.2, max_pairs = limit, adjust = "BH")
    expect_identical(key(at), passing)
  }
  plain <- tivarne(small, labels, level = 0.05, max_pairs = 1e12, threads = 2)
  expect_identical(key(plain), key(every)[every$p_value <= 0.05])
  by_p <- tivarne(small, labels, level = 0.2, max_pairs = Inf, adjust = "BH", order = "p_value")
  expect_false(is.unsorted(by_p$p_value))
  expect_setequal(key(by_p), passing)
})

test_that("the table of all pairs only when the selection needs it", {
  set.seed(3)
  x <- matrix(rnorm(3000 * 20), 3000, 20)
  x[3000, ] <- x[1, ]  # equal scores, away from the selection
  none <- tivarne(x, rep(1:0, each = 10), level = 1e-300, max_pairs = 20, threads = 2)
  expect_false(attr(none, "tivarne")$used_pair_table)
  expect_false(attr(tivarne(x[1:100, ], rep(1:0, each = 10), adjust = "BH"), "tivarne")$used_pair_table)
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
  expect_error(tivarne(named, rep("AML", 38), class1 = "AML"), 'Class 2 (no label) has 0',
               fixed = TRUE)
  expect_error(tivarne(named, labels, class1 = 3),
               'class1 "3" does not occur in the labels; the labels: 0 (27), 1 (11).', fixed = TRUE)
  expect_error(tivarne(named, ifelse(labels == 1, "AML", "ALL")), "name the classes with class1")
  err <- tryCatch(tivarne(named, rep(0, 38)), error = identity)
  expect_null(conditionCall(err))  # printed as the command line prints it
})

test_that("labels and samples with names are matched by name, or refused", {
  by_name <- setNames(labels, colnames(small))
  shuffled <- rev(by_name)
  expect_identical(tivarne(as.data.frame(small), shuffled, threads = 2),
                   tivarne(small, labels, threads = 2))
  expect_error(tivarne(small, shuffled[-3]), 'labels: no value for the sample "V36" of expr.',
               fixed = TRUE, class = "tivarne_error")
  expect_error(tivarne(small, setNames(shuffled, sub("V34", "X34", names(shuffled)))),
               'labels: "X34" not among the samples of expr', fixed = TRUE)
  expect_error(tivarne(unname(small), shuffled), "the samples (columns of expr) have none",
               fixed = TRUE)

  # The same study after a filter, given as the filtered study.
  keep <- labels == 1 | seq_len(38) %% 3 != 0
  part <- tivarne(small[, keep], labels[keep], threads = 2)
  as_part <- function(pairs) {
    expect_identical(pairs, part, ignore_attr = "tivarne")
    expect_identical(attr(pairs, "tivarne")$left_out, 9L)
  }
  as_part(tivarne(small, shuffled, samples = rev(setNames(keep, colnames(small)))))
  as_part(tivarne(small, labels, samples = keep))
  as_part(tivarne(small, labels, samples = colnames(small)[keep]))
  bad <- small
  bad[2, 3] <- NaN  # left out
  bad[3, 5] <- Inf
  expect_error(tivarne(bad, labels, samples = keep), '(gene 3 "g0003", sample 5 "V5": Inf', fixed = TRUE)
  expect_error(tivarne(small, labels, samples = "V0"), 'samples: "V0" not among the samples')
})

test_that("classes are named by values, merged values or patterns; the rest is left out", {
  # ALL split into three subtypes, AML kept whole.
  subtype <- ifelse(labels == 1, "M", c("B1", "B2", "T1")[seq_len(38) %% 3 + 1])
  expect_error(tivarne(small, subtype, class1 = "M"),
               "More than two classes (the labels: B1 (9), B2 (9), M (11), T1 (9)); name class 2",
               fixed = TRUE, class = "tivarne_error")
  ref <- tivarne(small, labels, threads = 2)
  for (all in list(c("B1", "B2", "T1"), c("B*", "T1"), "[BT][12]", "?[0-9]")) {
    merged <- tivarne(small, subtype, class1 = "M", class2 = all, threads = 2)
    expect_identical(merged, ref, ignore_attr = "tivarne")
    expect_setequal(attr(merged, "tivarne")$class2, c("B1", "B2", "T1"))
  }
  left <- tivarne(small, subtype, class1 = "M", class2 = "B*", threads = 2)
  b_cell <- subtype != "T1"
  expect_identical(left, tivarne(small[, b_cell], labels[b_cell]), ignore_attr = "tivarne")
  expect_identical(attr(left, "tivarne")[c("class1", "class2", "n1", "n2", "left_out")],
                   list(class1 = "M", class2 = c("B1", "B2"), n1 = 11L, n2 = 18L, left_out = 9L))
  unlabelled <- replace(subtype, !b_cell, NA)
  expect_identical(tivarne(small, unlabelled, class1 = "M", class2 = c("B1", "B2")), left)
  # A label that is a value wins over the pattern it also is.
  starred <- replace(subtype, subtype == "T1", "B*")
  t_cell <- suppressWarnings(tivarne(small, subtype, class1 = "M", class2 = "T1"))
  expect_identical(suppressWarnings(tivarne(small, starred, class1 = "M", class2 = "B*")),
                   t_cell, ignore_attr = "tivarne")
  expect_error(tivarne(small, subtype, class1 = "B*", class2 = "B2"),
               'The label "B2" is in both class1 and class2.', fixed = TRUE)
  expect_error(tivarne(small, subtype, class1 = "M", class2 = "X*"), 'class2 "X\\*" matches no label')
})

test_that("a class of fewer than 3 samples is refused, fewer than 10 warned about", {
  three <- c(rep(1, 3), rep(0, 35))
  expect_error(tivarne(small, three, samples = seq_len(38) != 2),
               "Class 1 (1) has 2 samples: at least 3 are needed", fixed = TRUE,
               class = "tivarne_error")
  expect_error(tivarne(small, ifelse(three == 1, "T4", "T2"), class1 = "T4", samples = 1:38 > 2),
               'Class 1 ("T4") has 1 sample: at least 3', fixed = TRUE)
  expect_warning(tivarne(small, three, threads = 2),
                 "Class 1 (1) has 3 samples: the p-values rest on large-sample theory", fixed = TRUE,
                 class = "tivarne_warning")
  expect_no_warning(tivarne(small, c(rep(1, 10), rep(0, 28)), threads = 2))
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
