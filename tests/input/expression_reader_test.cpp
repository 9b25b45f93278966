// The parallel expression reader against the sequential one (every value read
// in turn, then copied into the matrix): on generated files of odd forms, the
// same message, or the same bits; on 1 to 3 threads, in blocks from 1 byte up,
// so that values, lines and the end of the file fall on block and range bounds.

#include <map>
#include <random>
#include <utility>

#include "input/loaders.h"
#include "support/test_support.h"
#include "tivarne/io.h"

namespace tivarne {
namespace {

struct Outcome {
    std::string message;  // "" when loaded
    std::vector<double> values;
    std::int64_t done = -1;  // the values of the closing progress update
};

// threads 0: the sequential reader.
Outcome load(const std::string& expr, const std::string& labels, int threads, std::size_t block,
             bool stop = false) {
    Outcome o;
    const ProgressCallback callback = [&](const ProgressUpdate& u) {
        if (u.finished) o.done = u.done;
        return !stop;
    };
    const Sizes sizes = scan_sizes(labels, expr);
    ExpressionMatrix m(sizes.samples, sizes.genes);
    ProgressReporter progress(callback);
    try {
        if (threads == 0)
            read_expression_sequential(m, expr.c_str(), progress);
        else
            read_expression(m, expr.c_str(), Context{threads, progress}, block);
        o.values.assign(m.data().begin(), m.data().end());
    } catch (const Error& e) {
        o.message = e.what();
    }
    return o;
}

void expect_same(const Outcome& got, const Outcome& want, const std::string& what) {
    ASSERT_EQ(got.message, want.message) << what;
    ASSERT_EQ(got.done, want.done) << what;
    ASSERT_EQ(got.values.size(), want.values.size()) << what;
    for (std::size_t k = 0; k < want.values.size(); ++k)
        ASSERT_TRUE(test::same_bits(got.values[k], want.values[k])) << what << " value " << k;
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
        default: break;
    }
    if (rng() % 3 == 0) seps.back() = "";  // no newline at the end
    std::string text;
    for (std::size_t t = 0; t < tokens.size(); ++t) text += tokens[t] + seps[t];
    return text;
}

TEST(ExpressionReader, ParallelAsSequentialOnOddFiles) {
    test::ScratchDir dir;
    std::mt19937_64 rng(2207);
    const std::pair<int, std::size_t> runs[] = {{1, 0}, {2, 1}, {3, 5}, {2, 64}, {3, 0}};
    std::map<std::string, int> seen;
    for (int trial = 0; trial < 600; ++trial) {
        const int samples = 2 + trial % 2;
        const std::string labels = dir.write("l", samples == 2 ? "1 0\n" : "1 0 1\n");
        const std::string text = odd_file(rng, samples);
        const std::string expr = dir.write("e", text);
        const Outcome want = load(expr, labels, 0, 0);
        ++seen[want.message];
        for (const auto& [threads, block] : runs)
            expect_same(load(expr, labels, threads, block), want,
                         "\"" + text + "\" on " + std::to_string(threads) + " threads, blocks of " +
                             std::to_string(block));
    }
    // The files make every outcome, often.
    EXPECT_GT(seen[""], 150);
    EXPECT_GT(seen[message::kExpressionData], 50);
    EXPECT_GT(seen[message::kExpressionFormat], 150);
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
    const std::pair<std::string, bool> cases[] = {{many, false}, {many, true}, {bad_early, true},
                                                  {bad_late, false}, {bad_late, true}, {long_line, true},
                                                  {"", false}};
    for (const auto& [text, stop] : cases) {
        const std::string expr = dir.write("e", text);
        const Outcome want = load(expr, labels, 0, 0, stop);
        for (const std::size_t block : {std::size_t{0}, std::size_t{1000}})
            expect_same(load(expr, labels, 2, block, stop), want,
                         text.substr(0, 30) + (stop ? ", stopped" : "") + " in blocks of " + std::to_string(block));
    }
}

}  // namespace
}  // namespace tivarne
