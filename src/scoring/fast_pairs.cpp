#include "scoring/fast_pairs.h"

#include <omp.h>

#include <algorithm>
#include <vector>

namespace tivarne {
namespace {

// Pairs (i, k), i < k, with i0 <= i < i0 + rows and k_begin <= k < k_end.
std::int64_t block_pairs(std::int32_t i0, std::int32_t rows, std::int32_t k_begin, std::int32_t k_end) {
    std::int64_t pairs = 0;
    for (std::int32_t i = i0; i < i0 + rows; ++i) pairs += k_end - (i + 1 > k_begin ? i + 1 : k_begin);
    return pairs;
}

template <int kRows>
void copy_rows(const double* from, std::size_t ld, std::int32_t samples, double* out) {
    for (std::int32_t s = 0; s < samples; ++s, from += ld, out += kRows)
        for (int r = 0; r < kRows; ++r) out[r] = from[r];
}

// The rows of the kernels' blocks: a copy of a known length, not a call per
// sample.
void copy_rows(std::int32_t rows, const double* from, std::size_t ld, std::int32_t samples, double* out) {
    switch (rows) {
        case 6:
            return copy_rows<6>(from, ld, samples, out);
        case 8:
            return copy_rows<8>(from, ld, samples, out);
        default:
            for (std::int32_t s = 0; s < samples; ++s, from += ld, out += rows) std::copy(from, from + rows, out);
    }
}

}  // namespace

std::int32_t partner_panel_width(const PairSpace& space, std::size_t panel_bytes) {
    const ClassTerms* terms = space.terms();
    const std::size_t bytes_per_gene = 8 * static_cast<std::size_t>(terms[0].m + terms[1].m) + 1;
    const std::size_t fit = panel_bytes / bytes_per_gene / kPanelAlign * kPanelAlign;
    return fit < static_cast<std::size_t>(kPanelAlign) ? kPanelAlign
                                                       : static_cast<std::int32_t>(std::min<std::size_t>(fit, 1 << 24));
}

KernelInput kernel_input(const PairSpace& space) {
    KernelInput in;
    in.genes = space.genes();
    for (int c = 0; c < 2; ++c) {
        const ClassTerms& t = space.terms()[c];
        in.cls[c] = {t.by_sample.data(), t.ld, t.m, t.D.data(), t.bivar.data()};
    }
    return in;
}

PanelPacks::PanelPacks(const KernelInput& shared, const PairKernel& kernel, int threads)
    : tile_(kernel.tile), rows_(kernel.rows), packs_(static_cast<std::size_t>(threads)) {
    const std::size_t m1 = static_cast<std::size_t>(shared.cls[0].m), m2 = static_cast<std::size_t>(shared.cls[1].m);
    for (Pack& pack : packs_) {
        pack.rows.resize(static_cast<std::size_t>(rows_) * (m1 + m2));
        pack.in = shared;
        pack.in.cls[0].rows = pack.rows.data();
        pack.in.cls[1].rows = pack.rows.data() + static_cast<std::size_t>(rows_) * m1;
    }
}

const KernelInput& PanelPacks::input(int thread, std::int32_t i0, std::int32_t k_begin, std::int32_t k_end) {
    Pack& pack = packs_[static_cast<std::size_t>(thread)];
    if (pack.k_begin != k_begin || pack.k_end != k_end) {
        // Whole tiles: the terms are padded with zero genes up to a multiple
        // of every tile width.
        const std::size_t tiles = static_cast<std::size_t>((k_end - k_begin + tile_ - 1) / tile_);
        const std::size_t width = static_cast<std::size_t>(tile_);
        pack.panel.resize(tiles * width * static_cast<std::size_t>(pack.in.cls[0].m + pack.in.cls[1].m));
        double* out = pack.panel.data();
        for (KernelInput::Class& cls : pack.in.cls) {
            cls.panel = out;
            for (std::size_t j = 0; j < tiles; ++j)
                for (std::int32_t s = 0; s < cls.m; ++s, out += width) {
                    const double* from = cls.by_sample + static_cast<std::size_t>(s) * cls.ld +
                                         static_cast<std::size_t>(k_begin) + j * width;
                    std::copy(from, from + width, out);
                }
        }
        pack.k_begin = k_begin;
        pack.k_end = k_end;
    }
    // A whole block of rows: those past the call's (and past the genes: the
    // padding) are read but their pairs are never stored.
    double* out = pack.rows.data();
    for (const KernelInput::Class& cls : pack.in.cls) {
        copy_rows(rows_, cls.by_sample + i0, cls.ld, cls.m, out);
        out += static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cls.m);
    }
    return pack.in;
}

