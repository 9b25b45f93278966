#include "report/result_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "driver/error.h"
#include "driver/progress.h"
#include "input/sizes.h"
#include "scoring/pval.h"
#include "scoring/ranking.h"

namespace tivarne {
namespace {

const char kRule[] = "-------------------------------------------------\n";

// Ranks fetched and given p-values ahead of the walk: the first batch, which
// doubles up to the last.
constexpr std::int64_t kFirstBatch = 256;
constexpr std::int64_t kLastBatch = 1 << 16;

// The result file opened in one mode; every write and the close are checked,
// so a full disk ends the run instead of passing as success. A failed write or
// close cuts a regular file back to its length at opening: the file never
// keeps part of a line, only the lines completed before (the header, and the
// rows written so far).
class ResultFile {
public:
    ResultFile(const char* name, const char* mode) : name_(name), f_(std::fopen(name, mode)) {
        if (!f_) error("Error: Cannot open the output file.");
        struct stat st;
        if (fstat(fileno(f_), &st) == 0 && S_ISREG(st.st_mode)) start_ = st.st_size;
    }
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;
    ~ResultFile() {
        if (f_) std::fclose(f_);
    }

    __attribute__((format(printf, 2, 3))) void print(const char* format, ...) {
        std::va_list args;
        va_start(args, format);
        const int written = std::vfprintf(f_, format, args);
        va_end(args);
        if (written < 0) fail();
    }
    void close() {
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) cut_back_and_fail();
    }

private:
    [[noreturn]] void fail() {
        std::fclose(f_);
        f_ = nullptr;
        cut_back_and_fail();
    }
    [[noreturn]] void cut_back_and_fail() {
        if (start_ >= 0 && truncate(name_, start_) != 0) {
            // Nothing more can be done; the message below still reports the failure.
        }
        error("Error: Cannot write the output file.");
    }
    const char* name_;
    std::FILE* f_;
    off_t start_ = -1;  // length at opening, for a regular file
};

}  // namespace

void write_results(const RunSettings& settings, RankedPairs& ranking) {
    const char* name = settings.output_file.c_str();
    const double L = settings.significant_level;
    {
        ResultFile out(name, "w");
        out.print("Results of TIVARNE:\n");
        out.print("%s", kRule);
        if (L >= std::pow(10.0, -6) || L == 0)
            out.print("significant level = %lf\n", L);
        else
            out.print("log10(significant level) = %lf\n", std::log10(L));
        out.print("number of gene pairs to be output = %d (maximum)\n", settings.max_pairs);
        out.print("%s", kRule);
        out.close();
    }

    // The walk takes the ranking in growing batches whose p-values are
    // computed ahead, in parallel; which pairs are examined and written, and
    // where the walk stops, are decided one rank at a time as before.
    const std::int64_t npairs = ranking.size();
    std::int32_t written = 0;
    long long unscored = 0;
    std::int64_t batch = kFirstBatch;
    std::vector<RankedPair> pairs;
    std::vector<double> pvals;
    bool done = false;
    Progress progress("selecting pairs", npairs, "ranks", true);
    for (std::int64_t k0 = 0; k0 < npairs && !done; k0 += batch, batch = std::min(2 * batch, kLastBatch)) {
        const std::int64_t k1 = std::min(npairs, k0 + batch);
        const std::int64_t count = k1 - k0;
        pairs.resize(static_cast<std::size_t>(count));
        pvals.resize(static_cast<std::size_t>(count));
        ranking.fetch(k0, k1, pairs.data());
#pragma omp parallel for schedule(static) if (count > 64)
        for (std::int64_t t = 0; t < count; ++t) {
            double r1 = pairs[t].r1, r2 = pairs[t].r2;
            pvals[t] = get_pval(r1, r2, n1, n2);
        }
        progress.add(count);
        for (std::int64_t t = 0; t < count; ++t) {
            const RankedPair& e = pairs[t];
            const double pval = pvals[t];
            if (std::isnan(pval)) ++unscored;
            if (!(pval <= L)) continue;
            ++written;
            ResultFile out(name, "a");
            if (written == 1)
                out.print("rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 "
                          "\t weight c\n");
            const double c = e.score / std::fabs(e.r1 - e.r2);
            out.print("%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f\n", written, e.score,
                      std::log10(pval), e.geneX + 1, e.geneY + 1, e.r1, e.r2, c);
            out.close();
            if (written >= settings.max_pairs) {
                done = true;
                break;
            }
        }
    }
    progress.finish();
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

void write_results(const RunSettings& settings, const PairTable& table,
                   const std::vector<std::int32_t>& rankOrder) {
    TableRanking ranking(table, rankOrder);
    write_results(settings, ranking);
}

}  // namespace tivarne
