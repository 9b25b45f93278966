#pragma once
// Focused analyses: a set of genes against all others, the pairs within a
// set, or a given list of pairs. Only those pairs are scored (each through
// PairSpace::values, the same bits as the kernels), tested and selected, so
// the cost scales with their number.
#include <cstdint>
#include <vector>

#include "core/progress.h"
#include "scoring/pair_space.h"
#include "selection/selection.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// Whether the options ask for a focused analysis; throws the Input error of
// the first bad entry (a gene out of range or listed twice, a pair of a gene
// with itself or listed twice, both a set and a list, a set without pairs).
bool focused(const Options& options, std::int32_t genes);

// The focused selection, with the gene summary and the histograms over the
// focused pairs when the options ask for them (into `result`).
Selection select_focused(const PairSpace& space, const Criteria& criteria, const Options& options,
                         const Context& context, Result& result);

}  // namespace tivarne
