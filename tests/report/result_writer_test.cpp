#include "report/result_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "input/sizes.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

const char kRule[] = "-------------------------------------------------\n";
const char kColumns[] =
    "rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 \t weight c\n";
const char kNoPairs[] = "\n---No significant gene pairs---\n";
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string header(const std::string& level_line, int max_pairs) {
    return std::string("Results of TIVARNE:\n") + kRule + level_line + "\n" +
           "number of gene pairs to be output = " + std::to_string(max_pairs) + " (maximum)\n" + kRule;
}

class WriteResults : public ::testing::Test {
protected:
    void SetUp() override {
        n1 = 10;
        n2 = 10;
        settings.output_file = dir.path("result.tsv");
        // Three genes, pairs in table order (0,1), (0,2), (1,2); ranked
        // (0,2) with score 0.63 (p = 0.0286), (1,2) with 0.50 (p = 0.0165),
        // (0,1) with 0.05 (p far above any level used here).
        add_pair(0, 1, 0.5, 0.45);
        add_pair(0, 2, 0.8, 0.1);
        add_pair(1, 2, 0.5, -0.5);
        table.negScore = {-0.63, -0.5, -0.05};
        rankOrder = {1, 2, 0};
    }

    void add_pair(int x, int y, double r1, double r2) {
        table.geneX.push_back(x);
        table.geneY.push_back(y);
        table.r1.push_back(r1);
        table.r2.push_back(r2);
    }

    // Runs the writer and returns the result file; console output is kept.
    std::string write(double level, int max_pairs) {
        settings.significant_level = level;
        settings.max_pairs = max_pairs;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        write_results(settings, table, rankOrder);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return test::read_file(settings.output_file);
    }

    test::ScratchDir dir;
    RunSettings settings;
    PairTable table;
    std::vector<std::int32_t> rankOrder;
    std::string out, err;
};

const char kRow1[] = "1\t0.63\t-1.54\t1\t3\t0.80\t0.10\t0.90\n";
const char kConsole[] = "\nresult was output in the output file.\n";

TEST_F(WriteResults, SignificantPairsInRankOrder) {
    EXPECT_EQ(write(0.05, 10), header("significant level = 0.050000", 10) + kColumns + kRow1 +
                                   "2\t0.50\t-1.78\t2\t3\t0.50\t-0.50\t0.50\n");
    EXPECT_EQ(out, kConsole);
    EXPECT_EQ(err, "");
}

TEST_F(WriteResults, MaxPairsStopsTheWalkAfterARow) {
    // A pair without a p-value behind the second rank shows whether the walk
    // went past the row limit.
    add_pair(1, 2, kNaN, 0.2);
    table.negScore.push_back(-0.01);
    rankOrder.push_back(3);
    for (int max_pairs : {1, 0, -5}) {
        EXPECT_EQ(write(0.05, max_pairs),
                  header("significant level = 0.050000", max_pairs) + kColumns + kRow1);
        EXPECT_EQ(out, kConsole);
        EXPECT_EQ(err, "");
    }
    write(0.05, 3);
    EXPECT_EQ(err, "Note: 1 examined gene pairs had no computable p-value (ECOR) and were not "
                   "selected.\n");
}

TEST_F(WriteResults, RankCountsWrittenRows) {
    EXPECT_EQ(write(0.02, 5), header("significant level = 0.020000", 5) + kColumns +
                                  "1\t0.50\t-1.78\t2\t3\t0.50\t-0.50\t0.50\n");
}

TEST_F(WriteResults, NoSignificantPairs) {
    EXPECT_EQ(write(0.001, 5), header("significant level = 0.001000", 5) + kNoPairs);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(WriteResults, LevelLineFormsWithAnEmptyTable) {
    // No pairs: the header, then the no-pairs line; nothing on the console.
    table = PairTable{};
    rankOrder.clear();
    EXPECT_EQ(write(1e-6, 20), header("significant level = 0.000001", 20) + kNoPairs);
    EXPECT_EQ(write(std::nextafter(1e-6, 0.0), 20),
              header("log10(significant level) = -6.000000", 20) + kNoPairs);
    EXPECT_EQ(write(5e-7, 20), header("log10(significant level) = -6.301030", 20) + kNoPairs);
    EXPECT_EQ(write(1e-8, 20), header("log10(significant level) = -8.000000", 20) + kNoPairs);
    EXPECT_EQ(write(0, -2), header("significant level = 0.000000", -2) + kNoPairs);
    EXPECT_EQ(write(1.5, 0), header("significant level = 1.500000", 0) + kNoPairs);
    EXPECT_EQ(out, "");

    const std::string negative = write(-0.5, 1);
    const std::string prefix = std::string("Results of TIVARNE:\n") + kRule + "log10(significant level) = ";
    EXPECT_EQ(negative.compare(0, prefix.size(), prefix), 0) << negative;
    EXPECT_NE(negative.find("nan\n"), std::string::npos) << negative;
}

TEST_F(WriteResults, PvalueOfZeroQualifiesAtLevelZero) {
    n1 = 1000;
    n2 = 1000;
    table = PairTable{};
    add_pair(0, 1, 0.5, 0.4);
    add_pair(4, 6, 0.99, -0.99);
    table.negScore = {-1.98, -0.1};
    rankOrder = {1, 0};
    EXPECT_EQ(write(0, 1), header("significant level = 0.000000", 1) + kColumns +
                               "1\t1.98\t-inf\t5\t7\t0.99\t-0.99\t1.00\n");
}

TEST_F(WriteResults, PairsWithoutPvalueAreSkippedAndCounted) {
    table = PairTable{};
    add_pair(0, 1, kNaN, 0.3);
    add_pair(0, 2, 1.0, 1.0);
    add_pair(1, 2, 0.8, 0.1);
    table.negScore = {-0.9, -0.8, -0.63};
    rankOrder = {0, 1, 2};
    EXPECT_EQ(write(0.05, 10), header("significant level = 0.050000", 10) + kColumns +
                                   "1\t0.63\t-1.54\t2\t3\t0.80\t0.10\t0.90\n");
    EXPECT_EQ(out, kConsole);
    EXPECT_EQ(err, "Note: 2 examined gene pairs had no computable p-value (ECOR) and were not "
                   "selected.\n");
}

TEST_F(WriteResults, OutputFileThatCannotBeOpenedOrWritten) {
    settings.significant_level = 0.05;
    settings.max_pairs = 10;
    settings.output_file = dir.path("no-such-folder/result.tsv");
    EXPECT_FATAL(write_results(settings, table, rankOrder), "Error: Cannot open the output file.");
    // A full disk: the open succeeds, the write does not.
    settings.output_file = "/dev/full";
    EXPECT_FATAL(write_results(settings, table, rankOrder), "Error: Cannot write the output file.");
}

}  // namespace
}  // namespace tivarne
