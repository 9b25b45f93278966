#include "selection/bh.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tivarne {

BenjaminiHochberg::BenjaminiHochberg(std::vector<double> p_values) : sorted_(std::move(p_values)) {
    sorted_.erase(std::remove_if(sorted_.begin(), sorted_.end(), [](double p) { return std::isnan(p); }),
                  sorted_.end());
    std::sort(sorted_.begin(), sorted_.end());
    const double m = static_cast<double>(sorted_.size());
    q_.resize(sorted_.size());
    double smallest = 1;
    for (std::size_t k = sorted_.size(); k-- > 0;) {
        const double ratio = (m * sorted_[k]) / static_cast<double>(k + 1);
        if (ratio < smallest) smallest = ratio;
        q_[k] = smallest;
    }
}

double BenjaminiHochberg::q_value(double p) const {
    if (std::isnan(p)) return std::numeric_limits<double>::quiet_NaN();
    const auto at = std::lower_bound(sorted_.begin(), sorted_.end(), p);
    return q_[static_cast<std::size_t>(at - sorted_.begin())];
}

}  // namespace tivarne
