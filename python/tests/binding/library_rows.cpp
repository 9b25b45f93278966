// library_rows EXPR LABELS LEVEL MAX_PAIRS ADJUST(none|BH) ORDER(score|p_value): the library's
// answer at full precision, for the Python tests: "without_p_value tested", then per selected
// pair gene X, gene Y (from 0), score, r1, r2, c, p-value, log10 p-value, q-value.
#include <tivarne/io.h>
#include <tivarne/tivarne.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "Usage: %s EXPR LABELS LEVEL MAX_PAIRS ADJUST ORDER\n", argv[0]);
        return 2;
    }
    try {
        const tivarne::Dataset data = tivarne::load_dataset(argv[1], argv[2]);
        const tivarne::Criteria criteria{std::strtod(argv[3], nullptr), std::atoi(argv[4])};
        tivarne::Options options;
        options.adjust = std::string(argv[5]) == "BH" ? tivarne::Adjust::BH : tivarne::Adjust::None;
        options.order = std::string(argv[6]) == "p_value" ? tivarne::Order::PValue : tivarne::Order::Score;
        const tivarne::Result r = tivarne::analyse(data.view(), criteria, options);
        std::printf("%lld %lld\n", static_cast<long long>(r.without_p_value), static_cast<long long>(r.tested));
        for (const tivarne::SelectedPair& p : r.selected)
            std::printf("%d %d %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n", p.gene_x, p.gene_y, p.score,
                        p.r1, p.r2, p.c, p.p_value, p.log10_p, p.q_value);
    } catch (const tivarne::Error& e) {
        std::fprintf(stderr, "Error: %s\n", e.what());
        return 1;
    }
    return 0;
}
