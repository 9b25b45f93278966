#include "scoring/lazy_rank.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "scoring/sort2.h"

namespace tivarne {

LazyRanking::LazyRanking(double* key, std::int32_t* tag, std::int64_t N, int threads)
    : LazyRanking(key, tag, N, threads, Tuning{}) {}

LazyRanking::LazyRanking(double* key, std::int32_t* tag, std::int64_t N, int threads,
                         const Tuning& tuning)
    : key_(key), tag_(tag), n_(N), threads_(threads), tuning_(tuning) {
    if (N > 0) pending_.push_back({0, N - 1});
}

void LazyRanking::ensure(std::int64_t k_end) { ensure(0, k_end); }

void LazyRanking::ensure(std::int64_t k_begin, std::int64_t k_end) {
    std::vector<Range> tasks, work, untouched;
    work.swap(pending_);
    while (!work.empty()) {
        const Range r = work.back();
        work.pop_back();
        if (r.ir < k_begin || r.l >= k_end) {
            untouched.push_back(r);
            continue;
        }
        const std::int64_t size = r.ir - r.l + 1;
        if (size <= tuning_.task || r.ir - r.l < kSort2Insertion) {
            tasks.push_back(r);
            continue;
        }
        Range left, right;
        partition(r, left, right);
        if (right.l <= right.ir) work.push_back(right);
        if (left.l <= left.ir) work.push_back(left);
    }
    pending_.swap(untouched);
    const auto count = static_cast<std::int64_t>(tasks.size());
#pragma omp parallel for schedule(dynamic, 1) if (count > 1) num_threads(threads_)
    for (std::int64_t t = 0; t < count; ++t) {
        const Range r = tasks[t];
        sort2(key_ + r.l, tag_ + r.l, static_cast<std::int32_t>(r.ir - r.l + 1));
    }
}

// One partition step of sort2 on [l, ir] (at least 8 elements): the median of
// three is placed at l + 1 and becomes the pivot, the scans exchange the
// elements on the wrong side, and the pivot goes to its final place j. The
// parts [l, j - 1] and [i, ir] are left for later.
void LazyRanking::partition(Range r, Range& left, Range& right) {
    double* key = key_;
    std::int32_t* tag = tag_;
    const std::int64_t l = r.l, ir = r.ir;
    sort2_median_of_three(key, tag, l, ir);
    const double a = key[l + 1];
    const std::int32_t b = tag[l + 1];
    std::int64_t i = l + 1, j = ir;
    if (ir - l + 1 >= tuning_.parallel_partition)
        partition_parallel(l, ir, a, i, j);
    else
        sort2_scan(key, tag, a, i, j);
    sort2_place_pivot(key, tag, l, j, a, b);
    left = {l, j - 1};
    right = {i, ir};
}

// The scans of sort2's partition, found in parallel. In terms of the array
// before the step, let L_t be the t-th position from the left (from l + 2 on)
// holding a key >= a and R_t the t-th from the right (from ir - 1 down) holding
// a key <= a; the keys at ir and l + 1 stop the scans, so both lists end
// there. While L_t < R_t the t-th exchange swaps exactly L_t and R_t: the
// scans meet no exchanged position before they cross. With T the number of
// such exchanges, the crossing step's scans stop at the first original
// candidate or at the nearest exchanged position, whichever comes first:
// i = min(L_{T+1}, R_T) and j = max(R_{T+1}, L_T). When L_{T+1} = R_{T+1}
// (a key equal to a met by both scans) that step exchanges the position with
// itself and the next one crosses: i = min(L_{T+2}, R_T), j = max(R_{T+2}, L_T).
// The exchanges themselves touch disjoint positions, so the cores share them.
void LazyRanking::partition_parallel(std::int64_t l, std::int64_t ir, double a,
                                     std::int64_t& i_end, std::int64_t& j_end) {
    double* key = key_;
    std::int32_t* tag = tag_;
    const std::int64_t first = l + 1;  // chunks cover [l + 1, ir]
    const std::int64_t chunk = tuning_.chunk;
    const std::int64_t chunks = (ir - first + 1 + chunk - 1) / chunk;
    std::vector<std::int64_t> cum_left(chunks + 1, 0), cum_right(chunks + 1, 0);

    // Candidates per chunk: left ones in [l + 2, ir], right ones in [l + 1, ir - 1].
#pragma omp parallel for schedule(static) num_threads(threads_)
    for (std::int64_t c = 0; c < chunks; ++c) {
        const std::int64_t lo = first + c * chunk;
        const std::int64_t hi = std::min(lo + chunk, ir + 1);
        std::int64_t nl = 0, nr = 0;
        for (std::int64_t p = lo; p < hi; ++p) {
            nl += key[p] >= a;
            nr += key[p] <= a;
        }
        if (lo == first) nl -= key[first] >= a;  // l + 1 is not a left candidate
        if (hi == ir + 1) nr -= key[ir] <= a;    // ir is not a right candidate
        cum_left[c + 1] = nl;
        cum_right[c + 1] = nr;
    }
    for (std::int64_t c = 0; c < chunks; ++c) {
        cum_left[c + 1] += cum_left[c];
        cum_right[c + 1] += cum_right[c];
    }
    const std::int64_t total_left = cum_left[chunks], total_right = cum_right[chunks];

    // L_t (1-based), from the counts of the untouched array.
    auto left_at = [&](std::int64_t t) {
        const std::int64_t c =
            std::upper_bound(cum_left.begin(), cum_left.end(), t - 1) - cum_left.begin() - 1;
        std::int64_t seen = cum_left[c];
        std::int64_t p = std::max(first + c * chunk, l + 2);
        for (;; ++p)
            if (key[p] >= a && ++seen == t) return p;
    };
    // R_t counted from the right end.
    auto right_at = [&](std::int64_t t) {
        // Right candidates after chunk c: total_right - cum_right[c + 1].
        std::int64_t lo = 0, hi = chunks - 1;  // find the last chunk c with total_right - cum_right[c] >= t
        while (lo < hi) {
            const std::int64_t mid = (lo + hi + 1) / 2;
            if (total_right - cum_right[mid] >= t)
                lo = mid;
            else
                hi = mid - 1;
        }
        const std::int64_t c = lo;
        std::int64_t seen = total_right - cum_right[c + 1];
        std::int64_t p = std::min(first + (c + 1) * chunk - 1, ir - 1);
        for (;; --p)
            if (key[p] <= a && ++seen == t) return p;
    };

    // T: the last t with L_t < R_t (the test holds for a prefix of t).
    std::int64_t lo = 0, hi = std::min(total_left, total_right);
    while (lo < hi) {
        const std::int64_t mid = (lo + hi + 1) / 2;
        if (left_at(mid) < right_at(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    const std::int64_t T = lo;
    const std::int64_t none_left = std::numeric_limits<std::int64_t>::min();
    const std::int64_t none_right = std::numeric_limits<std::int64_t>::max();
    const std::int64_t left_t = T > 0 ? left_at(T) : none_left;
    const std::int64_t right_t = T > 0 ? right_at(T) : none_right;
    const std::int64_t left_next = left_at(T + 1), right_next = right_at(T + 1);
    if (left_next == right_next) {
        i_end = std::min(left_at(T + 2), right_t);
        j_end = std::max(right_at(T + 2), left_t);
    } else {
        i_end = std::min(left_next, right_t);
        j_end = std::max(right_next, left_t);
    }

    // The T exchanges, in slices of t. Each slice's candidates lie in a left
    // window [L_t0, L_t1-1] and a right window [R_t1-1, R_t0] that no other
    // slice touches; all windows are located before any exchange is made.
    // Within a slice, blocks of positions are scanned without branches into
    // lists of candidates, which are then paired off in order.
    const std::int64_t slices = std::min<std::int64_t>(T, 64);
    std::vector<std::int64_t> left_first(slices), left_last(slices), right_first(slices),
        right_last(slices);
    for (std::int64_t s = 0; s < slices; ++s) {
        const std::int64_t t0 = 1 + s * T / slices, t1 = 1 + (s + 1) * T / slices;
        left_first[s] = left_at(t0);
        left_last[s] = left_at(t1 - 1);
        right_first[s] = right_at(t0);
        right_last[s] = right_at(t1 - 1);
    }
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads_)
    for (std::int64_t s = 0; s < slices; ++s) {
        constexpr std::int64_t kBlock = 512;
        std::int64_t left[kBlock], right[kBlock];
        std::int64_t left_n = 0, left_head = 0, right_n = 0, right_head = 0;
        std::int64_t p = left_first[s], q = right_first[s];
        const std::int64_t p_end = left_last[s] + 1, q_end = right_last[s] - 1;
        std::int64_t remaining = (1 + (s + 1) * T / slices) - (1 + s * T / slices);
        while (remaining > 0) {
            if (left_head == left_n) {
                left_n = left_head = 0;
                const std::int64_t stop = std::min(p + kBlock, p_end);
                for (; p < stop; ++p) {
                    left[left_n] = p;
                    left_n += key[p] >= a;
                }
            }
            if (right_head == right_n) {
                right_n = right_head = 0;
                const std::int64_t stop = std::max(q - kBlock, q_end);
                for (; q > stop; --q) {
                    right[right_n] = q;
                    right_n += key[q] <= a;
                }
            }
            const std::int64_t pairs =
                std::min({left_n - left_head, right_n - right_head, remaining});
            for (std::int64_t t = 0; t < pairs; ++t) {
                const std::int64_t x = left[left_head + t], y = right[right_head + t];
                std::swap(key[x], key[y]);
                std::swap(tag[x], tag[y]);
            }
            left_head += pairs;
            right_head += pairs;
            remaining -= pairs;
        }
    }
}

}  // namespace tivarne
