#include "driver/run.h"

#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <new>
#include <vector>

#include "driver/error.h"
#include "driver/timing.h"
#include "input/loaders.h"
#include "input/scan.h"
#include "input/sizes.h"
#include "input/types.h"
#include "report/result_writer.h"
#include "scoring/big_array.h"
#include "scoring/fast_pairs.h"
#include "scoring/fast_ranking.h"
#include "scoring/ranking.h"
#include "scoring/scoring.h"
#include "stats/biweight.h"
#include "stats/biweight_terms.h"

namespace tivarne {
namespace {

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The label and the first ten genes of every sample.
void echo_data(const ExpressionMatrix& expression, const LabelVector& labels) {
    std::puts("Labels and expressions:");
    const std::int32_t shown = ngene < 10 ? ngene : 10;
    for (std::int32_t j = 0; j < n; ++j) {
        std::printf("%d ", labels(j));
        for (std::int32_t g = 0; g < shown; ++g) std::printf("%.2f ", expression(j, g));
        if (ngene > 10) std::printf(" ... ");
        std::putchar('\n');
    }
    std::putchar('\n');
}

void pairs_straightforward(const RunSettings& settings, const ExpressionMatrix& expression,
                           const LabelVector& labels, const StatMatrix& bivar,
                           const StatMatrix& medmad, const LabelVector& nclass, const int& tuning,
                           PhaseTimer& timer) {
    PairTable table;
    score_all_pairs(expression, labels, bivar, medmad, nclass, tuning, table);
    timer.lap("scoring");
    std::vector<std::int32_t> rankOrder;
    rank_pairs(table, rankOrder);
    timer.lap("ranking");
    write_results(settings, table, rankOrder);
    timer.lap("walk");
}

void pairs_fast(const RunSettings& settings, const ExpressionMatrix& expression,
                const LabelVector& labels, const StatMatrix& bivar, const StatMatrix& medmad,
                const int& tuning, PhaseTimer& timer) {
    ClassTerms terms[2];
    compute_class_terms(expression, labels, bivar, medmad, tuning, terms);

    print_pair_listing_header();
    // The table is allocated before any pair is listed. Left uninitialised:
    // the scoring pass writes every key, each core touching its own pages.
    const std::int64_t npairs = pair_count(ngene);
    if (!fits_in_memory(static_cast<std::size_t>(npairs) * (sizeof(double) + sizeof(std::int32_t))))
        throw std::bad_alloc();
    BigArray<double> negScore(static_cast<std::size_t>(npairs));
    BigArray<std::int32_t> rankOrder(static_cast<std::size_t>(npairs));
    for (std::int64_t p = 0; p < npairs && p < 100; ++p) {
        std::int32_t i, j;
        pair_at_position(ngene, p, i, j);
        const PairValues v = pair_values(terms, i, j);
        print_pair_line(i, j, v.score, v.r1, v.r2, v.c);
    }
    const std::int64_t nan_count = score_pairs_fast(terms, ngene, negScore.get());
    timer.lap("scoring");

    FastRanking ranking(terms, ngene, negScore.get(), rankOrder.get(), npairs, nan_count);
    print_ranking_listing(ranking);
    timer.lap("ranking");
    write_results(settings, ranking);
    timer.lap("walk");
}

int run_phases(RunSettings& settings, std::istream& answers, Engine engine) {
    // The streams stay open, unread, until the run ends.
    std::ifstream expression_stream(settings.expression_file);
    if (!expression_stream.is_open()) {
        std::cerr << "Error: File \"" << settings.expression_file << "\" not found.\n";
        return 1;
    }
    std::ifstream label_stream(settings.label_file);
    if (!label_stream.is_open()) {
        std::cerr << "Error: File \"" << settings.label_file << "\" not found.\n";
        return 1;
    }
    // Truncating an input to write the results would destroy the data.
    if (same_file(settings.output_file, settings.expression_file) ||
        same_file(settings.output_file, settings.label_file))
        error("Error: The output file must not be an input file.");

    std::cout << "significant level for gene pairs to be selected: " << std::flush;
    if (!(answers >> settings.significant_level)) error("Error: Aborted due to input error.");
    std::cout << "number of gene pairs to be output: " << std::flush;
    if (!(answers >> settings.max_pairs)) error("Error: Aborted due to input error.");

    std::cout << "check the files...\n"
              << "expression: " << settings.expression_file << "\n"
              << "label     : " << settings.label_file << "\n"
              << "output    : " << settings.output_file << "\n";

    PhaseTimer timer;
    std::cout << "check the size of the data...\n";
    get_parameters(settings.label_file.c_str(), settings.expression_file.c_str());
    std::cout << "#genes: " << ngene << "\n"
              << "n     : " << n << "\n"
              << "n1,n2 : " << n1 << " " << n2 << "\n";
    if (ngene > kMaxGenes) error("Error: Too many genes (at most 46341).");

    std::cout << "read expressions...\n";
    ExpressionMatrix expression(n, ngene);
    read_expression(expression, settings.expression_file.c_str());
    std::cout << "read labels...\n";
    LabelVector labels(n);
    read_label(labels, settings.label_file.c_str());
    echo_data(expression, labels);
    timer.lap("load");

    LabelVector nclass(2);
    nclass(0) = n1;
    nclass(1) = n2;
    const int tuning = 9;
    StatMatrix medmad(ngene, 4);
    StatMatrix bivar(ngene, 2);
    get_meanvar_biweight(expression, labels, bivar, medmad, n, tuning, ngene, nclass);
    timer.lap("per-gene");

    if (engine == Engine::Straightforward)
        pairs_straightforward(settings, expression, labels, bivar, medmad, nclass, tuning, timer);
    else
        pairs_fast(settings, expression, labels, bivar, medmad, tuning, timer);
    return 0;
}

}  // namespace

int run(RunSettings& settings, std::istream& answers, Engine engine) {
    const char* message = nullptr;
    std::string detail;
    try {
        return run_phases(settings, answers, engine);
    } catch (const FatalError& e) {
        detail = e.what();
    } catch (const std::bad_alloc&) {
        message = "Error: Aborted due to allocation error.";
    } catch (const char* text) {
        message = text;
    } catch (const std::exception& e) {
        detail = std::string("Error: Internal error: ") + e.what();
    }
    std::cout.flush();
    std::cerr << (message ? message : detail.c_str()) << "\n";
    return 1;
}

}  // namespace tivarne
