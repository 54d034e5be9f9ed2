// SPDX-License-Identifier: MIT
// The ordinary least-squares line over calendar years, as international
// work reports a trend: slope per year with its standard error, 95%
// confidence interval, two-sided p-value (Student's t with n - 2 degrees of
// freedom, from Boost.Math) and R².
//
// For an odd series its slope equals the window's, whose time codes are the
// years shifted by the middle year. For an even series the window's codes
// leave out zero and step by 2 across the middle, so they are not the years
// shifted, and the two slopes differ.
#pragma once

#include <QtGlobal>

#include <vector>

namespace batch {

struct OlsFit {
    double slope = 0;
    double slopeError = 0;
    double ciLow = 0;
    double ciHigh = 0;
    double pValue = 0;
    double rSquared = 0;
};

// Fits values[i] against years[i] for i < values.size(); needs n >= 3.
OlsFit fitOverYears(const std::vector<qint32> &years, const std::vector<double> &values);

} // namespace batch
