#pragma once
#include <cstdint>

namespace tivarne {

// Process-wide sizes, zero at start and set once by the size scan: the number
// of genes, of samples, of samples labelled 1 (class 1) and labelled 0 (class 2).
extern std::int32_t ngene;
extern std::int32_t n;
extern std::int32_t n1;
extern std::int32_t n2;

// The pair count ngene*(ngene-1)/2 must fit a signed 32-bit integer.
constexpr std::int32_t kMaxGenes = 46341;

}  // namespace tivarne
