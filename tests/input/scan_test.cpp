#include "input/scan.h"

#include <gtest/gtest.h>

#include <string>

#include "input/sizes.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

class GetParameters : public ::testing::Test {
protected:
    void SetUp() override { ngene = n = n1 = n2 = -1; }

    // Scans `labels` against an empty expression file and expects `message`.
    void expect_label_failure(const std::string& labels, const char* message) {
        SCOPED_TRACE("label bytes: \"" + labels + "\"");
        const std::string l = dir.write("labels.txt", labels);
        const std::string e = dir.write("expr.txt", "");
        EXPECT_FATAL(get_parameters(l.c_str(), e.c_str()), message);
    }

    // Scans `expression` with the four labels 1 0 1 0 and returns ngene.
    std::int32_t genes_in(const std::string& expression) {
        const std::string l = dir.write("labels.txt", "1 0 1 0\n");
        const std::string e = dir.write("expr.txt", expression);
        get_parameters(l.c_str(), e.c_str());
        EXPECT_EQ(n, 4);
        return ngene;
    }

    void scan_labels(const std::string& labels) {
        const std::string l = dir.write("labels.txt", labels);
        const std::string e = dir.write("expr.txt", "");
        get_parameters(l.c_str(), e.c_str());
    }

    test::ScratchDir dir;
};

TEST_F(GetParameters, CountsSamplesOfEachClass) {
    scan_labels("1 0 1 0\n");
    EXPECT_EQ(n, 4);
    EXPECT_EQ(n1, 2);
    EXPECT_EQ(n2, 2);
    EXPECT_EQ(ngene, 0);

    scan_labels("1\t1\t0\n");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(n1, 2);
    EXPECT_EQ(n2, 1);

    scan_labels("1 1 0 0\n");
    EXPECT_EQ(n, 4);

    // A last line without its newline ends at the end of the text.
    scan_labels("0 1 1");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(n1, 2);
    EXPECT_EQ(n2, 1);
}

TEST_F(GetParameters, LabelLineLengthLimit) {
    std::string longest;
    for (int k = 0; k < 10000; ++k) longest += k == 0 ? "1" : (k % 2 ? " 0" : " 1");
    ASSERT_EQ(longest.size(), 19999u);
    scan_labels(longest + "\n");
    EXPECT_EQ(n, 10000);
    EXPECT_EQ(n1, 5000);
    EXPECT_EQ(n2, 5000);

    expect_label_failure(longest + " 1\n", "Error: Absorted due to input error (label data).");
    expect_label_failure(longest + " 1", "Error: Absorted due to input error (label data).");
}

TEST_F(GetParameters, LabelLayoutMessages) {
    const char* neighbours = "Error: Invalid format in label data.";
    expect_label_failure("11 00\n", neighbours);
    expect_label_failure("1  0\n", neighbours);
    // Equal neighbours are found before any label position is looked at.
    expect_label_failure("2 33\n", neighbours);

    const char* data = "Error: Invalid data or format in label data";
    expect_label_failure("1 0 \n", data);
    expect_label_failure("1 0\r\n", data);
    expect_label_failure("\n", data);
    expect_label_failure("1 2\n", data);
    expect_label_failure("10 1\n", data);
    expect_label_failure("a b\n", data);
}

TEST_F(GetParameters, OnlyOneLabelLineAndTwoNonEmptyClasses) {
    const char* extra = "Error: Invalid format in label data.";
    expect_label_failure("1 0\n\n", extra);
    expect_label_failure("1 0\n1 0\n", extra);
    expect_label_failure("1 0\n ", extra);

    const char* empty_class = "Error: Each class needs at least one sample (label data).";
    expect_label_failure("", empty_class);
    expect_label_failure("1 1 1\n", empty_class);
    expect_label_failure("0\n", empty_class);
}

TEST_F(GetParameters, FilesThatCannotBeOpenedOrRead) {
    const std::string l = dir.write("labels.txt", "1 0\n");
    const std::string e = dir.write("expr.txt", "1 2\n");
    const std::string missing = dir.path("missing.txt");
    EXPECT_FATAL(get_parameters(missing.c_str(), e.c_str()), "Error: Cannot open the label file.");
    EXPECT_FATAL(get_parameters(l.c_str(), missing.c_str()),
                 "Error: Cannot open the expression file.");
    // A directory opens for reading, but every read fails.
    const std::string folder = dir.path("");
    EXPECT_FATAL(get_parameters(folder.c_str(), e.c_str()),
                 "Error: Aborted due to input error (label data).");
    EXPECT_FATAL(get_parameters(l.c_str(), folder.c_str()),
                 "Error: Aborted due to input error (expression data).");
}

TEST_F(GetParameters, ExpressionLinesCountedAsReads) {
    EXPECT_EQ(genes_in(""), 0);
    EXPECT_EQ(genes_in("1 2 3 4\n5 6 7 8\n9 10 11 12"), 3);
    EXPECT_EQ(genes_in("1 2 3 4\n\n5 6 7 8\n"), 3);
    EXPECT_EQ(genes_in("1 2 3 4\n\n"), 2);
    EXPECT_EQ(genes_in("\n"), 1);
    // With n = 4 a read takes at most 31 * 4 + 1 = 125 characters.
    EXPECT_EQ(genes_in(std::string(124, '1') + "\n"), 1);
    EXPECT_EQ(genes_in(std::string(125, '1') + "\n"), 2);
    EXPECT_EQ(genes_in(std::string(125, '1')), 1);
    EXPECT_EQ(genes_in(std::string(250, '1') + "\n" + "1 2 3 4\n"), 4);
}

}  // namespace
}  // namespace tivarne
