#!/bin/sh
# Builds the source package tivarne_VERSION.tar.gz in the current directory,
# self-contained: configure first copies the library's sources, headers and
# the bundled example into r/, cleanup removes what configure built, then
# R CMD build packs r/ (and builds the vignette). Arguments go to R CMD build.
#
#   r/tools/build-package.sh && R CMD check --no-manual tivarne_*.tar.gz
set -e
pkg=$(cd "$(dirname "$0")/.." && pwd)
(cd "$pkg" && ./configure && ./cleanup)
R CMD build "$@" "$pkg"
