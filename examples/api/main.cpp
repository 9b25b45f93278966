// tivarne-api-example EXPR LABELS LEVEL MAX_PAIRS
//
// Reads an expression file and a label file with the library's loaders, runs
// the analysis and prints the selected pairs as the result file's rows: rank,
// score, log10 p-value, gene X, gene Y (counted from 1), r1, r2, c.
#include <tivarne/io.h>
#include <tivarne/tivarne.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "Usage: %s EXPR LABELS LEVEL MAX_PAIRS\n", argv[0]);
        return 2;
    }
    try {
        const tivarne::Dataset data = tivarne::load_dataset(argv[1], argv[2]);
        tivarne::Criteria criteria;
        criteria.level = std::strtod(argv[3], nullptr);
        criteria.max_pairs = std::atoi(argv[4]);
        const tivarne::Result result = tivarne::analyse(data.view(), criteria);
        int rank = 0;
        for (const tivarne::SelectedPair& p : result.selected)
            std::printf("%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f\n", ++rank, p.score, p.log10_p,
                        p.gene_x + 1, p.gene_y + 1, p.r1, p.r2, p.c);
    } catch (const tivarne::Error& e) {
        std::fprintf(stderr, "Error: %s\n", e.what());
        return 1;
    }
    return 0;
}
