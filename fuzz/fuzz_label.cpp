// Fuzzes the label file (the input; the expression file is a fixed two-line file): the size scan's
// label checks and the label loader. Beyond sanitizer reports, a finding is any accepted label file
// whose loaded labels disagree with the scan: every sample must be both counted and loaded as the
// digit at its position on the line, so that the class sizes n1 and n2 match the labels the
// statistics use; and any disagreement with repeated fscanf "%ld" (only 0 and 1 accepted): the
// same message, or the same labels.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/containers.h"
#include "fuzz_support.h"
#include "input/loaders.h"
#include "tivarne/io.h"

using namespace tivarne;

namespace {

// Returns the error message, or "" when all `count` labels loaded into `out`.
std::string reference_labels(const std::string& path, std::int32_t count, std::vector<int>& out) {
    std::FILE* f = fuzz::open_or_find(path);
    out.assign(static_cast<std::size_t>(count), -1);
    std::string message;
    for (std::int32_t j = 0; j < count && message.empty(); ++j) {
        long v = 0;  // "%ld": an int would wrap values beyond its range
        const int r = std::fscanf(f, "%ld", &v);
        if (r == 0 || (r == 1 && v != 0 && v != 1)) {
            message = "Invalid data in labels";
        } else if (r == EOF) {
            message = "Invalid format in label data.";
        } else {
            out[static_cast<std::size_t>(j)] = static_cast<int>(v);
            if (j + 1 == count && std::fscanf(f, "%ld", &v) != EOF) message = "Invalid format in label data.";
        }
    }
    std::fclose(f);
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    static const std::string expression = scratch.write("expr.txt", "1.5 2.5 0.5\n-1 0 1e-3\n");
    const std::string label_file = scratch.write("labels.txt", {reinterpret_cast<const char*>(data), size});

    Sizes sizes;
    try {
        sizes = scan_sizes(label_file, expression);
    } catch (const Error&) {
        return 0;
    }
    const std::int32_t n = sizes.samples, n1 = sizes.class1, n2 = sizes.class2;
    if (n < 2 || n1 < 1 || n2 < 1 || n1 + n2 != n || n > 10000)
        fuzz::finding("scan accepted n=" + std::to_string(n) + " n1=" + std::to_string(n1) +
                      " n2=" + std::to_string(n2));
    if (sizes.genes != 2)
        fuzz::finding("fixed expression file counted as " + std::to_string(sizes.genes) + " genes");

    LabelVector labels(n);
    std::string message;
    try {
        read_label(labels, label_file.c_str());
    } catch (const Error& e) {
        message = e.what();
    }
    std::vector<int> expected;
    const std::string expected_message = reference_labels(label_file, n, expected);
    if (message != expected_message)
        fuzz::finding("loader said \"" + message + "\", the reference \"" + expected_message + "\"");
    if (!message.empty()) return 0;
    for (std::int32_t j = 0; j < n; ++j) {
        const std::size_t pos = 2 * static_cast<std::size_t>(j);
        const int digit = data[pos] - '0';
        if (labels(j) != digit || labels(j) != expected[static_cast<std::size_t>(j)])
            fuzz::finding("sample " + std::to_string(j) + " scanned as " + std::to_string(digit) +
                          " but loaded as " + std::to_string(labels(j)));
    }
    return 0;
}
