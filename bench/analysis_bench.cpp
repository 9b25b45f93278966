// One analysis through the library, timed: analysis_bench EXPR LABELS LEVEL
// MAX_PAIRS MODE, where MODE is plain (the selection in the scoring pass where
// it can), table (always the ranked table), bh (Benjamini-Hochberg, fast), bh-plain
// (Benjamini-Hochberg over every pair's p-value, the straightforward way) or
// p-order (selection in p-value order) or bh-p-order (both). Prints the mode, the wall time of
// analyse() alone, the peak RSS of the process and the number of selected
// pairs, and whether the ranked table was used.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tivarne/io.h"
#include "tivarne/tivarne.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s EXPR LABELS LEVEL MAX_PAIRS plain|table|bh|bh-plain|p-order|bh-p-order\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[5];
    tivarne::Options options;
    options.testing.pair_table = mode == "table" || mode == "bh-plain";
    if (mode == "bh" || mode == "bh-plain" || mode == "bh-p-order") options.adjust = tivarne::Adjust::BH;
    if (mode == "p-order" || mode == "bh-p-order") options.order = tivarne::Order::PValue;
    try {
        const tivarne::Dataset data = tivarne::load_dataset(argv[1], argv[2]);
        const auto start = std::chrono::steady_clock::now();
        const tivarne::Result result =
            tivarne::analyse(data.view(), {std::strtod(argv[3], nullptr), std::atoi(argv[4])}, options);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%s %.3f s %ld MiB %zu pairs%s\n", mode.c_str(), seconds, usage.ru_maxrss / 1024,
                    result.selected.size(), result.used_pair_table ? " (table)" : "");
    } catch (const tivarne::Error& e) {
        std::fprintf(stderr, "Error: %s\n", e.what());
        return 1;
    }
    return 0;
}
