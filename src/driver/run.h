#pragma once
#include <istream>

#include "driver/run_settings.h"

namespace tivarne {

// How the pairs are scored and ranked. Both give the same console and file,
// byte for byte: the straightforward engine evaluates every pair with the
// per-pair routines into a full pair table; the fast one scores with SIMD
// kernels on all cores into 12 bytes per pair and ranks lazily.
enum class Engine { Straightforward, Fast };

#ifdef TIVARNE_STRAIGHTFORWARD
constexpr Engine kDefaultEngine = Engine::Straightforward;
#else
constexpr Engine kDefaultEngine = Engine::Fast;
#endif

// One whole run after the command line: existence tests, the two prompts
// (answered from `answers`), size scan, loading, per-gene statistics, pair
// scoring, ranking and the result file. Returns the exit status; every fatal
// condition is reported as one line on standard error with status 1.
int run(RunSettings& settings, std::istream& answers, Engine engine = kDefaultEngine);

}  // namespace tivarne
