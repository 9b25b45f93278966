#include "report/result_writer.h"

#include <cmath>
#include <cstdio>

#include "driver/error.h"
#include "input/sizes.h"
#include "scoring/pval.h"

namespace tivarne {
namespace {

const char kRule[] = "-------------------------------------------------\n";

// The result file opened in one mode; every write and the close are checked,
// so a full disk ends the run instead of passing as success.
class ResultFile {
public:
    ResultFile(const char* name, const char* mode) : f_(std::fopen(name, mode)) {
        if (!f_) error("Error: Cannot open the output file.");
    }
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;
    ~ResultFile() {
        if (f_) std::fclose(f_);
    }

    template <class... Args>
    void print(const char* format, Args... args) {
        if (std::fprintf(f_, format, args...) < 0) fail();
    }
    void close() {
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) error("Error: Cannot write the output file.");
    }

private:
    [[noreturn]] void fail() {
        std::fclose(f_);
        f_ = nullptr;
        error("Error: Cannot write the output file.");
    }
    std::FILE* f_;
};

}  // namespace

void write_results(const RunSettings& settings, const PairTable& table,
                   const std::vector<std::int32_t>& rankOrder) {
    const char* name = settings.output_file.c_str();
    const double L = settings.significant_level;
    {
        ResultFile out(name, "w");
        out.print("Results of TIVARNE:\n");
        out.print(kRule);
        if (L >= std::pow(10.0, -6) || L == 0)
            out.print("significant level = %lf\n", L);
        else
            out.print("log10(significant level) = %lf\n", std::log10(L));
        out.print("number of gene pairs to be output = %d (maximum)\n", settings.max_pairs);
        out.print(kRule);
        out.close();
    }

    const auto npairs = static_cast<std::int32_t>(table.negScore.size());
    std::int32_t written = 0;
    long long unscored = 0;
    for (std::int32_t k = 0; k < npairs; ++k) {
        const std::int32_t p = rankOrder[k];
        double r1 = table.r1[p], r2 = table.r2[p];
        const double pval = get_pval(r1, r2, n1, n2);
        if (std::isnan(pval)) ++unscored;
        if (!(pval <= L)) continue;
        ++written;
        ResultFile out(name, "a");
        if (written == 1)
            out.print("rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 "
                      "\t weight c\n");
        const double score = -table.negScore[k];
        const double c = score / std::fabs(r1 - r2);
        out.print("%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f\n", written, score, std::log10(pval),
                  table.geneX[p] + 1, table.geneY[p] + 1, r1, r2, c);
        out.close();
        if (written >= settings.max_pairs) break;
    }
    if (unscored > 0)
        std::fprintf(stderr,
                     "Note: %lld examined gene pairs had no computable p-value (ECOR) and were not "
                     "selected.\n",
                     unscored);

    if (written > 0) {
        std::printf("\nresult was output in the output file.\n");
        std::fflush(stdout);
        return;
    }
    ResultFile out(name, "a");
    out.print("\n---No significant gene pairs---\n");
    out.close();
}

}  // namespace tivarne
