// A whole run of the command line in-process: the timing lines appear only
// when asked for, on standard error before the notes, and change nothing else.

#include <cstdio>
#include <sstream>

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

TEST(CommandLine, TimingLinesOnlyWhenAskedForAndBeforeTheNotes) {
    test::ScratchDir dir;
    const test::Study study(120, 5, 6, 17);
    std::ostringstream labels, expr;
    expr.precision(17);
    for (int j = 0; j < study.samples; ++j) labels << (j ? " " : "") << study.labels[j];
    for (std::size_t v = 0; v < study.values.size(); ++v)
        expr << study.values[v] << ((v + 1) % study.samples ? " " : "\n");
    dir.write("labels.txt", labels.str() + "\n");
    dir.write("expr.txt", expr.str());
    const Transcript fast = run_files(dir, "0.3 100000", Engine::Fast);
    EXPECT_EQ(fast.status, 0);
    EXPECT_NE(fast.err.find("Note: "), std::string::npos);  // NaN pairs were walked

    setenv("TIVARNE_TIMING", "1", 1);
    const Transcript timed = run_files(dir, "0.3 100000", Engine::Fast);
    unsetenv("TIVARNE_TIMING");
    EXPECT_EQ(timed.out, fast.out);
    EXPECT_EQ(timed.result, fast.result);
    // The phases' lines come before any note of the run.
    ASSERT_GE(timed.err.size(), fast.err.size());
    EXPECT_EQ(timed.err.substr(timed.err.size() - fast.err.size()), fast.err);
    std::istringstream lines(timed.err.substr(0, timed.err.size() - fast.err.size()));
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
