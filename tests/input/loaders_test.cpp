#include "input/loaders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/sizes.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

class ReadExpression : public ::testing::Test {
protected:
    // Loads `bytes` as an expression file of `genes` genes of `samples` values.
    void load(const std::string& bytes, int samples, int genes) {
        n = samples;
        ngene = genes;
        matrix = ExpressionMatrix(samples, genes);
        const std::string path = dir.write("expr.txt", bytes);
        read_expression(matrix, path.c_str());
    }

    void expect_failure(const std::string& bytes, int samples, int genes, const char* message) {
        SCOPED_TRACE("expression bytes: \"" + bytes + "\"");
        EXPECT_FATAL(load(bytes, samples, genes), message);
    }

    test::ScratchDir dir;
    ExpressionMatrix matrix;
};

TEST_F(ReadExpression, TransposesGenesIntoColumns) {
    load("1 2\n3 4\n5 6\n", 2, 3);
    EXPECT_EQ(matrix(0, 0), 1.0);
    EXPECT_EQ(matrix(0, 1), 3.0);
    EXPECT_EQ(matrix(0, 2), 5.0);
    EXPECT_EQ(matrix(1, 0), 2.0);
    EXPECT_EQ(matrix(1, 1), 4.0);
    EXPECT_EQ(matrix(1, 2), 6.0);

    // Any white space separates values; trailing blanks after the last value
    // and a last line without its newline are fine.
    load("1\t2 \r\n3 \v 4\r\n5 6 \t ", 2, 3);
    EXPECT_EQ(matrix(1, 2), 6.0);

    // A line longer than 31n + 1 characters counts as one gene per piece of
    // that length, and holds their values.
    load("1 2 3 4" + std::string(57, ' ') + "\n5 6\n", 2, 3);
    EXPECT_EQ(matrix(0, 1), 3.0);
    EXPECT_EQ(matrix(1, 2), 6.0);
}

TEST_F(ReadExpression, NumberFormsOfTheConversion) {
    load("-2.5E-1 +1e3\n0x1p-2 0X1.8P1\n.5 7.\n", 2, 3);
    EXPECT_EQ(matrix(0, 0), -0.25);
    EXPECT_EQ(matrix(1, 0), 1000.0);
    EXPECT_EQ(matrix(0, 1), 0.25);
    EXPECT_EQ(matrix(1, 1), 3.0);
    EXPECT_EQ(matrix(0, 2), 0.5);
    EXPECT_EQ(matrix(1, 2), 7.0);
}

TEST_F(ReadExpression, TextThatIsNotAFiniteNumber) {
    const char* invalid = "Error: Invalid data in expressions";
    expect_failure("gene1 1 2\n3 4\n", 2, 2, invalid);
    expect_failure("1,2\n3,4\n", 2, 2, invalid);
    for (const char* word : {"nan", "NaN", "-nan", "inf", "-INF", "Infinity", "+iNfInItY"})
        expect_failure(std::string("1 ") + word + "\n3 4\n", 2, 2, invalid);
    // Text that is not a number comes before a missing value.
    expect_failure("1 2\n3 x", 2, 3, invalid);
}

TEST_F(ReadExpression, TooFewOrTooManyValues) {
    const char* format = "Error: Invalid format in expression data.";
    expect_failure("1 2\n3\n", 2, 2, format);
    expect_failure("1 2\n\n3 4\n", 2, 3, format);  // an empty line counted as a gene
    expect_failure("1 2\n3 4 5\n", 2, 2, format);
    expect_failure("1 2\n3 4\nx\n", 2, 2, format);
    expect_failure("1 2\n3 4 nan\n", 2, 2, format);

    // The right total spread over the wrong lines: values would shift genes.
    expect_failure("1 2 3\n4\n5 6\n", 2, 3, format);
    expect_failure("1 2 3 4\n\n", 2, 2, format);
    expect_failure("1 2 3 4" + std::string(55, ' ') + "\n5 6\n", 2, 3, format);  // 63 characters: one gene
}

TEST_F(ReadExpression, EmptyMatrixAndMissingFile) {
    // No values are due: the content is never read.
    load("not a number at all", 0, 0);
    load("1 2\n", 2, 0);
    n = 0;
    ngene = 0;
    const std::string missing = dir.path("missing.txt");
    EXPECT_FATAL(read_expression(matrix, missing.c_str()), "Error: Cannot open the expression file.");
}

class ReadLabel : public ::testing::Test {
protected:
    void load(const std::string& bytes, int samples) {
        n = samples;
        labels = LabelVector(samples);
        const std::string path = dir.write("labels.txt", bytes);
        read_label(labels, path.c_str());
    }

    void expect_failure(const std::string& bytes, int samples, const char* message) {
        SCOPED_TRACE("label bytes: \"" + bytes + "\"");
        EXPECT_FATAL(load(bytes, samples), message);
    }

    test::ScratchDir dir;
    LabelVector labels;
};

TEST_F(ReadLabel, LabelsAsRead) {
    load("1 0 1 0\n", 4);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(labels(0), 1);
    EXPECT_EQ(labels(1), 0);
    EXPECT_EQ(labels(2), 1);
    EXPECT_EQ(labels(3), 0);

    load("0\t1", 2);
    EXPECT_EQ(labels(0), 0);
    EXPECT_EQ(labels(1), 1);
}

TEST_F(ReadLabel, Messages) {
    const char* invalid = "Error: Invalid data in labels";
    expect_failure("1 x\n", 2, invalid);
    expect_failure("1 2\n", 2, invalid);
    expect_failure("0-1\n", 2, invalid);  // a minus separator reads -1
    expect_failure("1 0 x", 2, "Error: Invalid format in label data.");

    const char* format = "Error: Invalid format in label data.";
    expect_failure("1 0\n", 4, format);
    expect_failure("1 0 1\n", 2, format);
    expect_failure("", 1, format);

    n = 2;
    EXPECT_FATAL(read_label(labels, dir.path("missing.txt").c_str()),
                 "Error: Cannot open the label file.");
}

}  // namespace
}  // namespace tivarne
