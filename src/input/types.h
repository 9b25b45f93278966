#pragma once
// The containers of a run. uBLAS disables its index checks when NDEBUG is set;
// the build keeps NDEBUG out of every build type so that the checks stay on.
#include <boost/numeric/ublas/matrix.hpp>
#include <boost/numeric/ublas/vector.hpp>

#ifdef BOOST_UBLAS_NDEBUG
#error "uBLAS index checks must stay enabled (do not define NDEBUG or BOOST_UBLAS_NDEBUG)"
#endif

namespace tivarne {

// Row j is sample j, column g is gene g.
using ExpressionMatrix = boost::numeric::ublas::matrix<double>;
// Per-gene statistics: medmad (gene x 4) and bivar (gene x 2).
using StatMatrix = boost::numeric::ublas::matrix<double>;
// The labels as read: 1 for class 1, 0 for class 2.
using LabelVector = boost::numeric::ublas::vector<int>;

}  // namespace tivarne
