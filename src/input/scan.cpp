#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "core/error.h"
#include "tivarne/io.h"

namespace tivarne {
namespace {

[[noreturn]] void error(const char* message) { input_error(message); }

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class Read { Text, End, Fail };

// One read with the fgets rule: stops after a newline (kept) or after
// `capacity` - 1 characters. Unlike fgets it reports the number of characters
// read, so NUL bytes in the file are ordinary characters.
Read read_piece(std::FILE* f, std::vector<char>& buf, std::size_t& len) {
    const std::size_t limit = buf.size() - 1;
    len = 0;
    while (len < limit) {
        const int c = getc_unlocked(f);
        if (c == EOF) break;
        buf[len++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (std::ferror(f)) return Read::Fail;
    return len > 0 ? Read::Text : Read::End;
}

// The label line: labels "0"/"1" at even positions, one separator character
// between them, no two equal neighbours, at most 20000 characters.
void scan_labels(const char* label_file, Sizes& sizes) {
    std::int32_t n = 0, n1 = 0, n2 = 0;
    File f(std::fopen(label_file, "r"));
    if (!f) error(message::kCannotOpenLabels);

    std::vector<char> buf;
    try {
        buf.resize(20002);
    } catch (const std::bad_alloc&) {
        fail(Error::Kind::Memory, message::kLabelLineAllocation);
    }

    std::size_t len = 0;
    Read r = read_piece(f.get(), buf, len);
    if (r == Read::Text) {
        // The end of the text read ends the line as a newline would.
        std::size_t count = 0;
        bool newline = false;
        for (std::size_t i = 0; i < len; ++i) {
            if (buf[i] == '\n') {
                newline = true;
                break;
            }
            if (i + 1 < len && buf[i] == buf[i + 1]) error(message::kLabelFormat);
            ++count;
        }
        if (!newline && len == buf.size() - 1) error(message::kLabelLineTooLong);

        n = static_cast<std::int32_t>((count + 2) / 2);
        for (std::int32_t i = 0; i < n; ++i) {
            const std::size_t pos = 2 * static_cast<std::size_t>(i);
            const char c = pos < count ? buf[pos] : '\n';
            if (c == '1')
                ++n1;
            else if (c == '0')
                ++n2;
            else
                error(message::kLabelDataOrFormat);
        }
        // The file holds exactly one line.
        r = read_piece(f.get(), buf, len);
        if (r == Read::Text) error(message::kLabelFormat);
    }
    if (r == Read::Fail) error(message::kLabelInput);
    f.reset();
    if (n1 + n2 != n) error(message::kLabelInput);
    if (n1 == 0 || n2 == 0) error(message::kEmptyClass);
    sizes.samples = n;
    sizes.class1 = n1;
    sizes.class2 = n2;
}

// Counts the expression file's lines as reads of at most 31*n + 1 characters
// each: a longer line counts once per piece, a final line without its newline
// counts too.
void scan_expression(const char* expression_file, Sizes& sizes) {
    const std::int32_t n = sizes.samples;
    File f(std::fopen(expression_file, "r"));
    if (!f) error(message::kCannotOpenExpression);

    const std::size_t piece = 31 * static_cast<std::size_t>(n) + 1;
    std::vector<char> block;
    try {
        block.resize(1 << 16);
    } catch (const std::bad_alloc&) {
        fail(Error::Kind::Memory, message::kAllocation);
    }

    // A line of L characters (its newline included) is ceil(L / piece) reads.
    unsigned long long count = 0;
    std::size_t in_line = 0;  // characters of the current line read so far
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), f.get());
        const char* p = block.data();
        const char* const end = p + got;
        while (p < end) {
            const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            const char* next = nl ? static_cast<const char*>(nl) + 1 : end;
            in_line += static_cast<std::size_t>(next - p);
            p = next;
            if (nl) {
                count += (in_line + piece - 1) / piece;
                in_line = 0;
            }
        }
        if (got < block.size()) break;
    }
    if (std::ferror(f.get())) error(message::kExpressionInput);
    count += (in_line + piece - 1) / piece;
    // Saturate: anything past the gene limit is rejected by the caller.
    const auto cap = static_cast<unsigned long long>(std::numeric_limits<std::int32_t>::max());
    sizes.genes = static_cast<std::int32_t>(count < cap ? count : cap);
}

}  // namespace

Sizes scan_sizes(const std::string& label_file, const std::string& expression_file) {
    Sizes sizes;
    scan_labels(label_file.c_str(), sizes);
    scan_expression(expression_file.c_str(), sizes);
    return sizes;
}

}  // namespace tivarne
