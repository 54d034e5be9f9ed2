// SPDX-License-Identifier: MIT
#include "stats/studentst.h"

#include <boost/math/distributions/students_t.hpp>

#include <cmath>
#include <limits>
#include <vector>

namespace stats {

namespace {

// Double precision throughout is ample for a p-value; the default would
// promote to long double at several times the cost.
using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;
using StudentsT = boost::math::students_t_distribution<double, Policy>;

} // namespace

double criticalValue(int df)
{
    thread_local std::vector<double> known;
    if (std::size_t(df) >= known.size())
        known.resize(std::size_t(df) + 1, std::numeric_limits<double>::quiet_NaN());
    double &value = known[std::size_t(df)];
    if (std::isnan(value))
        value = boost::math::quantile(boost::math::complement(StudentsT(df), 0.025));
    return value;
}

double twoSidedP(double t, int df)
{
    if (std::isnan(t))
        return std::numeric_limits<double>::quiet_NaN();
    if (std::isinf(t))
        return 0;
    return 2 * boost::math::cdf(boost::math::complement(StudentsT(df), std::fabs(t)));
}

PercentChange percentChange(double slope, double error, int df)
{
    const double critical = criticalValue(df);
    return {100 * std::expm1(slope), 100 * std::expm1(slope - critical * error),
        100 * std::expm1(slope + critical * error), twoSidedP(slope / error, df)};
}

} // namespace stats
