#pragma once
#include <cstdint>
#include <vector>

namespace tivarne {

// Sorts key[0..N) ascending, carrying tag, with exactly the final arrangement
// that sort2 gives, but only where asked: ensure(K) makes positions [0, K)
// final, ensure(A, B) positions [A, B), and the rest stays as pending
// sub-ranges. This holds because
// sort2 treats every sub-range it creates independently of the rest: the
// arrangement it leaves in a sub-range depends only on that sub-range's
// content. Large sub-ranges are partitioned by both cores at once (the same
// exchanges the sequential scan makes, found in parallel); sub-ranges that
// are wholly needed are sorted in parallel. Keys must not be NaN.
class LazyRanking {
public:
    struct Tuning {
        std::int64_t parallel_partition = 1 << 22;  // partition in parallel from this size
        std::int64_t task = 1 << 16;                // sort wholly-needed ranges up to this size as one task
        std::int64_t chunk = 1 << 12;               // elements per counting chunk
    };

    LazyRanking(double* key, std::int32_t* tag, std::int64_t N, int threads);
    LazyRanking(double* key, std::int32_t* tag, std::int64_t N, int threads, const Tuning& tuning);

    void ensure(std::int64_t k_end);
    // Makes positions [k_begin, k_end) final, leaving the ranges around them
    // as unsorted as it can (a quickselect down to them).
    void ensure(std::int64_t k_begin, std::int64_t k_end);
    std::int64_t size() const { return n_; }

private:
    struct Range {
        std::int64_t l, ir;
    };
    void partition(Range r, Range& left, Range& right);
    void partition_parallel(std::int64_t l, std::int64_t ir, double a, std::int64_t& i_end,
                            std::int64_t& j_end);

    double* key_;
    std::int32_t* tag_;
    std::int64_t n_;
    int threads_;
    Tuning tuning_;
    std::vector<Range> pending_;  // disjoint sub-ranges not yet final
};

}  // namespace tivarne
