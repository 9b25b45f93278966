#include "input/loaders.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "input/number_reader.h"

namespace tivarne {
namespace {

[[noreturn]] void error(const char* message) { input_error(message); }

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class Token { Value, NotANumber, End };

// One "%lf" conversion. A value that is not finite (nan, inf) counts as text
// that is not a number: the statistics downstream need ordered, finite data.
Token next_value(NumberReader& reader, double& value) {
    switch (reader.next(value)) {
        case NumberReader::Result::End:
            return Token::End;
        case NumberReader::Result::Mismatch:
            return Token::NotANumber;
        case NumberReader::Result::Value:
            break;
    }
    return std::isfinite(value) ? Token::Value : Token::NotANumber;
}

int skip_space(std::FILE* f) {
    int c;
    do c = getc_unlocked(f);
    while (c != EOF && std::isspace(c));
    return c;
}

// One "%d"-style label: optional sign and decimal digits after white space.
// Anything but the value 0 or 1 (including a number too long for an int) is
// rejected as text that is not a label.
Token next_label(std::FILE* f, int& label) {
    int c = skip_space(f);
    if (c == EOF) return Token::End;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = getc_unlocked(f);
    }
    if (c == EOF || !std::isdigit(c)) return Token::NotANumber;
    long long v = 0;
    for (; c != EOF && std::isdigit(c); c = getc_unlocked(f))
        if (v < 10) v = v * 10 + (c - '0');  // only 0 and 1 matter
    if (c != EOF) ungetc(c, f);
    if (negative) v = -v;
    if (v != 0 && v != 1) return Token::NotANumber;
    label = static_cast<int>(v);
    return Token::Value;
}

// Every line must hold the values of the genes the size scan counted on it:
// one gene for a line of at most 31n + 1 characters, one per piece of that
// length for a longer line. Otherwise values would shift from one gene to the
// next although their total is right.
void check_line_values(const std::vector<std::uint64_t>& line_lengths,
                       const std::vector<std::uint64_t>& line_values, std::size_t samples) {
    const std::uint64_t piece = 31 * static_cast<std::uint64_t>(samples) + 1;
    for (std::size_t i = 0; i < line_lengths.size(); ++i) {
        const std::uint64_t genes_on_line = (line_lengths[i] + piece - 1) / piece;
        const std::uint64_t values = i < line_values.size() ? line_values[i] : 0;
        if (values != genes_on_line * samples) error(message::kExpressionFormat);
    }
}

}  // namespace

void read_expression_sequential(ExpressionMatrix& expression, const char* expression_file,
                                ProgressReporter& progress) {
    const std::size_t genes = expression.size2();
    const std::size_t samples = expression.size1();
    const std::size_t total = samples * genes;
    std::vector<double> flat(total);

    File f(std::fopen(expression_file, "r"));
    if (!f) error(message::kCannotOpenExpression);
    NumberReader reader(f.get());
    progress.begin(Phase::Loading, static_cast<std::int64_t>(total));
    std::vector<std::uint64_t> line_values;
    for (std::size_t k = 0; k < total; ++k) {
        double v = 0;
        const Token t = next_value(reader, v);
        if (t == Token::NotANumber) error(message::kExpressionData);
        if (t == Token::End) error(message::kExpressionFormat);
        flat[k] = v;
        if (reader.line() >= line_values.size()) line_values.resize(reader.line() + 1, 0);
        ++line_values[reader.line()];
        if ((k & 0xFFFF) == 0xFFFF) {
            progress.add(0x10000);
            progress.check();
        }
        if (k + 1 == total && next_value(reader, v) != Token::End) error(message::kExpressionFormat);
    }
    f.reset();
    if (total > 0) {
        reader.finish_lines();
        check_line_values(reader.line_lengths(), line_values, samples);
    }
    progress.end();

    for (std::size_t g = 0; g < genes; ++g)
        for (std::size_t j = 0; j < samples; ++j) expression(j, g) = flat[g * samples + j];
}

