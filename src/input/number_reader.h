#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tivarne {

// Reads a text stream of numbers exactly as repeated fscanf(f, "%lf") does:
// the same accepted forms, values, failures and positions. Plain decimal
// numbers are converted directly from a block buffer; any other form (hex,
// inf, nan, a number run into other text, ...) is handed to the C library's
// own "%lf" on that piece of text, so unusual input takes the reference path.
class NumberReader {
public:
    enum class Result { Value, Mismatch, End };  // like fscanf's 1, 0, EOF

    explicit NumberReader(std::FILE* f);
    Result next(double& value);

    // Lines of the text passed so far: the number of newlines (the 0-based
    // line of the next value), and the length of each completed line,
    // newline included. After next() has returned End, finish_lines() adds
    // a last line that has no newline.
    std::size_t line() const { return line_lengths_.size(); }
    const std::vector<std::uint64_t>& line_lengths() const { return line_lengths_; }
    void finish_lines();

private:
    bool fill(std::size_t keep_from);  // false at end of input or on error
    Result slow_path(std::size_t token_end, bool at_end, double& value);

    std::FILE* f_;
    std::vector<char> buf_;
    std::size_t pos_ = 0, len_ = 0;
    bool eof_ = false;
    std::uint64_t base_ = 0;        // stream offset of buf_[0]
    std::uint64_t line_start_ = 0;  // stream offset where the current line starts
    std::vector<std::uint64_t> line_lengths_;
};

}  // namespace tivarne
