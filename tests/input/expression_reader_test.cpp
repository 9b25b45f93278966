// The parallel expression reader against the sequential one (every value read
// in turn, then copied into the matrix): on generated files of odd forms, the
// same message, or the same bits; on 1 to 3 threads, in blocks from 1 byte up,
// so that values, lines and the end of the file fall on block and range bounds.

#include <cstring>
#include <map>
#include <random>
#include <utility>

#include "input/loaders.h"
#include "support/test_support.h"
#include "tivarne/io.h"

namespace tivarne {
namespace {

// The message ("" when loaded), the matrix, the closing progress update's values.
struct Outcome { std::string message; std::vector<double> values; std::int64_t done = -1; };

// threads 0: the sequential reader.
Outcome load(const std::string& expr, const std::string& labels, int threads, std::size_t block,
             bool stop = false) {
    Outcome o;
    const ProgressCallback callback = [&](const ProgressUpdate& u) { if (u.finished) o.done = u.done; return !stop; };
    const Sizes sizes = scan_sizes(labels, expr);
    ExpressionMatrix m(sizes.samples, sizes.genes);
    ProgressReporter progress(callback);
    try {
        threads == 0 ? read_expression_sequential(m, expr.c_str(), progress)
                     : read_expression(m, expr.c_str(), Context{threads, progress}, block);
        o.values.assign(m.data().begin(), m.data().end());
    } catch (const Error& e) {
        o.message = e.what();
    }
    return o;
}

// Every run (threads, block bytes) as the sequential reader.
std::string expect_as_sequential(const std::string& expr, const std::string& labels,
                                 std::initializer_list<std::pair<int, std::size_t>> runs, bool stop = false) {
    const Outcome want = load(expr, labels, 0, 0, stop);
    for (const auto& [threads, block] : runs) {
        const Outcome got = load(expr, labels, threads, block, stop);
        EXPECT_TRUE(got.message == want.message && got.done == want.done && got.values.size() == want.values.size() &&
                    (want.values.empty() ||
                     !std::memcmp(got.values.data(), want.values.data(), want.values.size() * sizeof(double))))
            << test::read_file(expr).substr(0, 200) << (stop ? "(stopped)" : "") << "\non " << threads
            << " threads, blocks of " << block << ": \"" << got.message << "\", sequential \"" << want.message << "\"";
    }
    return want.message;
}

// Lines of `samples` values (some lines of two genes: longer than 31n + 1
// characters), then perhaps one fault: a token that is not a finite number or
// holds two, a value too many or too few, a line end lost, an empty line.
std::string odd_file(std::mt19937_64& rng, int samples) {
    static const char* const values[] = {"1.5",  "-0.25",    "+3", ".5e-3", "7.",  "0x1p-3",
                                         "-0X1.8P1", "1e308", "4.9e-324", "-0", "12345678901234567890"};
    static const char* const faults[] = {"nan", "inf", "-INF", "-", "1-2", "1e5x", "abc", "1e", "0x", "1,2", "1e999"};
    static const char* const blanks[] = {" ", "\t", "  ", " \r", "\v"};
    static const char* const ends[] = {"\n", "\r\n", " \n", "\t\r\n"};
    auto pick = [&](const auto& list) { return list[rng() % (sizeof list / sizeof list[0])]; };
    std::vector<std::string> tokens, seps;
    const int lines = 1 + static_cast<int>(rng() % 10);
    for (int l = 0; l < lines; ++l) {
        const bool two_genes = rng() % 6 == 0;
        const int count = samples * (two_genes ? 2 : 1);
        for (int j = 0; j < count; ++j) {
            tokens.push_back(pick(values));
            seps.push_back(j + 1 < count ? (two_genes ? "                        " : pick(blanks)) : pick(ends));
        }
    }
    const std::size_t at = rng() % tokens.size();
    switch (rng() % 10) {
        case 0: tokens[at] = pick(faults); break;
        case 1: tokens.insert(tokens.begin() + at, pick(values)); seps.insert(seps.begin() + at, " "); break;
        case 2: tokens.erase(tokens.begin() + at); seps.erase(seps.begin() + at); break;
        case 3: seps[at] = seps[at] == "\n" ? " " : "\n"; break;
        case 4: tokens.push_back(pick(faults)); seps.push_back(pick(ends)); break;
        case 5: seps[at] += "\n"; break;  // an empty line, or a blank last line
    }
    if (rng() % 3 == 0) seps.back() = "";  // no newline at the end
    std::string text;
    for (std::size_t t = 0; t < tokens.size(); ++t) text += tokens[t] + seps[t];
    return text;
}

TEST(ExpressionReader, ParallelAsSequentialOnOddFiles) {
    test::ScratchDir dir;
    std::mt19937_64 rng(2207);
    std::map<std::string, int> seen;
    for (int trial = 0; trial < 600; ++trial) {
        const int samples = 2 + trial % 2;
        const std::string labels = dir.write("l", samples == 2 ? "1 0\n" : "1 0 1\n");
        const std::string expr = dir.write("e", odd_file(rng, samples));
        ++seen[expect_as_sequential(expr, labels, {{1, 0}, {2, 1}, {3, 5}, {2, 64}, {3, 0}})];
    }
    // The files make every outcome, often.
    EXPECT_TRUE(seen[""] > 150 && seen[message::kExpressionData] > 50 && seen[message::kExpressionFormat] > 150);
}

// Progress in steps of 65536 values, a stop asked at the start (seen at the
// first step), a bad value before that step, and a line longer than the block.
TEST(ExpressionReader, ProgressStopAndLongLinesAsSequential) {
    test::ScratchDir dir;
    const std::string labels = dir.write("l", "1 0\n");
    std::string many;
    for (int g = 0; g < 40000; ++g) many += std::to_string(g) + " -" + std::to_string(g % 97) + ".5\n";
    std::string bad_early = many, bad_late = many;
    bad_early.replace(bad_early.find("30 "), 2, "3x");
    bad_late.replace(bad_late.find("39000 "), 5, "nan  ");
    std::string long_line;  // 50 genes on one line of 3101 characters
    for (int v = 0; v < 100; ++v) long_line += std::to_string(v % 10) + std::string(30, ' ');
    long_line += "\n3 4";
    const std::pair<std::string, bool> cases[] = {{many, false},    {many, true},      {bad_early, true}, {bad_late, false},
                                                  {bad_late, true}, {long_line, true}, {"", false}};
    for (const auto& [text, stop] : cases) expect_as_sequential(dir.write("e", text), labels, {{2, 0}, {2, 1000}}, stop);
}

}  // namespace
}  // namespace tivarne
