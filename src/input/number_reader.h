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

    // One "%lf" conversion of the token [first, last): text without white
    // space, ended by white space at `last` or by the end of the input
    // (`at_end`). Sets `used` to the characters converted, which may be fewer
    // than the token's ("1-2" converts "1"). The conversion of every reader,
    // on a stream or on text in memory.
    static Result convert(const char* first, const char* last, bool at_end, double& value,
                          std::size_t& used);

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

    std::FILE* f_;
    std::vector<char> buf_;
    std::size_t pos_ = 0, len_ = 0;
    bool eof_ = false;
    std::uint64_t base_ = 0;        // stream offset of buf_[0]
    std::uint64_t line_start_ = 0;  // stream offset where the current line starts
    std::vector<std::uint64_t> line_lengths_;
};

}  // namespace tivarne
