#pragma once
// Helpers shared by the unit tests, with the standard headers they all use:
// scratch files, comparisons, and one data fixture for every test that needs a
// study.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tivarne/tivarne.h"

// Expects `statement` to throw tivarne::Error with exactly `message`.
#define EXPECT_ERROR(statement, message)                                        \
    do {                                                                        \
        try {                                                                   \
            statement;                                                          \
            ADD_FAILURE() << #statement " did not throw; expected " << message; \
        } catch (const ::tivarne::Error& error_) {                              \
            EXPECT_STREQ(error_.what(), message);                               \
        }                                                                       \
    } while (0)

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
    ~ScratchDir() { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Writes `bytes` exactly and returns the file's path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

private:
    std::filesystem::path dir_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// True when `actual` agrees with `expected` written to six significant digits.
inline ::testing::AssertionResult six_digits(double actual, double expected) {
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - 5);
    if (std::fabs(actual - expected) <= 0.5 * unit * 1.0001) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actual << " differs from " << expected << " in the first six significant digits";
}

// A two-class study: normal noise with outliers and planted differential
// pairs; unless `degenerate` is false, also duplicated genes (tied scores) and
// genes constant within class 1, within class 2 and within both (NaN scores).
// The classes are interleaved at random. values[g * samples + s].
struct Study {
    int genes = 0, samples = 0;
    std::vector<double> values;
    std::vector<std::int32_t> labels;

    Study(int gene_count, int size1, int size2, unsigned seed, bool degenerate = true)
        : genes(gene_count), samples(size1 + size2) {
        std::mt19937_64 rng(seed);
        std::normal_distribution<double> normal;
        for (int j = 0; j < samples; ++j) labels.push_back(j < size1 ? 1 : 0);
        std::shuffle(labels.begin(), labels.end(), rng);
        values.resize(static_cast<std::size_t>(genes) * samples);
        for (int g = 0; g < genes; ++g)
            for (int j = 0; j < samples; ++j) {
                double x = normal(rng);
                if (rng() % 11 == 0) x *= 50;  // outliers
                if (g % 29 == 5) x = (labels[j] ? 1 : -1) * at(g - 1, j) + 0.1 * normal(rng);
                if (degenerate) {
                    if (g % 9 == 4 && labels[j] == 1) x = 1.25;  // constant in class 1
                    if (g % 13 == 7 && labels[j] == 0) x = -3;   // constant in class 2
                    if (g % 19 == 8) x = 0.5;                    // constant in both
                    if (g % 10 == 6) x = at(g - 1, j);           // a duplicated gene
                }
                at(g, j) = x;
            }
    }
    double& at(int g, int j) { return values[static_cast<std::size_t>(g) * samples + j]; }

    DataView view() const { return {values.data(), genes, samples, samples, 1, labels.data()}; }

    // Appends a gene, `factor` times gene g (a power of two: every term of
    // the biweight scales exactly, so the new gene's correlations are g's to
    // the last bit).
    void add_multiple(int g, double factor) {
        values.resize(values.size() + static_cast<std::size_t>(samples));
        for (int j = 0; j < samples; ++j) at(genes, j) = factor * at(g, j);
        ++genes;
    }
    // Class 2 a copy of class 1 (of the same size) in genes [0, count): r1 =
    // r2 for every pair among them, so their scores are 0 and their p-values
    // 1, or none where r1 = r2 = 1.
    void mirror_classes(int count) {
        for (int g = 0; g < count; ++g)
            for (int j = 0, from = 0; j < samples; ++j)
                if (labels[j] == 0) {
                    while (labels[from] != 1) ++from;
                    at(g, j) = at(g, from++);
                }
    }
};

// Values near 1e200 in the first third of the genes: squares overflow,
// midvariances become infinite and weights NaN while correlations stay finite
// (NaN scores with p-values).
inline Study huge_values(int genes = 40) {
    Study huge(genes, 5, 6, 45, false);
    for (std::size_t v = 0; v < huge.values.size() / 3; ++v) huge.values[v] *= 1e200;
    return huge;
}

// Pair (x, y) twice: two genes added, twice x and twice y, whose pair has
// (x, y)'s score to the last bit (both midvariances scale by four, so the
// weight does not change). They are appended, or put in front: the pair then
// comes first in pair order.
inline Study with_pair_twice(const Study& study, int x, int y, bool in_front = false) {
    Study twice = study;
    twice.add_multiple(x, 2);
    twice.add_multiple(y, 2);
    if (in_front) std::rotate(twice.values.begin(), twice.values.end() - 2 * twice.samples, twice.values.end());
    return twice;
}

// Everything analyse() returns, down to the bits of every number, as one
// string: two results are the same when their fingerprints are.
inline std::string fingerprint(const Result& r) {
    std::string s = std::to_string(r.without_p_value) + "/" + std::to_string(r.tested) + ":";
    auto add = [&s](const PairScore& p, std::initializer_list<double> more) {
        for (double v : {p.score, p.r1, p.r2, p.c}) s.append(reinterpret_cast<const char*>(&v), sizeof v);
        for (double v : more) s.append(reinterpret_cast<const char*>(&v), sizeof v);
        s += std::to_string(p.gene_x) + "," + std::to_string(p.gene_y) + ";";
    };
    for (const SelectedPair& p : r.selected) add(p, {p.p_value, p.log10_p, p.q_value});
    s += "|";
    for (const PairScore& p : r.listings.first_pairs) add(p, {});
    s += "|";
    for (const PairScore& p : r.listings.top_pairs) add(p, {});
    return s;
}

}  // namespace tivarne::test
