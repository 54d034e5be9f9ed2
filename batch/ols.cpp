#include "ols.h"

#include <boost/math/distributions/students_t.hpp>

#include <cassert>
#include <cmath>
#include <limits>

namespace batch {

OlsFit fitOverYears(const std::vector<qint32> &years, const std::vector<double> &values)
{
    const std::size_t n = values.size();
    assert(n >= 3 && years.size() >= n);
    const double nan = std::numeric_limits<double>::quiet_NaN();

    // Centred sums keep the digits that calendar years would swallow.
    double xMean = 0, yMean = 0;
    for (std::size_t i = 0; i < n; ++i) {
        xMean += years[i];
        yMean += values[i];
    }
    xMean /= double(n);
    yMean /= double(n);
    double sxx = 0, sxy = 0, syy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double dx = years[i] - xMean;
        const double dy = values[i] - yMean;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }

    OlsFit fit;
    fit.slope = sxy / sxx;
    double sse = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double residual = values[i] - yMean - fit.slope * (years[i] - xMean);
        sse += residual * residual;
    }
    const double df = double(n - 2);
    fit.slopeError = std::sqrt(sse / df / sxx);
    fit.rSquared = syy > 0 ? 1 - sse / syy : nan;

    const double t = fit.slope / fit.slopeError;
    const boost::math::students_t dist(df);
    const double critical = boost::math::quantile(boost::math::complement(dist, 0.025));
    fit.ciLow = fit.slope - critical * fit.slopeError;
    fit.ciHigh = fit.slope + critical * fit.slopeError;
    if (std::isnan(t))
        fit.pValue = nan;  // a flat series fitted exactly: no slope to test
    else if (std::isinf(t))
        fit.pValue = 0;  // a perfect non-flat line
    else
        fit.pValue = 2 * boost::math::cdf(boost::math::complement(dist, std::fabs(t)));
    return fit;
}

} // namespace batch