std::int64_t for_each_row_block(std::int32_t genes, std::int32_t rows, std::int32_t panel,
                                const Context& context, const RowBlockFn& score) {
    // Partner genes are taken in panels that stay in the core's L2 cache
    // while every row block above them streams past. The last panels have
    // the most rows: hand them out first so that the cores finish together.
    const std::int32_t panels = genes < 2 ? 0 : (genes + panel - 1) / panel;
    std::int64_t nan_count = 0;
    ProgressReporter& progress = context.progress;
#pragma omp parallel for schedule(dynamic, 1) reduction(+ : nan_count) num_threads(context.threads)
    for (std::int32_t q = 0; q < panels; ++q) {
        const int thread = omp_get_thread_num();
        const std::int32_t k_begin = (panels - 1 - q) * panel;
        const std::int32_t k_end = k_begin + panel < genes ? k_begin + panel : genes;
        for (std::int32_t i0 = 0; i0 < k_end - 1 && !progress.stopped(); i0 += rows) {
            const std::int32_t count = k_end - 1 - i0 < rows ? k_end - 1 - i0 : rows;
            nan_count += score(thread, i0, count, k_begin, k_end);
            progress.add(block_pairs(i0, count, k_begin, k_end));
        }
    }
    return nan_count;
}

std::int64_t score_pairs_fast(const PairSpace& space, double* negScore, const Context& context,
                              std::size_t panel_bytes) {
    const PairKernel kernel = select_pair_kernel();
    KernelInput in = kernel_input(space);
    in.negScore = negScore;
    PanelPacks packs(in, kernel, context.threads);
    return for_each_row_block(space.genes(), kernel.rows, partner_panel_width(space, panel_bytes), context,
                              [&](int thread, std::int32_t i0, std::int32_t count, std::int32_t k_begin,
                                  std::int32_t k_end) {
                                  return kernel.score_rows(packs.input(thread, i0, k_begin, k_end), i0, count,
                                                           k_begin, k_end);
                              });
}

std::int64_t score_in_blocks(const PairSpace& space, const Context& context, BlockCollector& collector) {
    const PairKernel kernel = select_pair_kernel();
    const std::int32_t panel = partner_panel_width(space, kPanelBytes);
    const KernelInput shared = kernel_input(space);
    struct Buffers {
        std::vector<double> score, r1, r2;
    };
    std::vector<Buffers> buffers(static_cast<std::size_t>(context.threads));
    PanelPacks packs(shared, kernel, context.threads);
    return for_each_row_block(
        space.genes(), kernel.rows, panel, context,
        [&](int thread, std::int32_t i0, std::int32_t rows, std::int32_t k_begin, std::int32_t k_end) {
            Buffers& b = buffers[static_cast<std::size_t>(thread)];
            b.score.resize(static_cast<std::size_t>(kernel.rows) * static_cast<std::size_t>(panel));
            b.r1.resize(b.score.size());
            b.r2.resize(b.score.size());
            KernelInput in = packs.input(thread, i0, k_begin, k_end);
            in.block_score = b.score.data();
            in.block_r1 = b.r1.data();
            in.block_r2 = b.r2.data();
            in.block_width = panel;
            const std::int64_t nans = kernel.score_block(in, i0, rows, k_begin, k_end);
            collector.collect(thread, {i0, rows, k_begin, k_end, panel, b.score.data(), b.r1.data(), b.r2.data()});
            return nans;
        });
}

}  // namespace tivarne
