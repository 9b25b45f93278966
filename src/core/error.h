#pragma once
// The library's failures, thrown as tivarne::Error with the command line's
// message. Nothing here prints: the front-ends decide what to show.
#include <string>

#include "tivarne/tivarne.h"

namespace tivarne {

[[noreturn]] inline void fail(Error::Kind kind, const std::string& message) { throw Error(kind, message); }

// The data or an input file is not usable.
[[noreturn]] inline void input_error(const char* message) { fail(Error::Kind::Input, message); }

// A memory allocation failed.
constexpr const char* kAllocationMessage = "Error: Aborted due to allocation error.";

}  // namespace tivarne
