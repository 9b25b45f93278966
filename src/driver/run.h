#pragma once
#include <istream>

#include "driver/run_settings.h"
#include "tivarne/tivarne.h"

namespace tivarne {

#ifdef TIVARNE_STRAIGHTFORWARD
constexpr Engine kDefaultEngine = Engine::Straightforward;
#else
constexpr Engine kDefaultEngine = Engine::Fast;
#endif

// One whole run after the command line: existence tests, the two prompts
// (answered from `answers`), size scan, loading, the analysis with its
// listings, and the result file. Returns the exit status; every fatal
// condition is reported as one line on standard error with status 1.
int run(RunSettings& settings, std::istream& answers, Engine engine = kDefaultEngine);

}  // namespace tivarne
