// The significance of one correlation, as R's cor.test computes it for
// Pearson's: t = r sqrt((n - 2) / (1 - r^2)) on n - 2 degrees of freedom,
// two-sided; applied to the biweight midcorrelation of a class.
#include <cmath>
#include <limits>
#include <string>

#include <boost/math/distributions/students_t.hpp>

#include "tivarne/tivarne.h"

namespace tivarne {

double correlation_p_value(double r, std::int32_t n) {
    if (std::isnan(r) || n < 3) return std::numeric_limits<double>::quiet_NaN();
    if (std::fabs(r) >= 1) return 0;
    const double df = static_cast<double>(n - 2);
    const double t = r * std::sqrt(df / (1 - r * r));
    const boost::math::students_t_distribution<double> student(df);
    return 2 * boost::math::cdf(boost::math::complement(student, std::fabs(t)));
}

std::string correlation_class(double r1, double r2, std::int32_t n1, std::int32_t n2, double level) {
    const double p1 = correlation_p_value(r1, n1), p2 = correlation_p_value(r2, n2);
    if (std::isnan(p1) || std::isnan(p2)) return "NA";
    auto sign = [level](double r, double p) { return p <= level ? (r > 0 ? "+" : "-") : "0"; };
    return std::string(sign(r1, p1)) + "/" + sign(r2, p2);
}

}  // namespace tivarne
