// SPDX-License-Identifier: MIT
#include "stats/trendtests.h"

#include "stats/ols.h"

#include <boost/math/distributions/normal.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace stats {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

void annualPercentChange(
    const std::vector<std::int32_t> &years, const std::vector<double> &values, TrendTests &t)
{
    if (std::any_of(values.begin(), values.end(), [](double v) { return !(v > 0); })) {
        t.apc = t.apcLow = t.apcHigh = t.apcP = NaN;
        t.apcReason = Reason::NonPositiveValue;
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
    std::int64_t s = 0, ties = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            s += (values[j] > values[i]) - (values[j] < values[i]);
            ties += values[j] == values[i];
        }
    }
    // How many values equal each one, itself included: the tie groups
    // without sorting, since a group of t takes t(t - 1)(2t + 5) from the
    // variance, (t - 1)(2t + 5) for each of its values.
    thread_local std::vector<std::int32_t> same;
    same.assign(n, 1);
    for (std::size_t i = 0; ties > 0 && i + 1 < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const std::int32_t tie = values[j] == values[i];
            same[i] += tie;
            same[j] += tie;
        }
    }
    const double nn = double(n);
    double variance = nn * (nn - 1) * (2 * nn + 5);
    for (const std::int32_t t : same)
        variance -= double(t - 1) * (2 * double(t) + 5);
    variance /= 18;
    t.mkS = double(s);
    t.mkZ = s > 0 ? (double(s) - 1) / std::sqrt(variance)
        : s < 0   ? (double(s) + 1) / std::sqrt(variance)
                  : 0;
    t.mkP = std::erfc(std::fabs(t.mkZ) / std::sqrt(2.0));
    return variance;
}

// Where a[lo, hi), split about a pivot, has its slopes equal to the
// pivot: those before are smaller, those after larger.
struct Split {
    std::size_t equal;
    std::size_t larger;
};

// In two passes that swap in place, with no branch on the data: the slopes
// of a noisy series would mispredict every other comparison.
Split splitInPlace(double *a, std::size_t lo, std::size_t hi, double pivot)
{
    std::size_t equal = lo;
    for (std::size_t i = lo; i < hi; ++i) {
        const double v = a[i];
        a[i] = a[equal];
        a[equal] = v;
        equal += v < pivot;
    }
    std::size_t larger = equal;
    for (std::size_t i = equal; i < hi; ++i) {
        const double v = a[i];
        a[i] = a[larger];
        a[larger] = v;
        larger += v == pivot;
    }
    return {equal, larger};
}

// In one pass, the larger slopes set aside in `aside`: no load waits for
// the store before it, so a slope costs about a cycle.
Split splitAside(double *a, std::size_t lo, std::size_t hi, double pivot, double *aside)
{
    std::size_t smaller = lo, larger = 0;
    for (std::size_t i = lo; i < hi; ++i) {
        const double v = a[i];
        a[smaller] = v;
        aside[larger] = v;
        smaller += v < pivot;
        larger += v > pivot;
    }
    const std::size_t equalEnd = hi - larger;
    std::fill(a + smaller, a + equalEnd, pivot);
    std::copy(aside, aside + larger, a + equalEnd);
    return {smaller, equalEnd};
}

// Past this many slopes the split works in place, so that a long series
// needs no second copy of its slopes.
constexpr std::size_t asideLimit = 4096;

// found[r] = the ranks[r]-th smallest of a[lo, hi) for r < m, with the
// ranks ascending, 0-based and within [lo, hi). Every split serves all the
// ranks at once; each pass narrows only the part that still holds some.
void selectRanks(double *a, std::size_t lo, std::size_t hi, const std::size_t *ranks, std::size_t m,
    double *found, int passes)
{
    thread_local std::vector<double> aside;
    while (m > 0) {
        // Few slopes left, or unlucky pivots: std::nth_element bounds the work.
        if (hi - lo <= 16 || passes == 0) {
            for (std::size_t r = 0, from = lo; r < m; from = ranks[r++] + 1) {
                std::nth_element(a + from, a + ranks[r], a + hi);
                found[r] = a[ranks[r]];
            }
            return;
        }
        --passes;
        // The median of three at the quarters: the first slopes, those of
        // neighbouring years, are the most scattered, and so are the last.
        const std::size_t quarter = (hi - lo) / 4;
        const double x = a[lo + quarter], y = a[lo + 2 * quarter], z = a[hi - 1 - quarter];
        const double pivot = std::max(std::min(x, y), std::min(std::max(x, y), z));
        Split split;
        if (hi - lo <= asideLimit) {
            aside.resize(asideLimit);
            split = splitAside(a, lo, hi, pivot, aside.data());
        } else {
            split = splitInPlace(a, lo, hi, pivot);
        }
        std::size_t smaller = 0;
        while (smaller < m && ranks[smaller] < split.equal)
            ++smaller;
        std::size_t settled = smaller;
        for (; settled < m && ranks[settled] < split.larger; ++settled)
            found[settled] = pivot;
        selectRanks(a, lo, split.equal, ranks, smaller, found, passes);
        ranks += settled;
        found += settled;
        m -= settled;
        lo = split.larger;
    }
}

// `variance` is that of Kendall's S: the values' ties are the slopes'.
void senSlope(const std::vector<std::int32_t> &years, const std::vector<double> &values,
    double variance, TrendTests &t)
{
    const std::size_t n = values.size();
    thread_local std::vector<double> slopes;
    slopes.resize(n * (n - 1) / 2);
    double *slope = slopes.data();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j)
            *slope++ = (values[j] - values[i]) / double(years[j] - years[i]);
    }
    const std::size_t count = slopes.size();
    // Sen (1968), eq. 2.6, with the indices rounded half to even as numpy does.
    static const double z = boost::math::quantile(boost::math::normal(), 0.025);
    const double sigma = std::sqrt(variance);
    const auto upper
        = std::size_t(std::min(std::nearbyint((double(count) - z * sigma) / 2), double(count - 1)));
    const auto lower
        = std::size_t(std::max(std::nearbyint((double(count) + z * sigma) / 2) - 1, 0.0));
    // The median is the middle slope, or the mean of the middle two.
    const std::size_t middle = count / 2;
    std::size_t ranks[] = {lower, count % 2 ? middle : middle - 1, middle, upper};
    std::sort(std::begin(ranks), std::end(ranks));
    const std::size_t m = std::size_t(std::unique(std::begin(ranks), std::end(ranks)) - ranks);
    double found[4];
    selectRanks(slopes.data(), 0, count, ranks, m, found, 64);
    const auto at
        = [&](std::size_t rank) { return found[std::lower_bound(ranks, ranks + m, rank) - ranks]; };
    t.senLow = at(lower);
    t.senHigh = at(upper);
    t.sen = count % 2 ? at(middle) : (at(middle) + at(middle - 1)) / 2;
}

} // namespace

TrendTests trendTests(const std::vector<std::int32_t> &years, const std::vector<double> &values)
{
    TrendTests t;
    annualPercentChange(years, values, t);
    senSlope(years, values, mannKendall(values, t), t);
    return t;
}

} // namespace stats
