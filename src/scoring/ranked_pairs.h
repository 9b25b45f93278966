#pragma once
#include <cstdint>

namespace tivarne {

// A pair as the listings and the result file show it.
struct RankedPair {
    double score;  // c * |r1 - r2|
    double r1;
    double r2;
    std::int32_t geneX;  // 0-based gene indices, geneX < geneY
    std::int32_t geneY;
    std::int64_t position;  // in pair order (gene 0 with 1, 2, ..., then gene 1 with 2, ...)
};

// The pairs in rank order, read by the top-100 listing and the result walk.
class RankedPairs {
public:
    virtual ~RankedPairs() = default;
    virtual std::int64_t size() const = 0;
    // The pairs at ranks k_begin + 1 .. k_end, into out[0 .. k_end - k_begin).
    virtual void fetch(std::int64_t k_begin, std::int64_t k_end, RankedPair* out) = 0;
};

}  // namespace tivarne
