#pragma once
#include <cstddef>

namespace tivarne {

// Genes are padded to a multiple of this in the per-gene terms, so that the
// kernels' tiles (4, 8 and 16 partners wide) never read past them; partner
// panels start at multiples of it.
constexpr std::size_t kGenePadding = 48;

}  // namespace tivarne
