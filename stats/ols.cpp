// SPDX-License-Identifier: MIT
#include "stats/ols.h"

#include "stats/studentst.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace stats {

namespace {

// Sums about the means: centred, they keep the digits that calendar years
// would swallow.
struct Centred {
    double xMean = 0, yMean = 0;
    double sxx = 0, sxy = 0, syy = 0;
};

Centred centre(const std::int32_t *years, const double *values, std::size_t n)
{
    Centred c;
    for (std::size_t i = 0; i < n; ++i) {
        c.xMean += years[i];
        c.yMean += values[i];
    }
    c.xMean /= double(n);
    // A flat series is fitted exactly: its mean, summed and divided, may
    // miss the value by a bit and leave residuals of noise.
    const bool flat = std::all_of(values, values + n, [&](double v) { return v == values[0]; });
    c.yMean = flat ? values[0] : c.yMean / double(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double dx = years[i] - c.xMean;
        const double dy = values[i] - c.yMean;
        c.sxx += dx * dx;
        c.sxy += dx * dy;
        c.syy += dy * dy;
    }
    return c;
}

} // namespace

OlsFit fitOverYears(const std::vector<std::int32_t> &years, const std::vector<double> &values)
{
    const std::size_t n = values.size();
    assert(n >= 3 && years.size() >= n);
    const Centred c = centre(years.data(), values.data(), n);

    OlsFit fit;
    fit.slope = c.sxy / c.sxx;
    double sse = 0, successive = 0, previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double residual = values[i] - c.yMean - fit.slope * (years[i] - c.xMean);
        sse += residual * residual;
        if (i > 0)
            successive += (residual - previous) * (residual - previous);
        previous = residual;
    }
    fit.durbinWatson = successive / sse;
    const double df = double(n - 2);
    fit.slopeError = std::sqrt(sse / df / c.sxx);
    fit.rSquared = c.syy > 0 ? 1 - sse / c.syy : std::numeric_limits<double>::quiet_NaN();

    const double critical = criticalValue(int(n) - 2);
    fit.ciLow = fit.slope - critical * fit.slopeError;
    fit.ciHigh = fit.slope + critical * fit.slopeError;
    if (years.size() > n) {
        const double dx = years[n] - c.xMean;
        fit.forecast = c.yMean + fit.slope * dx;
        const double margin
            = critical * std::sqrt(sse / df * (1 + 1 / double(n) + dx * dx / c.sxx));
        fit.piLow = fit.forecast - margin;
        fit.piHigh = fit.forecast + margin;
    }
    fit.pValue = twoSidedP(fit.slope / fit.slopeError, int(n) - 2);
    return fit;
}

std::pair<double, double> predictionInterval(
    const std::int32_t *years, const double *values, std::size_t n, std::int32_t year)
{
    assert(n >= 3);
    const Centred c = centre(years, values, n);
    const double slope = c.sxy / c.sxx;
    double sse = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double residual = values[i] - c.yMean - slope * (years[i] - c.xMean);
        sse += residual * residual;
    }
    const double dx = year - c.xMean;
    const double forecast = c.yMean + slope * dx;
    const double margin = criticalValue(int(n) - 2)
        * std::sqrt(sse / double(n - 2) * (1 + 1 / double(n) + dx * dx / c.sxx));
    return {forecast - margin, forecast + margin};
}

} // namespace stats
