#pragma once
#include <cstdint>
#include <vector>

namespace tivarne {

// Benjamini-Hochberg q-values over a set of p-values, computed the plain way:
// the m p-values that are not NaN sorted ascending, and the k-th smallest
// given q = min over j >= k of (m * p_(j)) / j, capped at 1. Equal p-values
// get equal q-values. Every faster way must agree with it bit for bit.
class BenjaminiHochberg {
public:
    explicit BenjaminiHochberg(std::vector<double> p_values);
    std::int64_t tested() const { return static_cast<std::int64_t>(sorted_.size()); }
    // The q-value of a pair whose p-value is p (one of the set); NaN for NaN.
    double q_value(double p) const;

private:
    std::vector<double> sorted_, q_;
};

}  // namespace tivarne
