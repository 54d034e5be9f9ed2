// SPDX-License-Identifier: MIT
// The ordinary least-squares line over calendar years, as international
// work reports a trend: slope per year with its standard error, 95%
// confidence interval, two-sided p-value (Student's t with n - 2 degrees of
// freedom, from Boost.Math) and R²; the forecast for the year after the
// series with its 95% prediction interval, and the Durbin-Watson statistic
// of the residuals.
//
// For an odd series its slope equals the window's, whose time codes are the
// years shifted by the middle year. For an even series the window's codes
// leave out zero and step by 2 across the middle, so they are not the years
// shifted, and the two slopes differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace stats {

struct OlsFit {
    double slope = 0;
    double slopeError = 0;
    double ciLow = 0;
    double ciHigh = 0;
    double pValue = 0;
    double rSquared = 0;
    double forecast = 0; // at years[n], when given
    double piLow = 0;
    double piHigh = 0;
    double durbinWatson = 0;
};

// Fits values[i] against years[i] for i < n = values.size(); needs n >= 3.
// When years has n + 1 entries, the last is the forecast's year.
OlsFit fitOverYears(const std::vector<std::int32_t> &years, const std::vector<double> &values);

// The 95% prediction interval at `year` of the line over the n years from
// `years` and their values: what fitOverYears gives for the year after, at
// any year, without the rest of the fit.
std::pair<double, double> predictionInterval(
    const std::int32_t *years, const double *values, std::size_t n, std::int32_t year);

} // namespace stats
