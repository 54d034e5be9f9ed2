// SPDX-License-Identifier: MIT
#include "ols.h"

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace stats {

namespace {

// Double precision throughout is ample for a p-value; the default would
// promote to long double at several times the cost.
using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;
using StudentsT = boost::math::students_t_distribution<double, Policy>;

// The 97.5% point of t with `df` degrees of freedom; series of one length
// share it, so it is found once per length.
double criticalValue(double df)
{
    thread_local std::unordered_map<double, double> known;
    const auto found = known.find(df);
    if (found != known.end())
        return found->second;
    const double value = boost::math::quantile(boost::math::complement(StudentsT(df), 0.025));
    known.emplace(df, value);
    return value;
}

} // namespace

OlsFit fitOverYears(const std::vector<std::int32_t> &years, const std::vector<double> &values)
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
    // A flat series is fitted exactly: its mean, summed and divided, may
    // miss the value by a bit and leave residuals of noise.
    const bool flat = std::all_of(values.begin(), values.begin() + std::ptrdiff_t(n),
        [&](double v) { return v == values[0]; });
    yMean = flat ? values[0] : yMean / double(n);
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
    double sse = 0, successive = 0, previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double residual = values[i] - yMean - fit.slope * (years[i] - xMean);
        sse += residual * residual;
        if (i > 0)
            successive += (residual - previous) * (residual - previous);
        previous = residual;
    }
    fit.durbinWatson = successive / sse;
    const double df = double(n - 2);
    fit.slopeError = std::sqrt(sse / df / sxx);
    fit.rSquared = syy > 0 ? 1 - sse / syy : nan;

    const double t = fit.slope / fit.slopeError;
    const double critical = criticalValue(df);
    fit.ciLow = fit.slope - critical * fit.slopeError;
    fit.ciHigh = fit.slope + critical * fit.slopeError;
    if (years.size() > n) {
        const double dx = years[n] - xMean;
        fit.forecast = yMean + fit.slope * dx;
        const double margin = critical * std::sqrt(sse / df * (1 + 1 / double(n) + dx * dx / sxx));
        fit.piLow = fit.forecast - margin;
        fit.piHigh = fit.forecast + margin;
    }
    if (std::isnan(t))
        fit.pValue = nan; // a flat series fitted exactly: no slope to test
    else if (std::isinf(t))
        fit.pValue = 0; // a perfect non-flat line
    else
        fit.pValue = 2 * boost::math::cdf(boost::math::complement(StudentsT(df), std::fabs(t)));
    return fit;
}

} // namespace stats
