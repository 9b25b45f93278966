#pragma once
#include <cstdint>
#include <utility>

namespace tivarne {

// Quicksort of key[0..N) into ascending order, carrying tag along: every
// exchange and move of key is made on tag at the same positions. Median-of-
// three pivot, straight insertion for ranges of at most 7 elements, an
// explicit stack of 64 entries. The sort is not stable; the order of equal
// keys is the one this exact sequence of steps produces, so the steps must not
// change. Keys must not be NaN (the scans rely on the median-of-three bounds).
inline void sort2(double* key, std::int32_t* tag, std::int32_t N) {
    constexpr std::int32_t kStack = 64;
    constexpr std::int32_t kInsertion = 7;
    std::int32_t stack[kStack] = {};
    std::int32_t l = 0, ir = N - 1, jstack = -1;
    auto exchange = [&](std::int32_t p, std::int32_t q) {
        std::swap(key[p], key[q]);
        std::swap(tag[p], tag[q]);
    };
    for (;;) {
        if (ir - l < kInsertion) {
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
            const auto k = static_cast<std::int32_t>((static_cast<std::int64_t>(l) + ir) / 2);
            exchange(k, l + 1);
            if (key[l] > key[ir]) exchange(l, ir);
            if (key[l + 1] > key[ir]) exchange(l + 1, ir);
            if (key[l] > key[l + 1]) exchange(l, l + 1);
            std::int32_t i = l + 1, j = ir;
            const double a = key[l + 1];
            const std::int32_t b = tag[l + 1];
            for (;;) {
                do ++i;
                while (key[i] < a);
                do --j;
                while (key[j] > a);
                if (j < i) break;
                exchange(i, j);
            }
            key[l + 1] = key[j];
            key[j] = a;
            tag[l + 1] = tag[j];
            tag[j] = b;
            jstack += 2;
            if (jstack > kStack - 1) throw "NSTACK too small in sort2.";
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
