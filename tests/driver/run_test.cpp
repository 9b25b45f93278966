// Whole runs of the command line in-process: both engines print and write the
// same bytes, and the timing lines appear only when asked for.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

Transcript run_files(const test::ScratchDir& dir, const std::string& answers, Engine engine) {
    RunSettings settings;
    settings.expression_file = dir.path("expr.txt");
    settings.label_file = dir.path("labels.txt");
    settings.output_file = dir.path("result.tsv");
    std::istringstream in(answers);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Transcript t;
    t.status = run(settings, in, engine);
    std::fflush(stdout);
    t.out = testing::internal::GetCapturedStdout();
    t.err = testing::internal::GetCapturedStderr();
    t.result = test::read_file(settings.output_file);
    return t;
}

void write_files(const test::ScratchDir& dir, const test::Study& study) {
    std::string labels, expr;
    for (int j = 0; j < study.samples; ++j) labels += (j ? " " : "") + std::to_string(study.labels[j]);
    char buf[40];
    for (int g = 0; g < study.genes; ++g) {
        for (int j = 0; j < study.samples; ++j) {
            std::snprintf(buf, sizeof buf, "%s%.17g", j ? " " : "", study.values[g * study.samples + j]);
            expr += buf;
        }
        expr += "\n";
    }
    dir.write("labels.txt", labels + "\n");
    dir.write("expr.txt", expr);
}

TEST(CommandLine, BothEnginesWriteTheSameBytes) {
    test::ScratchDir dir;
    write_files(dir, test::Study(120, 5, 6, 17));
    const Transcript plain = run_files(dir, "0.3 100000", Engine::Straightforward);
    const Transcript fast = run_files(dir, "0.3 100000", Engine::Fast);
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.err.find("Note: "), std::string::npos);  // NaN pairs were walked
    EXPECT_EQ(fast.status, plain.status);
    EXPECT_EQ(fast.out, plain.out);
    EXPECT_EQ(fast.err, plain.err);
    EXPECT_EQ(fast.result, plain.result);
}

TEST(CommandLine, TimingLinesOnlyWhenAskedFor) {
    test::ScratchDir dir;
    write_files(dir, test::Study(30, 5, 5, 3));
    const Transcript quiet = run_files(dir, "1e-9 5", Engine::Fast);
    setenv("TIVARNE_TIMING", "1", 1);
    const Transcript timed = run_files(dir, "1e-9 5", Engine::Fast);
    unsetenv("TIVARNE_TIMING");
    EXPECT_EQ(timed.out, quiet.out);
    EXPECT_EQ(timed.result, quiet.result);
    // The phases' lines come before any note of the run.
    ASSERT_GE(timed.err.size(), quiet.err.size());
    EXPECT_EQ(timed.err.substr(timed.err.size() - quiet.err.size()), quiet.err);
    std::istringstream lines(timed.err.substr(0, timed.err.size() - quiet.err.size()));
    // The phases in their order; ranking only when the pair table is ranked
    // (after a second scoring pass when equal scores need the table).
    std::string word, phase, seconds, unit, phases, last;
    while (lines >> word >> phase >> seconds >> unit) {
        EXPECT_EQ(word + unit, "timing:s");
        if (phase != last) phases += phase + " ";
        last = phase;
    }
    EXPECT_TRUE(phases == "load per-gene scoring walk " || phases == "load per-gene scoring ranking walk ")
        << timed.err;
}

}  // namespace
}  // namespace tivarne
