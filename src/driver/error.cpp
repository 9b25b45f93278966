#include "driver/error.h"

namespace tivarne {

void error(const char* message) { throw FatalError(message); }

}  // namespace tivarne
