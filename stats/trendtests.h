// SPDX-License-Identifier: MIT
// The trend statistics that journals and surveillance bulletins report
// beside a least-squares slope:
//
// - the annual percent change of the log-linear fit ln y = a + b·year,
//   APC = 100·(e^b − 1), with its 95% interval and the p-value of b;
//   undefined when a value is 0 or below;
// - the Mann-Kendall test: Kendall's S, its variance corrected for tied
//   values, Z with the continuity correction and the two-sided p-value;
// - Sen's slope, the median of the pairwise slopes, with its 95% interval
//   by Sen's rank method (as scipy.stats.theilslopes gives it).
//
// The pairwise slopes are n(n − 1)/2 doubles, found by selection, not by
// sorting: for n = 8,100 that is 33 million slopes, 262 MB and about a
// second.
#pragma once

#include "stats/reason.h"

#include <cstdint>
#include <vector>

namespace stats {

struct TrendTests {
    double apc = 0;
    double apcLow = 0;
    double apcHigh = 0;
    double apcP = 0;
    Reason apcReason = Reason::None; // why there is no APC
    double mkS = 0;
    double mkZ = 0;
    double mkP = 0;
    double sen = 0;
    double senLow = 0;
    double senHigh = 0;
};

// Over values[i] at years[i], i < values.size(); needs n >= 3.
TrendTests trendTests(const std::vector<std::int32_t> &years, const std::vector<double> &values);

} // namespace stats
