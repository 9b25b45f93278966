#include "driver/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "input/sizes.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

class Run : public ::testing::Test {
protected:
    void SetUp() override {
        settings.expression_file = dir.write("expr.txt", "1 2 3 4\n2 4 1 3\n");
        settings.label_file = dir.write("labels.txt", "1 0 1 0\n");
        settings.output_file = dir.path("result.tsv");
    }

    int start(const std::string& answers) {
        std::istringstream in(answers);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = run(settings, in);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return status;
    }

    test::ScratchDir dir;
    RunSettings settings;
    std::string out, err;
};

const char kFirstPrompt[] = "significant level for gene pairs to be selected: ";
const char kSecondPrompt[] = "number of gene pairs to be output: ";

TEST_F(Run, InputFilesMustExist) {
    const std::string expression = settings.expression_file;
    settings.expression_file = dir.path("nothing.txt");
    settings.label_file = dir.path("nothing-either.txt");
    EXPECT_EQ(start("0.05 10\n"), 1);
    EXPECT_EQ(err, "Error: File \"" + settings.expression_file + "\" not found.\n");
    EXPECT_EQ(out, "");

    settings.expression_file = expression;
    EXPECT_EQ(start("0.05 10\n"), 1);
    EXPECT_EQ(err, "Error: File \"" + settings.label_file + "\" not found.\n");
}

TEST_F(Run, OutputFileMustNotBeAnInputFile) {
    const std::string labels_before = test::read_file(settings.label_file);
    settings.output_file = settings.expression_file;
    EXPECT_EQ(start("0.05 10\n"), 1);
    EXPECT_EQ(err, "Error: The output file must not be an input file.\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(test::read_file(settings.expression_file), "1 2 3 4\n2 4 1 3\n");

    // Another name of the same file (a hard link) is the same file.
    settings.output_file = dir.path("link.tsv");
    ASSERT_EQ(link(settings.label_file.c_str(), settings.output_file.c_str()), 0);
    EXPECT_EQ(start("0.05 10\n"), 1);
    EXPECT_EQ(err, "Error: The output file must not be an input file.\n");
    EXPECT_EQ(test::read_file(settings.label_file), labels_before);
}

TEST_F(Run, AnswersThatAreNotNumbers) {
    EXPECT_EQ(start("abc\n"), 1);
    EXPECT_EQ(out, kFirstPrompt);
    EXPECT_EQ(err, "Error: Aborted due to input error.\n");

    EXPECT_EQ(start(""), 1);
    EXPECT_EQ(out, kFirstPrompt);
    EXPECT_EQ(err, "Error: Aborted due to input error.\n");

    // 0.05abc is read as 0.05; the rest fails the second answer.
    EXPECT_EQ(start("0.05abc\n10\n"), 1);
    EXPECT_EQ(out, std::string(kFirstPrompt) + kSecondPrompt);
    EXPECT_EQ(err, "Error: Aborted due to input error.\n");
}

TEST_F(Run, TooManyGenesEndTheRunAfterTheSizeReport) {
    std::string lines;
    for (int g = 0; g < 46342; ++g) lines += "1 2\n";
    settings.expression_file = dir.write("big.txt", lines);
    settings.label_file = dir.write("two.txt", "1 0\n");
    EXPECT_EQ(start("0.05\n10\n"), 1);
    EXPECT_EQ(err, "Error: Too many genes (at most 46341).\n");
    const std::string report = "#genes: 46342\nn     : 2\nn1,n2 : 1 1\n";
    ASSERT_GE(out.size(), report.size());
    EXPECT_EQ(out.substr(out.size() - report.size()), report);
    EXPECT_EQ(ngene, 46342);
    EXPECT_FALSE(std::ifstream(settings.output_file).is_open());
}

}  // namespace
}  // namespace tivarne