namespace {

// The reader in parallel. The file is read in blocks of whole lines; each
// block is cut into ranges of whole lines, one per thread. The size scan's
// rule says how many values each line must hold (its genes times the
// samples), so the position in the matrix of every line's first value
// follows from the lengths of the lines before it, and the threads write
// their values straight into the matrix. A file that breaks the rule is
// refused anyway: then the first bad token in file order decides the message,
// from the counts of the ranges before it, as the sequential reader decides.

constexpr std::size_t kBlockPerThread = std::size_t{4} << 20;
constexpr std::size_t kMaxBlock = std::size_t{64} << 20;
constexpr std::size_t kParallelBytes = std::size_t{1} << 16;  // less is read on one thread
constexpr std::uint64_t kProgressStep = 0x10000;  // values per progress report

inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct Layout {
    double* data;  // samples x genes, row-major
    std::size_t genes, samples;
    std::uint64_t total, piece;
    // The values a line of `length` characters (its newline included) holds.
    std::uint64_t line_values(std::uint64_t length) const {
        return (length + piece - 1) / piece * samples;
    }
};

// What one range of lines held.
struct RangeTally {
    std::uint64_t expected = 0;  // values its lines must hold
    std::uint64_t first = 0;     // the value index of its first value
    std::uint64_t values = 0;    // finite numbers before the first bad token
    bool bad_token = false;      // stopped at text that is not a finite number
    bool bad_line = false;       // a line holds other than its genes' values
};

const char* line_end(const char* p, const char* end) {
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    return nl ? static_cast<const char*>(nl) : end;
}

std::uint64_t expected_values(const char* p, const char* end, const Layout& m) {
    std::uint64_t sum = 0;
    while (p < end) {
        const char* next = std::min(line_end(p, end) + 1, end);
        sum += m.line_values(static_cast<std::uint64_t>(next - p));
        p = next;
    }
    return sum;
}

// Reads the lines of [p, end) into the matrix from value t.first on, each
// line into its own values' places only. `input_end` is the end of the file
// when this range reaches it (a token there has no character after it), or
// null.
void read_range(const char* p, const char* end, const char* input_end, const Layout& m, RangeTally& t) {
    std::uint64_t k = t.first;
    while (p < end) {
        const char* eol = line_end(p, end);
        const std::uint64_t expected = m.line_values(static_cast<std::uint64_t>(eol - p) + (eol < end));
        const std::uint64_t room = k < m.total ? std::min(expected, m.total - k) : 0;
        double* out = room > 0 ? m.data + k / m.samples : nullptr;  // line starts at sample 0
        std::size_t sample = 0;
        std::uint64_t count = 0;
        for (;;) {
            while (p < eol && is_space(*p)) ++p;
            if (p == eol) break;
            const char* q = p;
            while (q < eol && !is_space(*q)) ++q;
            double v = 0;
            std::size_t used = 0;
            // (End, fscanf's EOF, needs input and cannot come from a token.)
            if (NumberReader::convert(p, q, q == input_end, v, used) != NumberReader::Result::Value ||
                !std::isfinite(v)) {
                t.values += count;
                t.bad_token = true;
                return;
            }
            if (count < room) {
                *out = v;
                out += m.genes;
                if (++sample == m.samples) {
                    sample = 0;
                    out -= m.genes * m.samples - 1;
                }
            }
            ++count;
            p += used;
        }
        t.values += count;
        if (count != expected) t.bad_line = true;
        k += expected;
        p = eol + (eol < end);
    }
}

// Where the last whole line of [data, data + len) ends (0 when none does).
std::size_t whole_lines(const char* data, std::size_t len) {
    while (len > 0 && data[len - 1] != '\n') --len;
    return len;
}

}  // namespace

