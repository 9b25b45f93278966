#pragma once
#include <optional>

#include "driver/run_settings.h"

namespace tivarne {

// Parses the command line (options -h, -e, -l, -o) into `settings` and checks
// that the three file names are given. Returns the exit status when the run
// ends here (help, or a command-line error reported with the usage line),
// nothing when the run goes on.
std::optional<int> parse_command_line(int argc, char** argv, RunSettings& settings);

}  // namespace tivarne
