#pragma once
// The containers of an analysis, all range-checked in every build.
//
// uBLAS checks its indices only while NDEBUG is not defined (it then leaves
// BOOST_UBLAS_NDEBUG undefined). The library's own build keeps NDEBUG out of
// every build type; a build that defines it (as Python's and R's extension
// builds do) must undefine it for these sources, or it does not compile.
#if defined(NDEBUG) || defined(BOOST_UBLAS_NDEBUG)
#error "uBLAS index checks must stay enabled: compile the tivarne library with -UNDEBUG"
#endif
// A failed check throws (std::out_of_range and kin) without writing to
// standard error: the library never prints.
#ifndef BOOST_UBLAS_NO_STD_CERR
#define BOOST_UBLAS_NO_STD_CERR
#endif
#include <boost/numeric/ublas/matrix.hpp>
#include <boost/numeric/ublas/vector.hpp>

#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "tivarne/tivarne.h"

namespace tivarne {

// Row j is sample j, column g is gene g: the command line's expression data.
using ExpressionMatrix = boost::numeric::ublas::matrix<double>;
// Per-gene statistics: medmad (gene x 4) and bivar (gene x 2).
using StatMatrix = boost::numeric::ublas::matrix<double>;
// Labels as read (1 class 1, 0 class 2), and the two class sizes.
using LabelVector = boost::numeric::ublas::vector<int>;

[[noreturn]] inline void index_out_of_range() { fail(Error::Kind::Internal, message::kIndexOutOfRange); }

// The caller's data seen as the expression matrix: element (j, g) is the
// value of gene g in sample j. Every access is checked.
class ExpressionView {
public:
    explicit ExpressionView(const DataView& data) : data_(data) {}
    double operator()(std::size_t j, std::size_t g) const {
        if (j >= size1() || g >= size2()) index_out_of_range();
        return data_.values[static_cast<std::ptrdiff_t>(g) * data_.gene_stride +
                            static_cast<std::ptrdiff_t>(j) * data_.sample_stride];
    }
    std::size_t size1() const { return static_cast<std::size_t>(data_.samples); }
    std::size_t size2() const { return static_cast<std::size_t>(data_.genes); }

private:
    DataView data_;
};

// The caller's labels; every access is checked.
class LabelView {
public:
    explicit LabelView(const DataView& data) : labels_(data.labels), size_(data.samples) {}
    int operator()(std::size_t j) const {
        if (j >= size()) index_out_of_range();
        return labels_[j];
    }
    std::size_t size() const { return static_cast<std::size_t>(size_); }

private:
    const std::int32_t* labels_;
    std::int32_t size_;
};

}  // namespace tivarne
