// SPDX-License-Identifier: MIT
// Student's t, as every interval and p-value here needs it (Boost.Math).
#pragma once

namespace stats {

// The 97.5% point of t with `df` degrees of freedom. Series of one length
// share it, so each thread keeps those it has found.
double criticalValue(int df);

// The two-sided p-value of the statistic `t`: NaN when t is not a number
// (a flat series fitted exactly: nothing to test), 0 when it is infinite (a
// perfect fit with a slope).
double twoSidedP(double t, int df);

// A log slope as a percent change a year, 100·(e^b − 1), with its 95%
// interval and two-sided p-value on `df` degrees of freedom.
struct PercentChange {
    double apc, low, high, p;
};
PercentChange percentChange(double slope, double error, int df);

} // namespace stats
