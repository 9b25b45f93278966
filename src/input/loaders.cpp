#include "input/loaders.h"

#include <cctype>
#include <cmath>
#include <cstdio>
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

void read_expression(ExpressionMatrix& expression, const char* expression_file,
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
