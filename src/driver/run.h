#pragma once
#include <istream>

#include "driver/run_settings.h"

namespace tivarne {

// One whole run after the command line: existence tests, the two prompts
// (answered from `answers`), size scan, loading, per-gene statistics, pair
// scoring, ranking and the result file. Returns the exit status; every fatal
// condition is reported as one line on standard error with status 1.
int run(RunSettings& settings, std::istream& answers);

}  // namespace tivarne
