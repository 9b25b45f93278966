#pragma once
#include <cstdint>

#include "scoring/kernel/pair_kernel.h"

namespace tivarne {

// The bounds on the ECOR statistic T that settle p <= level for the kernels'
// classify(): with t* the smallest T whose p-value is at or below the level,
// t_pass lies a little above t* and t_fail a little below, so that a T beyond
// either is decided however the p-value rounds near t*. Pairs in between are
// given their exact p-value.
EcorLevel ecor_level(double level, std::int32_t class1, std::int32_t class2);

}  // namespace tivarne
