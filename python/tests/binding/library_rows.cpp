// library_rows EXPR LABELS LEVEL MAX_PAIRS ADJUST(none|BH) ORDER(score|p_value)
//              [P_VALUE(ecor|calibrated) [PERMUTATIONS SEED]]: the library's
// answer at full precision, for the Python tests: "without_p_value tested", then per selected
// pair gene X, gene Y (from 0), score, r1, r2, c, p-value, log10 p-value, q-value, and with
// permutations the empirical p-value and the FDR estimate.
#include <tivarne/io.h>
#include <tivarne/tivarne.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 7 && argc != 8 && argc != 10) {
        std::fprintf(stderr, "Usage: %s EXPR LABELS LEVEL MAX_PAIRS ADJUST ORDER [P_VALUE [PERMUTATIONS SEED]]\n",
                     argv[0]);
        return 2;
    }
    try {
        const tivarne::Dataset data = tivarne::load_dataset(argv[1], argv[2]);
        const tivarne::Criteria criteria{std::strtod(argv[3], nullptr), std::atoi(argv[4])};
        tivarne::Options options;
        options.adjust = std::string(argv[5]) == "BH" ? tivarne::Adjust::BH : tivarne::Adjust::None;
        options.order = std::string(argv[6]) == "p_value" ? tivarne::Order::PValue : tivarne::Order::Score;
        if (argc > 7 && std::string(argv[7]) == "calibrated") options.p_value = tivarne::PValue::Calibrated;
        if (argc > 8) {
            options.permutations = std::atoi(argv[8]);
            options.seed = std::strtoull(argv[9], nullptr, 10);
        }
        const tivarne::Result r = tivarne::analyse(data.view(), criteria, options);
        std::printf("%lld %lld\n", static_cast<long long>(r.without_p_value), static_cast<long long>(r.tested));
        for (const tivarne::SelectedPair& p : r.selected)
            std::printf("%d %d %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n", p.gene_x, p.gene_y, p.score,
                        p.r1, p.r2, p.c, p.p_value, p.log10_p, p.q_value);
        for (const tivarne::SelectedPair& p : r.selected)
            if (options.permutations > 0) std::printf("%.17g %.17g\n", p.p_perm, p.fdr);
    } catch (const tivarne::Error& e) {
        std::fprintf(stderr, "Error: %s\n", e.what());
        return 1;
    }
    return 0;
}