void read_expression(ExpressionMatrix& expression, const char* expression_file, const Context& context,
                     std::size_t block_bytes) {
    const std::size_t genes = expression.size2();
    const std::size_t samples = expression.size1();
    const std::uint64_t total = static_cast<std::uint64_t>(samples) * genes;
    const int threads = std::max(context.threads, 1);
    // Not zeroed: only what the file fills is touched.
    std::size_t size = block_bytes > 0 ? block_bytes : std::min(kBlockPerThread * threads, kMaxBlock);
    std::unique_ptr<char[]> buf(total > 0 ? new char[size] : nullptr);
    std::vector<RangeTally> tallies(static_cast<std::size_t>(threads));
    std::vector<std::size_t> bounds(static_cast<std::size_t>(threads) + 1);

    File f(std::fopen(expression_file, "r"));
    if (!f) error(message::kCannotOpenExpression);
    ProgressReporter& progress = context.progress;
    progress.begin(Phase::Loading, static_cast<std::int64_t>(total));
    const Layout m{expression.data().begin(), genes, samples, total, 31 * static_cast<std::uint64_t>(samples) + 1};
    std::uint64_t next_first = 0;  // the value index of the next block's first value
    std::uint64_t values = 0;      // finite numbers read
    std::uint64_t reported = 0;
    bool bad_line = false;
    std::size_t len = 0;
    for (bool eof = total == 0; !eof;) {
        if (len == size) {  // a line longer than the block
            std::unique_ptr<char[]> bigger(new char[2 * size]);
            std::memcpy(bigger.get(), buf.get(), len);
            buf = std::move(bigger);
            size *= 2;
        }
        const std::size_t got = std::fread(buf.get() + len, 1, size - len, f.get());
        eof = got == 0;  // the end, or a read error: as the sequential reader
        len += got;
        const std::size_t cut = eof ? len : whole_lines(buf.get(), len);
        if (cut == 0) continue;

        // Ranges of whole lines of about equal size.
        const char* data = buf.get();
        bounds[0] = 0;
        for (int r = 1; r < threads; ++r) {
            const std::size_t at = std::max(bounds[r - 1], cut / threads * r);
            bounds[r] = at == 0 ? 0 : std::min<std::size_t>(line_end(data + at - 1, data + cut) - data + 1, cut);
        }
        bounds[threads] = cut;
        const bool parallel = cut >= kParallelBytes;
#pragma omp parallel for schedule(static, 1) num_threads(threads) if (parallel)
        for (int r = 0; r < threads; ++r) {
            tallies[r] = RangeTally{};
            tallies[r].expected = expected_values(data + bounds[r], data + bounds[r + 1], m);
        }
        for (RangeTally& t : tallies) {
            t.first = next_first;
            next_first += t.expected;
        }
        const char* input_end = eof ? data + cut : nullptr;
#pragma omp parallel for schedule(static, 1) num_threads(threads) if (parallel)
        for (int r = 0; r < threads; ++r)
            read_range(data + bounds[r], data + bounds[r + 1], input_end, m, tallies[r]);

        // In file order: the first bad token is a number that should be there
        // (data) or one too many (format).
        const char* fault = nullptr;
        std::uint64_t good = values;
        for (const RangeTally& t : tallies) {
            good = values + t.values;
            if (t.bad_token) {
                fault = good < total ? message::kExpressionData : message::kExpressionFormat;
                break;
            }
            values = good;
            bad_line = bad_line || t.bad_line;
            if (values > total) {
                fault = message::kExpressionFormat;
                break;
            }
        }
        const std::uint64_t step = std::min(good, total) / kProgressStep * kProgressStep;
        if (step > reported) {
            progress.add(static_cast<std::int64_t>(step - reported));
            reported = step;
            progress.check();
        }
        if (fault) error(fault);
        std::memmove(buf.get(), buf.get() + cut, len - cut);
        len -= cut;
    }
    f.reset();
    if (values != total || bad_line) error(message::kExpressionFormat);
    progress.end();
}

void read_label(LabelVector& labels, const char* label_file) {
    File f(std::fopen(label_file, "r"));
    if (!f) error(message::kCannotOpenLabels);
    const std::size_t samples = labels.size();
    for (std::size_t j = 0; j < samples; ++j) {
        int label = 0;
        const Token t = next_label(f.get(), label);
        if (t == Token::NotANumber) error(message::kLabelData);
        if (t == Token::End) error(message::kLabelFormat);
        labels(j) = label;
        if (j + 1 == samples && skip_space(f.get()) != EOF) error(message::kLabelFormat);
    }
}

}  // namespace tivarne
