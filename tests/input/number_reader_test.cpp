// The block-buffered number reader against fscanf(f, "%lf") itself, value for
// value (bits included) and failure for failure, on files of random
// number-like text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "input/number_reader.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

struct Outcome {
    int result;  // 1 value, 0 mismatch, -1 end
    double value;
};

std::vector<Outcome> read_with_fscanf(const std::string& path) {
    std::vector<Outcome> out;
    std::FILE* f = std::fopen(path.c_str(), "r");
    for (;;) {
        double v = 0;
        const int r = std::fscanf(f, "%lf", &v);
        out.push_back({r == EOF ? -1 : r, r == 1 ? v : 0});
        if (r != 1) break;
    }
    std::fclose(f);
    return out;
}

std::vector<Outcome> read_with_reader(const std::string& path) {
    std::vector<Outcome> out;
    std::FILE* f = std::fopen(path.c_str(), "r");
    NumberReader reader(f);
    for (;;) {
        double v = 0;
        const NumberReader::Result r = reader.next(v);
        const int code = r == NumberReader::Result::Value ? 1 : r == NumberReader::Result::End ? -1 : 0;
        out.push_back({code, code == 1 ? v : 0});
        if (code != 1) break;
    }
    std::fclose(f);
    return out;
}

void expect_same(const std::string& path, const std::string& what) {
    const std::vector<Outcome> want = read_with_fscanf(path), got = read_with_reader(path);
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t t = 0; t < want.size(); ++t) {
        ASSERT_EQ(got[t].result, want[t].result) << what << " (conversion " << t << ")";
        ASSERT_EQ(std::memcmp(&got[t].value, &want[t].value, sizeof(double)), 0)
            << what << " (conversion " << t << ")";
    }
}

TEST(NumberReader, KnownFormsAsFscanf) {
    test::ScratchDir dir;
    const char* texts[] = {
        "1 2.5 -3 +4 .5 5. -.25e3 1E-2 1e+2\n",
        "0x1p-3 -0X1.8P1 0x.8 0x",  // hexadecimal
        "inf -INF Infinity nan NaN(123) nan(",  // read, then rejected by the loader
        "1e308 1e309 1e-320 1e-400 -0 4.9e-324\n",
        "1e 2", "1e+ 2", "1e+x", "1.5abc", "1,2", "--1", "+-1", ".", "-", "+", "e5",
        "123456789012345678901234567890.123456789e-10",
        "  \t\n\v\f\r 7 \r\n8",
        "",
    };
    int n = 0;
    for (const char* t : texts) {
        const std::string path = dir.write("t" + std::to_string(n++), t);
        expect_same(path, std::string("text \"") + t + "\"");
    }
    expect_same(dir.write("nul", std::string("3 4\0 5", 6)), "NUL inside a token");
}

TEST(NumberReader, RandomTextAsFscanf) {
    test::ScratchDir dir;
    std::mt19937_64 rng(31337);
    const std::string alphabet = "0123456789012345678901234567890123456789.....eeEE++--  \t\n\r"
                                 "xXpPaAfFiInNtTyY()_,;";
    for (int trial = 0; trial < 3000; ++trial) {
        std::string text;
        const int length = static_cast<int>(rng() % 60);
        for (int c = 0; c < length; ++c) text += alphabet[rng() % alphabet.size()];
        if (trial % 10 == 0) text += '\0';
        expect_same(dir.write("r", text), "\"" + text + "\"");
    }
}

TEST(NumberReader, ManyValuesAcrossBlockBoundaries) {
    test::ScratchDir dir;
    std::mt19937_64 rng(8);
    std::string text;
    char buf[64];
    while (text.size() < (3u << 20)) {
        std::snprintf(buf, sizeof buf, "%.17g%s", std::ldexp(static_cast<double>(rng() >> 11), -40) - 4096.0,
                      rng() % 13 == 0 ? "\n" : " ");
        text += buf;
    }
    text += "0x1p-2 1e+5";  // the slow path at the very end
    expect_same(dir.write("big", text), "3 MiB of values");
}

}  // namespace
}  // namespace tivarne
