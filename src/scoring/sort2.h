#pragma once
#include <cstdint>
#include <utility>

#include "core/error.h"

namespace tivarne {

// sort2 sorts ranges of at most this many + 1 elements by straight insertion.
constexpr std::int32_t kSort2Insertion = 7;

// The steps of sort2's partition of key[l..ir] (at least 8 elements), shared
// with the lazy ranking, which runs them on sub-ranges of its own.

template <class Index>
inline void sort2_exchange(double* key, std::int32_t* tag, Index p, Index q) {
    std::swap(key[p], key[q]);
    std::swap(tag[p], tag[q]);
}

// Median of three: the middle element goes to l + 1, then key[l] <= key[l + 1]
// <= key[ir]; key[l + 1] is the pivot and key[l], key[ir] bound the scans.
template <class Index>
inline void sort2_median_of_three(double* key, std::int32_t* tag, Index l, Index ir) {
    const Index k = static_cast<Index>((static_cast<std::int64_t>(l) + ir) / 2);
    sort2_exchange(key, tag, k, l + 1);
    if (key[l] > key[ir]) sort2_exchange(key, tag, l, ir);
    if (key[l + 1] > key[ir]) sort2_exchange(key, tag, l + 1, ir);
    if (key[l] > key[l + 1]) sort2_exchange(key, tag, l, l + 1);
}

// The scans with pivot a from i = l + 1 and j = ir: exchanges the elements on
// the wrong side until the scans cross; i and j are left where they stopped.
template <class Index>
inline void sort2_scan(double* key, std::int32_t* tag, double a, Index& i, Index& j) {
    for (;;) {
        do ++i;
        while (key[i] < a);
        do --j;
        while (key[j] > a);
        if (j < i) break;
        sort2_exchange(key, tag, i, j);
    }
}

// Puts the pivot (a, b), taken from l + 1, at its final place j.
template <class Index>
inline void sort2_place_pivot(double* key, std::int32_t* tag, Index l, Index j, double a,
                              std::int32_t b) {
    key[l + 1] = key[j];
    key[j] = a;
    tag[l + 1] = tag[j];
    tag[j] = b;
}

// Quicksort of key[0..N) into ascending order, carrying tag along: every
// exchange and move of key is made on tag at the same positions. Median-of-
// three pivot, straight insertion for ranges of at most 7 elements, an
// explicit stack of 64 entries. The sort is not stable; the order of equal
// keys is the one this exact sequence of steps produces, so the steps must not
// change. Keys must not be NaN (the scans rely on the median-of-three bounds).
inline void sort2(double* key, std::int32_t* tag, std::int32_t N) {
    constexpr std::int32_t kStack = 64;
    std::int32_t stack[kStack] = {};
    std::int32_t l = 0, ir = N - 1, jstack = -1;
    for (;;) {
        if (ir - l < kSort2Insertion) {
            for (std::int32_t j = l + 1; j <= ir; ++j) {
                const double a = key[j];
                const std::int32_t b = tag[j];
                std::int32_t i = j - 1;
                for (; i >= l && !(a >= key[i]); --i) {
                    key[i + 1] = key[i];
                    tag[i + 1] = tag[i];
                }
                key[i + 1] = a;
                tag[i + 1] = b;
            }
            if (jstack < 0) return;
            ir = stack[jstack];
            l = stack[jstack - 1];
            jstack -= 2;
        } else {
            sort2_median_of_three(key, tag, l, ir);
            std::int32_t i = l + 1, j = ir;
            const double a = key[l + 1];
            const std::int32_t b = tag[l + 1];
            sort2_scan(key, tag, a, i, j);
            sort2_place_pivot(key, tag, l, j, a, b);
            jstack += 2;
            if (jstack > kStack - 1) fail(Error::Kind::Internal, message::kSortStack);
            if (ir - i + 1 >= j - l) {
                stack[jstack] = ir;
                stack[jstack - 1] = i;
                ir = j - 1;
            } else {
                stack[jstack] = j - 1;
                stack[jstack - 1] = l;
                l = i;
            }
        }
    }
}

// The same on two sequences; N is the length of key.
template <class KeySeq, class TagSeq>
void sort2(KeySeq& key, TagSeq& tag) {
    sort2(key.data(), tag.data(), static_cast<std::int32_t>(key.size()));
}

}  // namespace tivarne
