#pragma once
// Helpers shared by the unit tests: fatal-error expectations and scratch files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "driver/error.h"

// Expects `statement` to end the run with a FatalError whose message is exactly
// `message` (the text that reaches standard error).
#define EXPECT_FATAL(statement, message)                     \
    EXPECT_THROW(                                            \
        {                                                    \
            try {                                            \
                statement;                                   \
            } catch (const ::tivarne::FatalError& fatal_) {  \
                EXPECT_STREQ(fatal_.what(), message);        \
                throw;                                       \
            }                                                \
        },                                                   \
        ::tivarne::FatalError)

namespace tivarne::test {

// A private directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tivarne-unit-XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot create a scratch directory";
        dir_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Writes `bytes` exactly (binary mode) and returns the file's path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path(name), std::ios::binary);
        out << bytes;
        return path(name);
    }

private:
    std::filesystem::path dir_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// True when `actual` agrees with `expected` written to six significant digits.
inline ::testing::AssertionResult SixDigits(double actual, double expected) {
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - 5);
    if (std::fabs(actual - expected) <= 0.5 * unit * 1.0001) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actual << " differs from " << expected << " in the first six significant digits";
}

}  // namespace tivarne::test
