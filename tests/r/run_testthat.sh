#!/bin/sh
# The R package's testthat suite against a fresh install, from a scratch copy of the parts of the
# repository its configure reads, in a scratch library. Status 77 (skipped) without R, Rcpp or
# testthat, after saying which packages are missing and how to install them.
set -e
repo=$(cd "$1" && pwd)
skip() {
  echo "r.testthat skipped: $1" >&2
  echo "r.testthat skipped: install on Debian: apt-get install r-base-dev r-cran-rcpp r-cran-testthat" \
    "(and, for the tests of Bioconductor input, r-bioc-summarizedexperiment r-bioc-biobase)" >&2
  exit 77
}
command -v R >/dev/null 2>&1 || skip "R is not installed"
missing=$(Rscript -e 'ok <- vapply(c("Rcpp", "testthat"), requireNamespace, TRUE, quietly = TRUE)
                      cat(names(ok)[!ok])') || skip "Rscript does not run"
[ -z "$missing" ] || skip "the R packages $missing are not installed"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -R "$repo/VERSION" "$repo/src" "$repo/include" "$repo/examples" "$repo/r" "$scratch/"
(cd "$scratch/r" && ./cleanup)
mkdir "$scratch/lib"
MAKEFLAGS="${MAKEFLAGS:--j2}" R CMD INSTALL --no-test-load -l "$scratch/lib" "$scratch/r" > "$scratch/install.log" 2>&1 \
  || { cat "$scratch/install.log"; exit 1; }
cd "$scratch/r/tests"
R_LIBS="$scratch/lib" Rscript testthat.R
