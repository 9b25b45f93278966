#include "driver/cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace tivarne {
namespace {

struct Parsed {
    std::optional<int> status;
    RunSettings settings;
    std::string out, err;
};

Parsed parse(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    optind = 0;  // start getopt afresh for every command line
    Parsed parsed;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.status = parse_command_line(static_cast<int>(words.size()), argv.data(), parsed.settings);
    parsed.out = testing::internal::GetCapturedStdout();
    parsed.err = testing::internal::GetCapturedStderr();
    return parsed;
}

const std::string kUsage = "Usage: ./bin/tiv [-h] -e filenameE -l filenameL -o filenameO\n";

TEST(ParseCommandLine, OptionsInAnyFormAndOrder) {
    Parsed p = parse({"./bin/tiv", "-o", "out.tsv", "-l", "labels.txt", "-e", "expr.txt"});
    EXPECT_FALSE(p.status.has_value());
    EXPECT_EQ(p.settings.expression_file, "expr.txt");
    EXPECT_EQ(p.settings.label_file, "labels.txt");
    EXPECT_EQ(p.settings.output_file, "out.tsv");
    EXPECT_EQ(p.out, "# of arguments: 0\n");
    EXPECT_EQ(p.err, "");

    // Attached arguments; a repeated option replaces the earlier value.
    p = parse({"./bin/tiv", "-efirst", "-llab", "-e", "second", "-oo"});
    EXPECT_FALSE(p.status.has_value());
    EXPECT_EQ(p.settings.expression_file, "second");
    EXPECT_EQ(p.settings.label_file, "lab");
    EXPECT_EQ(p.settings.output_file, "o");
}

TEST(ParseCommandLine, HelpAndUnknownOptions) {
    Parsed p = parse({"./bin/tiv", "-e", "a", "-h", "-q"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "HELP\n" + kUsage);
    EXPECT_EQ(p.out, "");

    // An unknown option before -h: getopt's diagnostic, then the usage line.
    p = parse({"./bin/tiv", "-q", "-h"});
    EXPECT_EQ(p.status, 1);
    ASSERT_GE(p.err.size(), kUsage.size());
    EXPECT_EQ(p.err.substr(p.err.size() - kUsage.size()), kUsage);
    EXPECT_NE(p.err, kUsage);
    EXPECT_EQ(p.out, "");

    p = parse({"./bin/tiv", "-l", "b", "-e"});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.err.substr(p.err.size() - kUsage.size()), kUsage);
}

TEST(ParseCommandLine, OperandsAndMissingFileNames) {
    Parsed p = parse({"./bin/tiv", "-e", "a", "-l", "b", "-o", "c", "d"});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.err, "Error: Wrong number of arguments.\n" + kUsage);
    EXPECT_EQ(p.out, "");

    p = parse({"./bin/tiv"});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.out, "# of arguments: 0\n");
    EXPECT_EQ(p.err, "Error: Specify \"-e filenameE\"\n" + kUsage);

    p = parse({"./bin/tiv", "-e", "", "-l", "b"});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.err, "Error: Specify \"-e filenameE\"\n" + kUsage);

    p = parse({"./bin/tiv", "-e", "a", "-o", "c"});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.err, "Error: Specify \"-l filenameL\"\n" + kUsage);

    p = parse({"./bin/tiv", "-e", "a", "-l", "b"});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.out, "# of arguments: 0\n");
    EXPECT_EQ(p.err, "Error: Specify \"-o filenameO\"\n" + kUsage);
}

}  // namespace
}  // namespace tivarne
