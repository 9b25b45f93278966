# The calibrated p-value and label permutations: the same numbers as the
# Python package (golub_calibrated_permuted.tsv, written by tivarne.analyse()
# at full precision), shards merged in any order, and the refusals.
dir <- system.file("extdata", package = "tivarne")
expr <- as.matrix(read.table(file.path(dir, "expr.txt")))
labels <- scan(file.path(dir, "labels.txt"), quiet = TRUE)
part <- expr[1:250, ]

test_that("calibrated and permuted values are the Python package's to the last bit", {
  want <- read.delim(test_path("golub_calibrated_permuted.tsv"), comment.char = "#")
  got <- tivarne(part, labels, level = 0.05, max_pairs = 30, order = "p_value", p_value = "calibrated",
                 permutations = 4, seed = 11, threads = 2)
  expect_identical(got[c("index_x", "index_y", "p_value", "p_perm", "fdr")], want)
  info <- attr(got, "tivarne")
  expect_identical(info[c("p_value", "permutations", "seed")], list(p_value = "calibrated", permutations = 4L, seed = 11))
  plain <- tivarne(part, labels, level = 0.05, max_pairs = 30, order = "p_value", threads = 2)
  expect_false("p_perm" %in% names(plain))
  both <- merge(plain, got, by = c("index_x", "index_y"))
  expect_true(nrow(both) > 10 && all(both$p_value.x <= both$p_value.y))  # ECOR's are smaller
})

test_that("shards written to files merge in any order to the whole run", {
  args <- list(part[1:120, ], labels, level = 0.05, max_pairs = 20, p_value = "calibrated", permutations = 5,
               seed = 2, threads = 2)
  whole <- do.call(tivarne, args)
  files <- file.path(tempdir(), c("a.txt", "b.txt"))
  shard_a <- do.call(tivarne, c(args, list(shard = c(2, 5), null_summary = files[1])))
  expect_true(all(is.na(shard_a$fdr)))
  do.call(tivarne, c(args, list(shard = c(0, 2), null_summary = files[2])))
  merged <- do.call(tivarne, c(args, list(null_summaries = files)))
  expect_identical(merged, whole)
  expect_error(do.call(tivarne, c(args, list(null_summaries = files[1]))),
               "The null summaries miss permutations 0 to 1", fixed = TRUE, class = "tivarne_error")
})

test_that("unusable significance arguments are refused", {
  expect_error(tivarne(part, labels, permutations = 0), "permutations must be a whole number of at least 1",
               class = "tivarne_error")
  expect_error(tivarne(part, labels, permutations = 3, seed = "one"), "seed must be a whole number",
               class = "tivarne_error")
  expect_error(tivarne(part, labels, seed = 3), "go with permutations = N", class = "tivarne_error")
  expect_error(tivarne(part, labels, p_value = "fisher"), "should be one of")
  four <- c(rep(1, 3), rep(0, 35))
  expect_error(suppressWarnings(tivarne(part, four, p_value = "calibrated")),
               "Class 1 has 3 samples; the calibrated p-value needs at least 4 in each class",
               fixed = TRUE, class = "tivarne_error")
})
