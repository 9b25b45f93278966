#pragma once
// The console lines of a run on standard output.
#include <vector>

#include "tivarne/io.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// "Labels and expressions:", then per sample its label and the values of the
// first ten genes, then an empty line.
void echo_data(const Dataset& data);

// The scoring listing: its two header lines, and one line per pair with
// 1-based gene numbers.
void print_pair_listing_header();
void print_pair_listing(const std::vector<PairScore>& pairs);

// The ranking listing: an empty line, two header lines, and one line per pair
// with rank and 0-based gene indices.
void print_ranking_listing(const std::vector<PairScore>& pairs);

}  // namespace tivarne
