// The block-buffered number reader against fscanf(f, "%lf") itself, value for
// value (bits included) and failure for failure, on files of random
// number-like text.

#include <cstdio>
#include <utility>

#include "input/number_reader.h"
#include "support/test_support.h"

namespace tivarne {
namespace {

// Every conversion up to the first that gives no value, as (1 value, 0
// mismatch, -1 end; the value).
std::vector<std::pair<int, double>> conversions(const std::string& path, bool with_reader) {
    std::vector<std::pair<int, double>> out;
    std::FILE* f = std::fopen(path.c_str(), "r");
    NumberReader reader(f);
    for (int code = 1; code == 1;) {
        double v = 0;
        if (with_reader) {
            const NumberReader::Result r = reader.next(v);
            code = r == NumberReader::Result::Value ? 1 : r == NumberReader::Result::End ? -1 : 0;
        } else {
            code = std::fscanf(f, "%lf", &v);
            code = code == EOF ? -1 : code;
        }
        out.emplace_back(code, code == 1 ? v : 0);
    }
    std::fclose(f);
    return out;
}

void expect_same(const std::string& path, const std::string& what) {
    const auto want = conversions(path, false), got = conversions(path, true);
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t t = 0; t < want.size(); ++t)
        ASSERT_TRUE(got[t].first == want[t].first && test::same_bits(got[t].second, want[t].second))
            << what << " (conversion " << t << ": " << got[t].second << ", fscanf " << want[t].second << ")";
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
    for (const char* t : texts) expect_same(dir.write("t", t), std::string("text \"") + t + "\"");
    expect_same(dir.write("nul", std::string("3 4\0 5", 6)), "NUL inside a token");
}

TEST(NumberReader, RandomTextAndManyValuesAsFscanf) {
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
    // Many values across the reader's block boundaries.
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
