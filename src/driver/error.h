#pragma once
#include <stdexcept>

namespace tivarne {

// A fatal condition of the run. The run driver writes what() and a newline to
// standard error and ends with exit status 1, so the routines that detect a
// failure stay testable in-process.
class FatalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Ends the run with `message`; never returns.
[[noreturn]] void error(const char* message);

}  // namespace tivarne
