// Fuzzes the expression file: the size scan's line count and the expression loader. The first
// byte of the input picks one of a few fixed label files (2 to 8 samples); the rest is the
// expression file. The reference is the C library: the gene count against repeated fgets with the
// scan's buffer size, the values and failures against repeated fscanf "%lf" with non-finite values
// rejected, a load that succeeds against a count of the values on every line, the parallel reader
// against the sequential one. Any difference (a value, even its sign bit, or the message) is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/containers.h"
#include "fuzz_support.h"
#include "input/loaders.h"
#include "tivarne/io.h"

using namespace tivarne;

namespace {

const char* const kLabels[] = {"1 0\n", "0\t1\n", "1 0 1\n", "1 1 0 0", "0 1 0 1 1\n", "1 0 0 1 0 1\n",
                                "1 0 1 0 1 0 1\n", "0 0 0 1 1 1 0 1\n"};

// Lines of at most 31*n + 1 characters each, as fgets reads them.
long long reference_gene_count(const std::string& path, std::int32_t samples) {
    std::FILE* f = fuzz::open_or_find(path);
    std::vector<char> buf(31 * static_cast<std::size_t>(samples) + 2);
    long long count = 0;
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), f)) ++count;
    std::fclose(f);
    return count;
}

// Every line must hold n values per piece of at most 31n + 1 characters
// (its newline included) that fgets would read of it; values are counted with
// sscanf "%lf" over the whole line.
bool reference_lines_hold_their_genes(const std::string& path, std::int32_t samples) {
    std::FILE* f = fuzz::open_or_find(path);
    const std::size_t piece = 31 * static_cast<std::size_t>(samples) + 1;
    std::string line;
    bool ok = true;
    for (int c = 0; ok && c != EOF;) {
        line.clear();
        while ((c = std::fgetc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
        if (c == EOF && line.empty()) break;
        const std::size_t length = line.size() + (c == '\n' ? 1 : 0);
        const std::size_t genes = (length + piece - 1) / piece;
        // A load that succeeded holds no NUL byte: sscanf sees the whole line.
        std::size_t values = 0;
        double v;
        int used = 0;
        for (const char* p = line.c_str(); std::sscanf(p, "%lf%n", &v, &used) == 1; p += used) ++values;
        ok = values == genes * static_cast<std::size_t>(samples);
    }
    std::fclose(f);
    return ok;
}

// Returns the error message, or "" when all values loaded into `flat`.
std::string reference_load(const std::string& path, std::int32_t n, std::size_t total,
                           std::vector<double>& flat) {
    std::FILE* f = fuzz::open_or_find(path);
    flat.assign(total, 0.0);
    std::string message;
    for (std::size_t k = 0; k < total && message.empty(); ++k) {
        double v = 0;
        const int r = std::fscanf(f, "%lf", &v);
        if (r == 0 || (r == 1 && !std::isfinite(v))) {
            message = "Invalid data in expressions";
        } else if (r == EOF) {
            message = "Invalid format in expression data.";
        } else {
            flat[k] = v;
            if (k + 1 == total && std::fscanf(f, "%lf", &v) != EOF)
                message = "Invalid format in expression data.";
        }
    }
    std::fclose(f);
    if (message.empty() && total > 0 && !reference_lines_hold_their_genes(path, n))
        message = "Invalid format in expression data.";
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    if (size == 0) return 0;
    const std::size_t pick = data[0] % (sizeof kLabels / sizeof kLabels[0]);
    const std::string label_file = scratch.write("labels.txt", std::string(kLabels[pick]));
    const std::string expr_file = scratch.write("expr.txt", {reinterpret_cast<const char*>(data) + 1, size - 1});

    Sizes sizes;
    try {
        sizes = scan_sizes(label_file, expr_file);
    } catch (const Error& e) {
        fuzz::finding(std::string("a valid label file and a readable expression file failed the scan: ") +
                      e.what());
    }
    const std::int32_t n = sizes.samples, ngene = sizes.genes;
    const long long expected_genes = reference_gene_count(expr_file, n);
    if (ngene != expected_genes)
        fuzz::finding("scan counted " + std::to_string(ngene) + " genes, fgets " +
                      std::to_string(expected_genes));
    if (ngene > kMaxGenes) return 0;

    ExpressionMatrix expression(n, ngene);
    std::string message;
    const ProgressCallback none;
    ProgressReporter progress(none);
    try {
        read_expression_sequential(expression, expr_file.c_str(), progress);
    } catch (const Error& e) {
        message = e.what();
    }
    // The parallel reader on 1 to 3 threads, in blocks of 1 to 32 bytes or
    // the default, gives the same message and, on success, the same bits.
    for (const auto& [threads, block] : {std::pair<int, std::size_t>{1, 0}, {2, 0}, {3, 1 + data[0] / 8u}}) {
        ExpressionMatrix parallel(n, ngene);
        std::string said;
        try {
            read_expression(parallel, expr_file.c_str(), Context{threads, progress}, block);
        } catch (const Error& e) {
            said = e.what();
        }
        if (said != message || (said.empty() && parallel.data().size() > 0 &&
                                std::memcmp(parallel.data().begin(), expression.data().begin(),
                                            parallel.data().size() * sizeof(double))))
            fuzz::finding("parallel reader: \"" + said + "\" (or other values), sequential: \"" + message + "\"");
    }
    const std::size_t total = static_cast<std::size_t>(n) * static_cast<std::size_t>(ngene);
    std::vector<double> flat;
    const std::string expected = reference_load(expr_file, n, total, flat);
    if (message != expected)
        fuzz::finding("loader said \"" + message + "\", the reference \"" + expected + "\"");
    if (!message.empty()) return 0;
    for (std::size_t k = 0; k < total; ++k) {
        const double v = expression(k % n, k / n);
        if (std::memcmp(&v, &flat[k], sizeof v) != 0) {
            char text[160];
            std::snprintf(text, sizeof text, "value %zu loaded as %a, the reference %a", k, v, flat[k]);
            fuzz::finding(text);
        }
    }
    return 0;
}
