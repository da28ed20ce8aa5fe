#pragma once

#include <limits>
#include <vector>

namespace kivora {

// Least squares line y = intercept + slope · x with its R²; NaN without two distinct x. All y
// equal is a perfect fit: slope 0, R² 1. Used by the class report (RT against disparity) and by
// the display code (a refresh's time against its count: the refresh period).
struct LineFit {
    double slope = std::numeric_limits<double>::quiet_NaN();
    double intercept = std::numeric_limits<double>::quiet_NaN();
    double r2 = std::numeric_limits<double>::quiet_NaN();
};
LineFit fitLine(const std::vector<double> &x, const std::vector<double> &y);

} // namespace kivora
