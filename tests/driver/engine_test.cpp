// Whole runs with the fast engine and with the straightforward one on the same
// files: the console, the notes on standard error and the result file must be
// the same bytes, for one core or two.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "driver/run.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

struct Transcript {
    int status;
    std::string out, err, result;
};

Transcript run_engine(const test::ScratchDir& dir, const std::string& answers, Engine engine,
                      int threads) {
    omp_set_num_threads(threads);
    RunSettings settings;
    settings.expression_file = dir.path("expr.txt");
    settings.label_file = dir.path("labels.txt");
    settings.output_file = dir.path(engine == Engine::Fast ? "fast.tsv" : "plain.tsv");
    std::istringstream in(answers);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Transcript t;
    t.status = run(settings, in, engine);
    std::fflush(stdout);
    t.out = testing::internal::GetCapturedStdout();
    t.err = testing::internal::GetCapturedStderr();
    t.result = test::read_file(settings.output_file);
    // The console names the output file; make the two comparable.
    const std::string name = settings.output_file;
    const auto at = t.out.find(name);
    if (at != std::string::npos) t.out.replace(at, name.size(), "RESULT");
    return t;
}

// Expression data with planted pairs, duplicated genes (tied scores), genes
// constant within a class (NaN scores) and outliers.
void write_study(const test::ScratchDir& dir, int genes, int size1, int size2, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    const int samples = size1 + size2;
    // size1 ones and size2 zeros, interleaved while both last.
    std::string labels;
    int ones = size1, zeros = size2;
    for (int j = 0; j < samples; ++j) {
        const bool one = ones > 0 && (zeros == 0 || j % 2 == 0);
        labels += std::string(j ? " " : "") + (one ? "1" : "0");
        (one ? ones : zeros)--;
    }
    dir.write("labels.txt", labels + "\n");
    std::vector<std::vector<double>> x(genes, std::vector<double>(samples));
    std::string text;
    char buf[40];
    for (int g = 0; g < genes; ++g) {
        for (int j = 0; j < samples; ++j) {
            double v = normal(rng);
            if (g % 17 == 3 && j % 2 == 0) v = 2.0;         // constant in class 1
            if (g % 23 == 11) v = x[g - 1][j];                // a duplicated gene
            if (g % 29 == 5) v = (j % 2 ? -1 : 1) * x[g - 1][j] + 0.1 * normal(rng);  // planted
            if (rng() % 31 == 0) v *= 30;
            x[g][j] = v;
            std::snprintf(buf, sizeof buf, "%s%.6g", j ? " " : "", v);
            text += buf;
        }
        text += "\n";
    }
    dir.write("expr.txt", text);
}

TEST(Engines, SameTranscriptAndResultFile) {
    struct Case {
        int genes, size1, size2;
        const char* answers;
    };
    const Case cases[] = {
        {40, 6, 7, "0.05 20"},       // a short walk
        {130, 9, 5, "1e-300 10"},    // nothing qualifies: the whole ranking is walked
        {300, 4, 11, "0.5 5000"},    // a long walk through ties and NaN pairs
        {61, 2, 1, "1 100000"},      // a class of one sample: every r2 is NaN
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        test::ScratchDir dir;
        write_study(dir, c.genes, c.size1, c.size2, seed++);
        const Transcript plain = run_engine(dir, c.answers, Engine::Straightforward, 1);
        for (int threads : {1, 2}) {
            const Transcript fast = run_engine(dir, c.answers, Engine::Fast, threads);
            const std::string what = std::to_string(c.genes) + " genes, " + c.answers + ", " +
                                     std::to_string(threads) + " thread(s)";
            EXPECT_EQ(plain.status, 0) << what;
            EXPECT_EQ(fast.status, plain.status) << what;
            EXPECT_EQ(fast.out, plain.out) << what;
            EXPECT_EQ(fast.err, plain.err) << what;
            EXPECT_EQ(fast.result, plain.result) << what;
        }
    }
    omp_set_num_threads(omp_get_num_procs());
}

TEST(Engines, TimingLinesOnlyWhenAskedFor) {
    test::ScratchDir dir;
    write_study(dir, 30, 5, 5, 3);
    const Transcript quiet = run_engine(dir, "0.05 5", Engine::Fast, 2);
    setenv("TIVARNE_TIMING", "1", 1);
    const Transcript timed = run_engine(dir, "0.05 5", Engine::Fast, 2);
    unsetenv("TIVARNE_TIMING");
    EXPECT_EQ(timed.out, quiet.out);
    EXPECT_EQ(timed.result, quiet.result);
    EXPECT_EQ(quiet.err, "");
    std::istringstream lines(timed.err);
    std::string word, phase, seconds, unit;
    for (const char* expected : {"load", "per-gene", "scoring", "ranking", "walk"}) {
        ASSERT_TRUE(lines >> word >> phase >> seconds >> unit) << timed.err;
        EXPECT_EQ(word, "timing:");
        EXPECT_EQ(phase, expected);
        EXPECT_GE(std::stod(seconds), 0.0);
        EXPECT_EQ(unit, "s");
    }
    EXPECT_FALSE(lines >> word) << timed.err;
}

}  // namespace
}  // namespace tivarne
