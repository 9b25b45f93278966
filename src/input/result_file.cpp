// The command line's result file.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "core/error.h"
#include "tivarne/io.h"

namespace tivarne {
namespace {

const char kRule[] = "-------------------------------------------------\n";

[[noreturn]] void output_error(const char* message) { fail(Error::Kind::Output, message); }

// The result file opened in one mode; every write and the close are checked,
// so a full disk ends the run instead of passing as success. A failed write or
// close cuts a regular file back to its length at opening: the file never
// keeps part of a line, only the lines completed before (the header, and the
// rows written so far).
class OpenFile {
public:
    OpenFile(const std::string& name, const char* mode) : name_(name), f_(std::fopen(name.c_str(), mode)) {
        if (!f_) output_error(message::kCannotOpenOutput);
        struct stat st;
        if (fstat(fileno(f_), &st) == 0 && S_ISREG(st.st_mode)) start_ = st.st_size;
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (f_) std::fclose(f_);
    }

    __attribute__((format(printf, 2, 3))) void print(const char* format, ...) {
        std::va_list args;
        va_start(args, format);
        const int written = std::vfprintf(f_, format, args);
        va_end(args);
        if (written < 0) {
            std::fclose(f_);
            f_ = nullptr;
            cut_back_and_fail();
        }
    }
    void close() {
        std::FILE* f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0) cut_back_and_fail();
    }

private:
    [[noreturn]] void cut_back_and_fail() {
        if (start_ >= 0 && truncate(name_.c_str(), start_) != 0) {
            // Nothing more can be done; the error below still reports the failure.
        }
        output_error(message::kCannotWriteOutput);
    }
    const std::string& name_;
    std::FILE* f_;
    off_t start_ = -1;  // length at opening, for a regular file
};

}  // namespace

ResultFile::ResultFile(const std::string& path, const Criteria& criteria) : path_(path) {
    const double L = criteria.level;
    OpenFile out(path_, "w");
    out.print("Results of TIVARNE:\n");
    out.print("%s", kRule);
    if (L >= std::pow(10.0, -6) || L == 0)
        out.print("significant level = %lf\n", L);
    else
        out.print("log10(significant level) = %lf\n", std::log10(L));
    out.print("number of gene pairs to be output = %d (maximum)\n", criteria.max_pairs);
    out.print("%s", kRule);
    out.close();
}

void ResultFile::add(const SelectedPair& pair) {
    OpenFile out(path_, "a");
    if (rows_ == 0)
        out.print("rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 \t weight c\n");
    out.print("%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f\n", rows_ + 1, pair.score, pair.log10_p,
              pair.gene_x + 1, pair.gene_y + 1, pair.r1, pair.r2, pair.c);
    out.close();
    ++rows_;
}

void ResultFile::finish() {
    if (rows_ > 0) return;
    OpenFile out(path_, "a");
    out.print("\n---No significant gene pairs---\n");
    out.close();
}

}  // namespace tivarne
