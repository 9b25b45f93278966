#pragma once
// The library's failures, thrown as tivarne::Error with a message of the
// catalogue (core/messages.h). Nothing here prints: the front-ends decide what
// to show.
#include <string>

#include "core/messages.h"
#include "tivarne/tivarne.h"

namespace tivarne {

[[noreturn]] inline void fail(Error::Kind kind, const std::string& message) { throw Error(kind, message); }

// The data or an input file is not usable.
[[noreturn]] inline void input_error(const std::string& message) { fail(Error::Kind::Input, message); }

}  // namespace tivarne
