#include "input/sizes.h"

namespace tivarne {

std::int32_t ngene = 0;
std::int32_t n = 0;
std::int32_t n1 = 0;
std::int32_t n2 = 0;

}  // namespace tivarne
