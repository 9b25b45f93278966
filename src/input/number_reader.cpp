#include "input/number_reader.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace tivarne {
namespace {

constexpr std::size_t kBlock = 1 << 20;

// White space as the C locale's isspace sees it.
inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// [+-]? digits* [. digits*] ([eE] [+-]? digits+)? with at least one mantissa
// digit, spanning exactly [p, end).
bool plain_decimal(const char* p, const char* end) {
    if (p < end && (*p == '+' || *p == '-')) ++p;
    bool digits = false;
    while (p < end && is_digit(*p)) ++p, digits = true;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && is_digit(*p)) ++p, digits = true;
    }
    if (!digits) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (p == end || !is_digit(*p)) return false;
        while (p < end && is_digit(*p)) ++p;
    }
    return p == end;
}

}  // namespace

NumberReader::NumberReader(std::FILE* f) : f_(f), buf_(kBlock) {}

// Moves [keep_from, len_) to the front and reads more after it.
bool NumberReader::fill(std::size_t keep_from) {
    const std::size_t kept = len_ - keep_from;
    if (kept > 0 && keep_from > 0) std::memmove(buf_.data(), buf_.data() + keep_from, kept);
    pos_ -= keep_from;
    len_ = kept;
    base_ += keep_from;
    if (eof_) return false;
    if (len_ == buf_.size()) buf_.resize(buf_.size() * 2);  // a very long token
    const std::size_t got = std::fread(buf_.data() + len_, 1, buf_.size() - len_, f_);
    len_ += got;
    if (got == 0) eof_ = true;
    return got > 0;
}

NumberReader::Result NumberReader::next(double& value) {
    // Leading white space.
    for (;;) {
        for (; pos_ < len_ && is_space(buf_[pos_]); ++pos_) {
            if (buf_[pos_] != '\n') continue;
            const std::uint64_t end = base_ + pos_ + 1;
            line_lengths_.push_back(end - line_start_);
            line_start_ = end;
        }
        if (pos_ < len_) break;
        if (!fill(pos_)) return Result::End;
    }
    // The token runs to the next white space or the end of the input.
    std::size_t end = pos_;
    for (;;) {
        while (end < len_ && !is_space(buf_[end])) ++end;
        if (end < len_ || eof_) break;
        const std::size_t start = pos_;
        fill(start);
        end -= start;
    }
    std::size_t used = 0;
    const Result r = convert(buf_.data() + pos_, buf_.data() + end, end == len_, value, used);
    pos_ += used;
    return r;
}

void NumberReader::finish_lines() {
    const std::uint64_t end = base_ + len_;
    if (end > line_start_) line_lengths_.push_back(end - line_start_);
    line_start_ = end;
}

// Plain decimals directly; any other form by the C library's "%lf" on the
// token and the character after it (so that it sees the same look-ahead as on
// the file).
NumberReader::Result NumberReader::convert(const char* first, const char* last, bool at_end,
                                           double& value, std::size_t& used) {
    used = 0;
    if (plain_decimal(first, last)) {
        const char* digits = *first == '+' ? first + 1 : first;
        const auto r = std::from_chars(digits, last, value);
        if (r.ec == std::errc() && r.ptr == last) {
            used = static_cast<std::size_t>(last - first);
            return Result::Value;
        }
    }
    const std::size_t size = static_cast<std::size_t>(last - first) + (at_end ? 0 : 1);
    std::FILE* m = fmemopen(const_cast<char*>(first), size, "r");
    if (!m) return Result::Mismatch;
    const int r = std::fscanf(m, "%lf", &value);
    const long read = std::ftell(m);
    std::fclose(m);
    if (r == EOF) return Result::End;
    if (r == 0) return Result::Mismatch;
    used = static_cast<std::size_t>(read);
    return Result::Value;
}

}  // namespace tivarne
