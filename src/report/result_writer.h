#pragma once
#include <cstdint>
#include <vector>

#include "driver/run_settings.h"
#include "scoring/pair_table.h"
#include "scoring/ranked_pairs.h"

namespace tivarne {

// Writes the result file: the banner and the settings, then walks the ranking
// from the best pair down, computing each pair's ECOR p-value, and appends
// every pair with p <= level until max_pairs rows are written (or writes the
// no-pairs line). The file is reopened for each row, so it is complete up to
// the last row written whenever the run stops.
void write_results(const RunSettings& settings, RankedPairs& ranking);

// The same for a sorted pair table.
void write_results(const RunSettings& settings, const PairTable& table,
                   const std::vector<std::int32_t>& rankOrder);

}  // namespace tivarne
