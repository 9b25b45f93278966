# The gene table against a loop over every pair, focused runs against the full
# run, the correlation classes against cor.test, histograms, refusals.
set.seed(7)
x <- matrix(rnorm(40 * 30), 40, 30, dimnames = list(sprintf("g%02d", 0:39), sprintf("s%d", 1:30)))
cls <- rep(c(1, 0), c(14, 16))
x[6, ] <- ifelse(cls == 1, x[5, ], -x[5, ]) + 0.3 * rnorm(30)
every <- tivarne(x, cls, level = 1, max_pairs = Inf, threads = 2)

test_that("the gene table counts every pair as the criterion decides", {
  for (adjust in c("none", "BH")) {
    level <- if (adjust == "BH") 0.2 else 0.05
    pass <- every[(if (adjust == "BH") p.adjust(every$p_value, "BH") else every$p_value) <= level, ]
    genes <- tivarne_genes(x, cls, level = level, adjust = adjust, threads = 1)
    expect_identical(names(genes), c("gene", "degree", "expected", "stronger_in_class1", "stronger_in_class2",
                                     "sign_changes", "p_value", "q_value"))
    expect_equal(attr(genes, "tivarne")$pairs_passing, nrow(pass))
    rate <- nrow(pass) / nrow(every)
    for (k in seq_len(nrow(genes))) {
      mine <- pass[pass$gene_x == genes$gene[k] | pass$gene_y == genes$gene[k], ]
      expect_equal(genes$degree[k], nrow(mine))
      expect_equal(genes$stronger_in_class1[k], sum(abs(mine$r1) > abs(mine$r2)))
      expect_equal(genes$sign_changes[k], sum(mine$r1 * mine$r2 < 0))
      expect_equal(genes$p_value[k], pbinom(nrow(mine) - 1, 39, rate, lower.tail = FALSE), tolerance = 1e-9)
    }
    expect_equal(genes$q_value, p.adjust(genes$p_value, "BH"), tolerance = 1e-12)
    expect_false(is.unsorted(genes$p_value))
  }
})

test_that("focused runs give the full run's pairs, BH over them alone", {
  key <- function(p) paste(p$gene_x, p$gene_y)
  one <- tivarne(x, cls, level = 1, max_pairs = Inf, genes = "g05")
  expect_identical(nrow(one), 39L)
  listed <- tivarne(x, cls, level = 1, max_pairs = Inf, adjust = "BH",
                    pairs = data.frame(a = c("g09", "g01"), b = c("g04", "g02")))
  within <- tivarne(x, cls, level = 1, max_pairs = Inf, genes = c(5, 6, 10), within = TRUE)
  expect_identical(sort(key(within)), c("g04 g05", "g04 g09", "g05 g09"))
  for (f in list(one, listed, within)) {
    full <- every[match(key(f), key(every)), ]
    for (column in c("score", "r1", "r2", "c", "p_value", "dc_class"))
      expect_identical(f[[column]], full[[column]])
  }
  expect_equal(listed$q_value, p.adjust(listed$p_value, "BH"))
})

test_that("bad focus arguments name the offender", {
  expect_error(tivarne(x, cls, genes = character()), "genes is empty", class = "tivarne_error")
  expect_error(tivarne(x, cls, genes = c("g01", "nope")), 'gene "nope" is not among the rownames', fixed = TRUE)
  expect_error(tivarne(x, cls, genes = c("g03", "g03")), "gene g03 is listed twice")
  expect_error(tivarne(x, cls, pairs = cbind(c("g01", "g02"), c("g02", "g01"))),
               "the pair (g02, g01) is listed twice (rows 1 and 2)", fixed = TRUE)
  expect_error(tivarne(x, cls, pairs = cbind(3, 3)), "pairs, row 1: the pair (3, 3) pairs a gene with itself",
               fixed = TRUE)
  expect_error(tivarne(x, cls, genes = 41), "gene 41 is not a row of expr (rows 1 to 40)", fixed = TRUE)
})

test_that("correlation classes follow cor.test's t, histograms hold every pair", {
  p <- tivarne(x, cls, level = 1, max_pairs = 300, class_level = 0.1, histograms = TRUE)
  sign <- function(r, n) {
    t <- r * sqrt((n - 2) / (1 - r^2))
    ifelse(2 * pt(-abs(t), n - 2) <= 0.1, ifelse(r > 0, "+", "-"), "0")
  }
  expect_identical(p$dc_class, paste0(sign(p$r1, 14), "/", sign(p$r2, 16)))
  h <- attr(p, "tivarne")$histograms
  expect_equal(sum(h$scores) + h$nan_scores, 780)
  expect_equal(sum(h$log10_p) + h$p_below, attr(p, "tivarne")$pairs_with_p_value)
})
