#pragma once
// Where each gene pair stands in pair order: gene 0 with 1, 2, ..., then gene
// 1 with 2, ... The kernels include this file too: row_first is always
// inlined, so no copy of it compiled for a wider instruction set can stand in
// for the baseline one at link time.
#include <cstdint>

namespace tivarne {

class PairIndex {
public:
    explicit PairIndex(std::int32_t genes = 0) : genes_(genes) {}

    std::int32_t genes() const { return genes_; }
    // genes * (genes - 1) / 2, in 64-bit arithmetic (0 for fewer than two genes).
    std::int64_t pairs() const { return genes_ < 2 ? 0 : std::int64_t{genes_} * (genes_ - 1) / 2; }

    // Pair (i, k), i < k, stands at row_first(genes, i) + k.
    [[gnu::always_inline]] static std::int64_t row_first(std::int64_t genes, std::int64_t i) {
        return i * genes - i * (i + 1) / 2 - i - 1;
    }
    std::int64_t row_first(std::int64_t i) const { return row_first(genes_, i); }
    std::int64_t position(std::int64_t i, std::int64_t k) const { return row_first(i) + k; }

    // The pair (i, k) at position p.
    void pair_at(std::int64_t p, std::int32_t& i, std::int32_t& k) const;

private:
    std::int32_t genes_;
};

}  // namespace tivarne
