// SPDX-License-Identifier: MIT
#include "stats/reportyear.h"

#include "stats/countmodel.h"
#include "stats/ols.h"

#include <boost/math/distributions/chi_squared.hpp>

#include <cmath>

namespace stats {

std::optional<std::pair<double, double>> verdictBounds(const ReportYear &r)
{
    const auto pair = [](const std::optional<double> &low, const std::optional<double> &high) {
        return low && high ? std::optional(std::pair(*low, *high)) : std::nullopt;
    };
    switch (r.by) {
    case ExpectedBy::Normative:
        return pair(r.low, r.high);
    case ExpectedBy::Prediction:
        return pair(r.predictionLow, r.predictionHigh);
    case ExpectedBy::QuasiPoisson:
        return pair(r.countLow, r.countHigh);
    case ExpectedBy::Poisson:
        break;
    }
    return pair(r.rateLow, r.rateHigh);
}

std::optional<double> verdictExpected(const ReportYear &r)
{
    return r.by == ExpectedBy::QuasiPoisson ? r.countExpected : r.expected;
}

std::pair<double, double> poissonInterval(double count)
{
    using boost::math::chi_squared;
    const double low = count > 0 ? quantile(chi_squared(2 * count), 0.025) / 2 : 0.0;
    return {low, quantile(chi_squared(2 * count + 2), 0.975) / 2};
}

namespace {

// The expected level, its normative bounds and the prediction interval,
// from a baseline long enough for a trend.
void expectFrom(ReportYear &r, const ReportSeries &s, std::size_t from, std::size_t n,
    const PracticeFit &practice)
{
    // A baseline from the series' first year, the usual one, is fitted in
    // place; another one from a copy.
    const double *const values = s.values.data() + from;
    std::vector<double> copy;
    if (from > 0)
        copy.assign(values, values + n);
    const PracticeLine line = practice(from > 0 ? copy : s.values, n);
    r.expected = line.levels[n - 1] + line.slope * double(r.year - r.baselineTo);
    if (*r.expected < 0) {
        r.expected = 0;
        r.belowZero = true;
    }
    double above = 0, below = 0;
    int ups = 0, downs = 0;
    // Without branches: the signs of a series' deviations are a coin's.
    for (std::size_t i = 0; i < n; ++i) {
        const double d = values[i] - line.levels[i];
        above += d > 0 ? d : 0.0;
        ups += d > 0;
        below += d < 0 ? -d : 0.0;
        downs += d < 0;
    }
    r.high = *r.expected + (ups > 0 ? above / ups : 0.0);
    r.low = std::max(0.0, *r.expected - (downs > 0 ? below / downs : 0.0));

    const auto [low, high] = predictionInterval(&s.years[from], &s.exact[from], n, r.year);
    r.predictionLow = std::max(0.0, low);
    r.predictionHigh = std::max(0.0, high);
}

// The quasi-Poisson bounds, with counts; false when the baseline's cases
// cannot carry a line.
bool expectCount(
    ReportYear &r, const ReportSeries &s, std::size_t from, std::size_t n, std::size_t at)
{
    const auto bounds = expectedCount({s.cases.data() + from, s.population.data() + from, n},
        double(at - from), s.population[at]);
    if (!bounds)
        return false;
    const double scale = s.per / s.population[at];
    r.countExpected = bounds->expected * scale;
    r.countLow = bounds->low * scale;
    r.countHigh = bounds->high * scale;
    return true;
}

Verdict judge(const ReportYear &r, const ReportSeries &s, std::size_t at)
{
    const auto bounds = verdictBounds(r);
    if (!bounds || !r.expected || !r.value)
        return Verdict::None;
    const auto [low, high] = *bounds;
    if (r.by == ExpectedBy::QuasiPoisson) {
        // The count itself against the count's bounds, not rates rounded.
        const double scale = s.population[at] / s.per, count = s.cases[at];
        return count > high * scale ? Verdict::Above
            : count < low * scale   ? Verdict::Below
                                    : Verdict::Within;
    }
    if (r.by == ExpectedBy::Poisson)
        return *r.expected < low ? Verdict::Above
            : *r.expected > high ? Verdict::Below
                                 : Verdict::Within;
    return *r.value > high ? Verdict::Above : *r.value < low ? Verdict::Below : Verdict::Within;
}

} // namespace

ReportYear assessReportYear(
    const ReportSeries &s, const ReportYearOptions &o, const PracticeFit &practice)
{
    ReportYear r;
    r.by = o.expectedBy;
    const std::size_t n = s.values.size();
    const std::int32_t first = s.years.front(), last = first + std::int32_t(n) - 1;
    r.year = o.year != 0 ? o.year : last;
    if (r.year < first || r.year > last) {
        r.gap = ReportGap::NoValue;
        return r;
    }
    const auto at = [&](std::int32_t year) { return std::size_t(year - first); };
    const double value = s.values[at(r.year)];
    r.value = value;
    if (r.year > first) {
        r.previous = s.values[at(r.year - 1)];
        if (*r.previous != 0)
            r.changePercent = (value / *r.previous - 1) * 100;
    }
    if (!s.cases.empty()) {
        const auto [low, high] = poissonInterval(s.cases[at(r.year)]);
        const double scale = s.per / s.population[at(r.year)];
        r.rateLow = low * scale;
        r.rateHigh = high * scale;
    }
    if (o.baselineTo != 0 && o.baselineTo >= r.year) {
        r.gap = ReportGap::NotAfterBaseline;
        return r;
    }
    r.baselineFrom = std::max(first, o.baselineFrom != 0 ? o.baselineFrom : first);
    r.baselineTo = std::min(r.year - 1, o.baselineTo != 0 ? o.baselineTo : r.year - 1);
    if (r.baselineTo < r.baselineFrom) {
        r.gap = ReportGap::NoBaseline;
        return r;
    }
    const std::size_t from = at(r.baselineFrom), count = at(r.baselineTo) - from + 1;
    r.baselineYears = std::int32_t(count);
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i)
        sum += s.values[i];
    r.mean = sum / double(count);
    if (*r.mean != 0)
        r.meanRatio = value / *r.mean;
    if (count < std::size_t(MinBaselineYears))
        r.gap = ReportGap::ShortBaseline;
    else
        expectFrom(r, s, from, count, practice);
    if (count >= std::size_t(MinBaselineYears) && !s.cases.empty()
        && !expectCount(r, s, from, count, at(r.year)) && r.by == ExpectedBy::QuasiPoisson)
        r.gap = ReportGap::FewCases;
    r.verdict = judge(r, s, at(r.year));
    if (r.verdict == Verdict::None && r.gap == ReportGap::None)
        r.gap = ReportGap::NoVerdict;
    return r;
}

} // namespace stats
