// SPDX-License-Identifier: MIT
#include "trendtests.h"

#include "ols.h"

#include <boost/math/distributions/normal.hpp>

#include <QObject>

#include <algorithm>
#include <cmath>
#include <limits>

namespace batch {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

void annualPercentChange(
    const std::vector<qint32> &years, const std::vector<double> &values, TrendTests &t)
{
    if (std::any_of(values.begin(), values.end(), [](double v) { return !(v > 0); })) {
        t.apc = t.apcLow = t.apcHigh = t.apcP = NaN;
        t.apcNote = QObject::tr("есть значения ≤ 0: логарифм не определён");
        return;
    }
    thread_local std::vector<double> logs;
    logs.resize(values.size());
    std::transform(
        values.begin(), values.end(), logs.begin(), [](double v) { return std::log(v); });
    const OlsFit fit = fitOverYears(years, logs);
    t.apc = 100 * std::expm1(fit.slope);
    t.apcLow = 100 * std::expm1(fit.ciLow);
    t.apcHigh = 100 * std::expm1(fit.ciHigh);
    t.apcP = fit.pValue;
}

// Kendall's S, Z and p; returns the variance of S under no trend, less
// what tied values take from it.
double mannKendall(const std::vector<double> &values, TrendTests &t)
{
    const std::size_t n = values.size();
    qint64 s = 0;
    // How many values equal each one, itself included: the tie groups
    // without sorting, since a group of t takes t(t - 1)(2t + 5) from the
    // variance, (t - 1)(2t + 5) for each of its values.
    thread_local std::vector<qint32> same;
    same.assign(n, 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            s += (values[j] > values[i]) - (values[j] < values[i]);
            const qint32 tie = values[j] == values[i];
            same[i] += tie;
            same[j] += tie;
        }
    }
    const double nn = double(n);
    double variance = nn * (nn - 1) * (2 * nn + 5);
    for (const qint32 t : same)
        variance -= double(t - 1) * (2 * double(t) + 5);
    variance /= 18;
    t.mkS = double(s);
    t.mkZ = s > 0 ? (double(s) - 1) / std::sqrt(variance)
        : s < 0   ? (double(s) + 1) / std::sqrt(variance)
                  : 0;
    t.mkP = std::erfc(std::fabs(t.mkZ) / std::sqrt(2.0));
    return variance;
}

// The k-th smallest of slopes[0, end) (0-based), moving them about so
// that none before it is larger and none after it smaller. A quickselect
// whose partition has no branch on the data: the slopes of a noisy series
// would mispredict std::nth_element's every other comparison.
double select(std::vector<double> &slopes, std::size_t k, std::size_t end)
{
    double *const a = slopes.data();
    std::size_t lo = 0, hi = end;
    // Past this many passes the pivots are unlucky: std::nth_element
    // still bounds the work.
    for (int passes = 0; hi - lo > 32 && passes < 64; ++passes) {
        const double x = a[lo], y = a[lo + (hi - lo) / 2], z = a[hi - 1];
        const double pivot = std::max(std::min(x, y), std::min(std::max(x, y), z));
        std::size_t less = lo;
        for (std::size_t i = lo; i < hi; ++i) {
            const double v = a[i];
            a[i] = a[less];
            a[less] = v;
            less += v < pivot;
        }
        if (k < less) {
            hi = less;
            continue;
        }
        // Ties with the pivot next, so that a run of equal slopes ends
        // the search instead of repeating it.
        std::size_t equal = less;
        for (std::size_t i = less; i < hi; ++i) {
            const double v = a[i];
            a[i] = a[equal];
            a[equal] = v;
            equal += v == pivot;
        }
        if (k < equal)
            return pivot;
        lo = equal;
    }
    std::nth_element(a + lo, a + k, a + hi);
    return a[k];
}

// `variance` is that of Kendall's S: the values' ties are the slopes'.
void senSlope(const std::vector<qint32> &years, const std::vector<double> &values, double variance,
    TrendTests &t)
{
    const std::size_t n = values.size();
    thread_local std::vector<double> slopes;
    slopes.clear();
    slopes.reserve(n * (n - 1) / 2);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j)
            slopes.push_back((values[j] - values[i]) / double(years[j] - years[i]));
    }
    const std::size_t count = slopes.size();
    // Sen (1968), eq. 2.6, with the indices rounded half to even as numpy does.
    static const double z = boost::math::quantile(boost::math::normal(), 0.025);
    const double sigma = std::sqrt(variance);
    const auto upper
        = std::size_t(std::min(std::nearbyint((double(count) - z * sigma) / 2), double(count - 1)));
    const auto lower
        = std::size_t(std::max(std::nearbyint((double(count) + z * sigma) / 2) - 1, 0.0));
    // Largest first, each among the smallest that the one before left at
    // the front, so that each pass is over fewer slopes.
    const std::size_t middle = count / 2;
    t.senHigh = select(slopes, upper, count);
    const std::size_t medianEnd = middle <= upper ? upper + 1 : count;
    const double high = select(slopes, middle, medianEnd);
    t.sen = count % 2
        ? high
        : (high + *std::max_element(slopes.begin(), slopes.begin() + std::ptrdiff_t(middle))) / 2;
    t.senLow = select(slopes, lower, lower <= middle ? middle + 1 : medianEnd);
}

} // namespace

TrendTests trendTests(const std::vector<qint32> &years, const std::vector<double> &values)
{
    TrendTests t;
    annualPercentChange(years, values, t);
    senSlope(years, values, mannKendall(values, t), t);
    return t;
}

} // namespace batch
