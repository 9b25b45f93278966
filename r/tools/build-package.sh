#!/bin/sh
# Builds the source package tivarne_VERSION.tar.gz in the current directory,
# self-contained: r/ is copied to a scratch directory with the library's
# sources and headers (src/lib, src/include, as src/sources.txt lists them)
# and the bundled example (inst/extdata), and R CMD build packs that copy (and
# builds the vignette). The repository is left as it was. Arguments go to
# R CMD build.
#
#   r/tools/build-package.sh && R CMD check --no-manual tivarne_*.tar.gz
set -e
pkg=$(cd "$(dirname "$0")/.." && pwd)
repo=$(dirname "$pkg")
version=$(cat "$repo/VERSION")
described=$(sed -n 's/^Version:[[:space:]]*//p' "$pkg/DESCRIPTION")
if [ "$described" != "$version" ]; then
  echo "build-package.sh: r/DESCRIPTION says Version: $described, but VERSION says $version;" >&2
  echo "build-package.sh: write Version: $version in r/DESCRIPTION" >&2
  exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -R "$pkg" "$stage/tivarne"
(cd "$stage/tivarne" && ./cleanup && rm -rf src/lib src/include inst/doc vignettes/*.html vignettes/*.R)
# The library: every folder of src/ but the command line's, and the list.
mkdir -p "$stage/tivarne/src/lib" "$stage/tivarne/src/include" "$stage/tivarne/inst/extdata"
for dir in "$repo"/src/*/; do
  name=$(basename "$dir")
  [ "$name" = driver ] || cp -R "$dir" "$stage/tivarne/src/lib/$name"
done
cp "$repo/src/sources.txt" "$stage/tivarne/src/lib/"
cp -R "$repo/include/tivarne" "$stage/tivarne/src/include/tivarne"
cp "$repo/examples/golub/expr.txt" "$repo/examples/golub/labels.txt" "$stage/tivarne/inst/extdata/"
R CMD build "$@" "$stage/tivarne"
