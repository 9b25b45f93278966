#!/bin/sh
# The R package's testthat suite against a fresh install, from a scratch copy of the parts of the
# repository its configure reads, in a scratch library. Status 77 (skipped) without R, Rcpp or testthat.
set -e
repo=$(cd "$1" && pwd)
command -v R >/dev/null 2>&1 || exit 77
Rscript -e 'ok <- sapply(c("Rcpp", "testthat"), requireNamespace, quietly = TRUE); quit(status = !all(ok))' \
  || exit 77
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -R "$repo/VERSION" "$repo/src" "$repo/include" "$repo/examples" "$repo/r" "$scratch/"
(cd "$scratch/r" && ./cleanup)
mkdir "$scratch/lib"
R CMD INSTALL --no-test-load -l "$scratch/lib" "$scratch/r" > "$scratch/install.log" 2>&1 \
  || { cat "$scratch/install.log"; exit 1; }
cd "$scratch/r/tests"
R_LIBS="$scratch/lib" Rscript testthat.R
