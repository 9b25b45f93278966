#include "tivarne/tivarne.h"

// Every build of the library (CMake, the Python and the R package) defines
// TIVARNE_VERSION from the file VERSION at the top of the repository.
#ifndef TIVARNE_VERSION
#error "TIVARNE_VERSION is not defined: the build passes the contents of the file VERSION"
#endif

namespace tivarne {

std::string version() { return TIVARNE_VERSION; }

}  // namespace tivarne
