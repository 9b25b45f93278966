#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/progress.h"
#include "scoring/kernel/pair_kernel.h"
#include "scoring/pair_space.h"

namespace tivarne {

// Partner-gene terms a thread packs and scores every row block against. Packed,
// a panel streams well from any cache level, and larger panels mean fewer
// passes over the rows: 1 MiB was the best of 128 KiB to 4 MiB on a 512 KiB L2
// (bench/kernel_bench, AVX2); 512 KiB was 5% slower, 128 KiB 15%.
constexpr std::size_t kPanelBytes = 1 << 20;

// Partner genes per panel: as many as fit in panel_bytes, in whole kernel tiles.
std::int32_t partner_panel_width(const PairSpace& space, std::size_t panel_bytes);

// The kernels' view of both classes' terms (no output set, no panel packed).
KernelInput kernel_input(const PairSpace& space);

// Each thread's copies of the genes a kernel call reads, packed for `kernel`
// (KernelInput::Class::panel and rows): the partner panel when a thread moves
// to another panel, reused for all the row blocks against it, and the row
// block on every call.
class PanelPacks {
public:
    PanelPacks(const KernelInput& shared, const PairKernel& kernel, int threads);
    // `shared` with both classes' packs set to the row block from i0 and
    // partners k_begin .. k_end - 1.
    const KernelInput& input(int thread, std::int32_t i0, std::int32_t k_begin, std::int32_t k_end);

private:
    struct Pack {
        std::vector<double> panel, rows;
        std::int32_t k_begin = -1, k_end = -1;
        KernelInput in;
    };
    std::int32_t tile_, rows_;
    std::vector<Pack> packs_;
};

// Scores one block of rows i0 .. i0 + rows - 1 against partners k_begin ..
// k_end - 1 on the given thread (0 .. threads - 1); returns its NaN scores.
using RowBlockFn = std::function<std::int64_t(int thread, std::int32_t i0, std::int32_t rows,
                                              std::int32_t k_begin, std::int32_t k_end)>;

// Every pair exactly once, in blocks of at most `rows` rows against partner
// panels of `panel` genes, shared by the threads; counts the pairs to the
// progress and stops early when asked to. Returns the NaN scores counted.
std::int64_t for_each_row_block(std::int32_t genes, std::int32_t rows, std::int32_t panel,
                                const Context& context, const RowBlockFn& score);

// The scoring pass: negScore[p] = -score of the pair at position p, for all
// pairs, in parallel. Returns the number of NaN scores. Stops early, leaving
// the table incomplete, when a stop is asked for.
std::int64_t score_pairs_fast(const PairSpace& space, double* negScore, const Context& context,
                              std::size_t panel_bytes = kPanelBytes);

// A block of scored pairs: rows i0 .. i0 + rows - 1 against partners
// k_begin .. k_end - 1, of which only the pairs with k > i exist. Pair
// (i0 + r, k) is at r * width + k - k_begin of each array.
struct ScoredBlock {
    std::int32_t i0, rows, k_begin, k_end;
    std::int64_t width;
    const double* score;
    const double* r1;
    const double* r2;
    // The p-value decisions (EcorDecision; kEcorUnsure: only the exact
    // p-value can tell) at the same places, when the block was decided as a
    // whole; null otherwise.
    const std::uint8_t* decision = nullptr;

    std::int32_t first_partner(std::int32_t r) const { return i0 + r + 1 > k_begin ? i0 + r + 1 : k_begin; }
    std::int64_t at(std::int32_t r, std::int64_t k) const { return r * width + k - k_begin; }
};

// Sees every block of a scoring pass on the thread that scored it: the blocks
// of one thread one after the other, those of different threads at once.
class BlockCollector {
public:
    virtual ~BlockCollector() = default;
    virtual void collect(int thread, const ScoredBlock& block) = 0;
    // Whether collect() needs every block's p-value decisions.
    virtual bool wants_decisions() const { return false; }
};

// Scores every pair once into per-thread blocks (score, r1, r2) and hands
// each block to `collector`. Returns the NaN scores; stops early when asked.
std::int64_t score_in_blocks(const PairSpace& space, const Context& context, BlockCollector& collector);

}  // namespace tivarne
