#include "base/LineFit.h"

#include <boost/math/statistics/linear_regression.hpp>

#include <set>
#include <tuple>

namespace kivora {

LineFit fitLine(const std::vector<double> &x, const std::vector<double> &y) {
    LineFit fit;
    if (x.size() != y.size() || std::set<double>(x.begin(), x.end()).size() < 2)
        return fit;
    std::tie(fit.intercept, fit.slope, fit.r2) =
        boost::math::statistics::simple_ordinary_least_squares_with_R_squared(x, y);
    return fit;
}

} // namespace kivora
