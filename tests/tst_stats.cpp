// SPDX-License-Identifier: MIT
// The statistics beside the practice core, each against an independent
// computation: the least-squares fit against SciPy, Sen's slope against a
// sort of every pairwise slope, the reporting year's assessment against
// numpy and SciPy; the count model where its maximum may not exist.
#include "calc/trendcore.h"
#include "stats/countmodel.h"
#include "stats/ols.h"
#include "stats/reportyear.h"
#include "stats/territory.h"
#include "stats/trendtests.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// n consecutive years from `first`, and the year after them.
std::vector<std::int32_t> yearsFrom(int first, std::size_t n)
{
    std::vector<std::int32_t> years(n + 1);
    for (std::size_t i = 0; i <= n; ++i)
        years[i] = first + std::int32_t(i);
    return years;
}

} // namespace

class TestStats : public QObject
{
    Q_OBJECT

private slots:
    void olsAgainstScipy_data();
    void olsAgainstScipy();
    void senAgainstSorting_data();
    void senAgainstSorting();
    void reportYear_data();
    void reportYear();
    void countModel_data();
    void countModel();
    void territoryAgainstScipy_data();
    void territoryAgainstScipy();
    void territoryGroup_data();
    void territoryGroup();
};

void TestStats::olsAgainstScipy_data()
{
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<int>("firstYear");
    QTest::addColumn<std::vector<double>>("expected"); // slope, se, ci low, ci high, p, r2

    // SciPy 1.10.1 (Debian 12): scipy.stats.linregress over the calendar
    // years, and stats.t.ppf(0.975, n - 2) for the interval.
    QTest::newRow("five values, odd")
        << std::vector<double> {10, 12, 11, 14, 15} << 2001
        << std::vector<double> {1.2000000000000002, 0.3055050463303892, 0.2277465940601554,
               2.172253405939845, 0.029370494881299947, 0.8372093023255816};
    QTest::newRow("six values, even")
        << std::vector<double> {1, 2, 3.5, 4, 5, 7} << 1995
        << std::vector<double> {1.1285714285714286, 0.09147320339189798, 0.8746011007572307,
               1.3825417563856264, 0.0002479850627949921, 0.9743950039032006};
}

void TestStats::olsAgainstScipy()
{
    QFETCH(std::vector<double>, values);
    QFETCH(int, firstYear);
    QFETCH(std::vector<double>, expected);

    const auto fit = stats::fitOverYears(yearsFrom(firstYear, values.size()), values);
    const double got[]
        = {fit.slope, fit.slopeError, fit.ciLow, fit.ciHigh, fit.pValue, fit.rSquared};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::fabs(got[i] - expected[std::size_t(i)])
                <= 1e-9 * std::fabs(expected[std::size_t(i)]),
            qPrintable(QStringLiteral("column %1: %2").arg(i).arg(got[i], 0, 'g', 17)));
}

void TestStats::senAgainstSorting_data()
{
    QTest::addColumn<std::vector<double>>("values");
    const auto series = [](int n, auto value) {
        std::vector<double> v;
        for (int i = 0; i < n; ++i)
            v.push_back(value(i));
        return v;
    };
    const auto noise = [](int i) { return std::sqrt(double((i * 7919 + 13) % 101)); };
    QTest::newRow("noise") << series(20, noise);
    QTest::newRow("ties everywhere") << series(30, [](int i) { return double(i * 5 % 3); });
    QTest::newRow("constant") << series(12, [](int) { return 4.0; });
    QTest::newRow("convex") << series(40, [](int i) { return double(i * i); });
    QTest::newRow("falling") << series(25, [](int i) { return 100.0 - i; });
    // Past 4,096 slopes the selection splits in place.
    QTest::newRow("long") << series(120, noise);
    QTest::newRow("long, ties") << series(150, [](int i) { return double(i % 7 + i / 50); });
}

// The median and Sen's interval bounds (scipy.stats.theilslopes) picked
// from all pairwise slopes sorted, with the variance's tie groups counted
// from the values sorted.
void TestStats::senAgainstSorting()
{
    QFETCH(std::vector<double>, values);
    const std::size_t n = values.size();
    const std::vector<std::int32_t> years = yearsFrom(2001, n);
    std::vector<double> slopes, sorted = values;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            slopes.push_back((values[j] - values[i]) / double(years[j] - years[i]));
    std::sort(slopes.begin(), slopes.end());
    std::sort(sorted.begin(), sorted.end());
    double variance = double(n) * double(n - 1) * double(2 * n + 5);
    for (auto group = sorted.begin(); group != sorted.end();) {
        const auto end = std::upper_bound(group, sorted.end(), *group);
        const double t = double(end - group);
        variance -= t * (t - 1) * (2 * t + 5);
        group = end;
    }
    const double count = double(slopes.size()),
                 spread = 1.959963984540054 * std::sqrt(variance / 18);
    const auto at
        = [&](double rank) { return slopes[std::size_t(std::clamp(rank, 0.0, count - 1))]; };
    const std::size_t middle = slopes.size() / 2;
    const double median
        = slopes.size() % 2 ? slopes[middle] : (slopes[middle] + slopes[middle - 1]) / 2;

    const stats::TrendTests got = stats::trendTests(years, values);
    QCOMPARE(got.sen, median);
    QCOMPARE(got.senLow, at(std::nearbyint((count - spread) / 2) - 1));
    QCOMPARE(got.senHigh, at(std::nearbyint((count + spread) / 2)));
}

void TestStats::reportYear_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<std::vector<double>>("values"); // with counts: the cases, per 100,000
    QTest::addColumn<std::vector<int>>("options"); // year, baseline from, to, bounds
    // value, previous, change, СМУ, ratio, expected, low, high, prediction
    // low and high, rate low and high; NaN: absent
    QTest::addColumn<std::vector<double>>("expected");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("gap");
    const double x = NAN;
    using V = stats::Verdict;
    using G = stats::ReportGap;
    const int poisson = int(stats::ExpectedBy::Poisson),
              prediction = int(stats::ExpectedBy::Prediction);
    // numpy and SciPy 1.10.1: the form's codes and least squares by hand,
    // stats.linregress and stats.t for the interval, stats.chi2 for counts.
    QTest::newRow("13 years, the textbook's case")
        << 1992 << std::vector<double> {26, 40, 15, 28, 28, 11, 34, 5, 20, 7, 23, 7, 17, 25}
        << std::vector<int> {0, 0, 0, 0}
        << std::vector<double> {25, 17, 47.058823529411775, 20.076923076923077, 1.2452107279693487,
               9.615384615384615, 0.8736263736263723, 17.108320251177393, 0, 34.45083049446538, x,
               x}
        << int(V::Above) << int(G::None);
    QTest::newRow("even baseline, by prediction")
        << 2001 << std::vector<double> {4.5, 6, 5.5, 7, 8, 7.5, 9}
        << std::vector<int> {0, 0, 0, prediction}
        << std::vector<double> {9, 7.5, 19.999999999999996, 6.416666666666667, 1.4025974025974026,
               8.488095238095239, 8.077380952380953, 8.898809523809524, 6.362235813397334,
               10.971097519936151, x, x}
        << int(V::Within) << int(G::None);
    QTest::newRow("a baseline ending years before")
        << 2000 << std::vector<double> {10, 12, 11, 13, 15, 14, 16, 18, 17, 19, 30}
        << std::vector<int> {0, 2001, 2006, 0}
        << std::vector<double> {30, 19, 57.89473684210527, 13.5, 2.2222222222222223, 18.5, 17.5,
               19.0, 14.155485204317781, 24.35880050996818, x, x}
        << int(V::Above) << int(G::None);
    QTest::newRow("a zero last year")
        << 2010 << std::vector<double> {3, 4, 5, 4, 6, 0} << std::vector<int> {0, 0, 0, 0}
        << std::vector<double> {0, 6, -100, 4.4, 0, 6.2, 5.6, 6.6, 2.8320154061606453,
               9.567984593839446, x, x}
        << int(V::Below) << int(G::None);
    QTest::newRow("zeros") << 2010 << std::vector<double>(6, 0) << std::vector<int> {0, 0, 0, 0}
                           << std::vector<double> {0, 0, x, 0, x, 0, 0, 0, 0, 0, x, x}
                           << int(V::Within) << int(G::None);
    QTest::newRow("a line falling below 0 expects 0")
        << 2010 << std::vector<double> {9, 7, 5, 3, 1, 0} << std::vector<int> {0, 0, 0, 0}
        << std::vector<double> {0, 1, -100, 5, 0, 0, 0, 0, 0, 0, x, x} << int(V::Within)
        << int(G::None);
    QTest::newRow("counts, none in the year, by Poisson")
        << 2010 << std::vector<double> {5, 6, 4, 7, 5, 0} << std::vector<int> {0, 0, 0, poisson}
        << std::vector<double> {0, 5, -100, 5.4, 0, 5.7, 4.966666666666667, 6.8, 0,
               11.713055231334742, 0, 3.6888794541139354}
        << int(V::Below) << int(G::None);
    QTest::newRow("counts, none in the year, by quasi-Poisson")
        << 2010 << std::vector<double> {5, 6, 4, 7, 5, 0}
        << std::vector<int> {0, 0, 0, int(stats::ExpectedBy::QuasiPoisson)}
        << std::vector<double> {0, 5, -100, 5.4, 0, 5.7, 4.966666666666667, 6.8, 0,
               11.713055231334742, 0, 3.6888794541139354}
        << int(V::Below) << int(G::None);
    QTest::newRow("a baseline too short")
        << 2010 << std::vector<double> {5, 6, 4, 7, 5} << std::vector<int> {2014, 2011, 0, 0}
        << std::vector<double> {5, 7, -28.57142857142857, 5.666666666666667, 0.8823529411764706, x,
               x, x, x, x, x, x}
        << int(V::None) << int(G::ShortBaseline);
    QTest::newRow("no value for the year")
        << 2010 << std::vector<double> {5, 6, 4, 7, 5} << std::vector<int> {2015, 0, 0, 0}
        << std::vector<double>(12, x) << int(V::None) << int(G::NoValue);
    QTest::newRow("the year not after the baseline")
        << 2010 << std::vector<double> {5, 6, 4, 7, 5, 6} << std::vector<int> {0, 2010, 2015, 0}
        << std::vector<double> {6, 5, 20, x, x, x, x, x, x, x, x, x} << int(V::None)
        << int(G::NotAfterBaseline);
}

// With counts, each year's population is 100,000.
void TestStats::reportYear()
{
    QFETCH(int, first);
    QFETCH(std::vector<double>, values);
    QFETCH(std::vector<int>, options);
    QFETCH(std::vector<double>, expected);
    QFETCH(int, verdict);
    QFETCH(int, gap);
    const auto by = stats::ExpectedBy(options[3]);
    std::vector<double> cases, population, typed = values;
    if (by == stats::ExpectedBy::Poisson || by == stats::ExpectedBy::QuasiPoisson) {
        cases = values;
        population.assign(values.size(), 1e5);
    }
    for (double &v : values)
        v = double(float(v));
    const std::vector<std::int32_t> years = yearsFrom(first, values.size());
    const stats::ReportYear r = stats::assessReportYear({years, values, typed, cases, population},
        {options[0], options[1], options[2], by},
        [](const std::vector<double> &levels, std::size_t n) {
            trend::TrendResult line = trend::calculate(levels, qint16(n));
            return stats::PracticeLine {line.theoreticalLevels, line.slope};
        });
    const std::optional<double> got[] = {r.value, r.previous, r.changePercent, r.mean, r.meanRatio,
        r.expected, r.low, r.high, r.predictionLow, r.predictionHigh, r.rateLow, r.rateHigh};
    for (std::size_t i = 0; i < 12; ++i) {
        const QString where
            = QStringLiteral("column %1: %2").arg(i).arg(got[i].value_or(NAN), 0, 'g', 17);
        QVERIFY2(got[i].has_value() == !std::isnan(expected[i]), qPrintable(where));
        QVERIFY2(!got[i]
                || std::fabs(*got[i] - expected[i]) <= 1e-9 * std::max(1.0, std::fabs(expected[i])),
            qPrintable(where));
    }
    QCOMPARE(int(r.verdict), verdict);
    QCOMPARE(int(r.gap), gap);
}

// Counts whose likelihood has no maximum for some placements, or none at
// all; with each year's population 100,000.
void TestStats::countModel_data()
{
    QTest::addColumn<std::vector<double>>("cases");
    QTest::addColumn<int>("reason");
    QTest::addColumn<double>("dispersion"); // statsmodels' Pearson scale, at least 1; NaN: any
    QTest::addColumn<int>("joinpoint"); // the one joinpoint allowed, where it must fall; 0: any
    const double any = NAN;
    using R = stats::Reason;
    QTest::newRow("cases in one year only")
        << std::vector<double> {0, 0, 0, 4, 0, 0, 0, 0} << int(R::CasesInOneYear) << any << 0;
    QTest::newRow("cases in the last year only")
        << std::vector<double> {0, 0, 0, 0, 0, 0, 0, 3} << int(R::CasesInOneYear) << any << 0;
    QTest::newRow("all zeros") << std::vector<double>(8, 0) << int(R::NoCases) << any << 0;
    QTest::newRow("a segment of zeros")
        << std::vector<double> {0, 0, 0, 0, 0, 0, 0, 1, 3, 2, 5, 4, 6, 8, 7, 9, 12, 10}
        << int(R::None) << any << 0;
    QTest::newRow("cases in the first and the last year")
        << std::vector<double> {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3} << int(R::None) << any << 0;
    QTest::newRow("dispersion below 1, taken as 1")
        << std::vector<double> {10, 11, 10, 11, 10, 11, 10, 11, 10, 11} << int(R::None) << 1.0 << 0;
    QTest::newRow("over-dispersed")
        << std::vector<double> {1, 30, 2, 25, 3, 40, 1, 35, 2, 30, 4, 38} << int(R::None)
        << 16.551628029246096 << 0;
    // Mirrored placements fit alike, to rounding: the earlier is taken.
    QTest::newRow("a tie between mirrored joinpoints") << std::vector<double> {1, 2, 4, 8, 16, 32,
        32, 16, 8, 4, 2, 1} << int(R::None) << any << 2006;
}

// The line meets its score equations; no segment of the joinpoint fit has
// cases in fewer than two of its years.
void TestStats::countModel()
{
    QFETCH(std::vector<double>, cases);
    QFETCH(int, reason);
    QFETCH(double, dispersion);
    QFETCH(int, joinpoint);
    const std::size_t n = cases.size();
    const std::vector<double> population(n, 1e5);
    const stats::CountSeries counts {cases.data(), population.data(), n};
    const std::vector<std::int32_t> years = yearsFrom(2001, n);
    const stats::CountLine line = stats::fitCountLine(counts);
    stats::JoinpointOptions options;
    options.maxJoinpoints = joinpoint != 0 ? 1 : -1;
    const stats::JoinpointFit fit = stats::fitCountJoinpoints(years, counts, 1e5, options);
    if (joinpoint != 0)
        QCOMPARE(fit.joinpoints, std::vector<std::int32_t> {joinpoint});
    QCOMPARE(int(line.reason), reason);
    QCOMPARE(int(fit.reason), reason);
    if (reason != int(stats::Reason::None))
        return;
    QVERIFY(std::isnan(dispersion) || std::fabs(line.dispersion - dispersion) <= 1e-9 * dispersion);
    stats::JoinpointOptions none;
    none.maxJoinpoints = 0;
    const stats::JoinpointFit lineFit = stats::fitCountJoinpoints(years, counts, 1e5, none);
    double level = 0, slope = 0, scale = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = cases[i] - std::exp(lineFit.fitted[i]);
        level += r;
        slope += r * double(i);
        scale += cases[i] * double(i + 1);
    }
    QVERIFY2(std::fabs(level) <= 1e-9 * scale && std::fabs(slope) <= 1e-9 * scale,
        qPrintable(QStringLiteral("score %1, %2").arg(level).arg(slope)));
    QCOMPARE(lineFit.segments.front().logSlope, line.slope);
    for (const stats::Segment &s : fit.segments) {
        QVERIFY(std::isfinite(s.apc) && std::isfinite(s.apcLow) && std::isfinite(s.apcHigh));
        QVERIFY(std::count_if(cases.begin() + (s.start - 2001), cases.begin() + (s.end - 2001) + 1,
                    [](double c) { return c > 0; })
            >= 2);
    }
}

void TestStats::territoryAgainstScipy_data()
{
    QTest::addColumn<double>("observed");
    QTest::addColumn<double>("expected");
    QTest::addColumn<std::vector<double>>("want"); // the SIR's interval, its p-value
    QTest::addColumn<int>("funnel");
    // SciPy 1.10.1: chi2.ppf for the interval, poisson.cdf and poisson.sf
    // for the tails.
    using F = stats::Funnel;
    const auto row
        = [](const char *name, double o, double e, double low, double high, double p, F funnel) {
              QTest::newRow(name) << o << e << std::vector<double> {low, high, p} << int(funnel);
          };
    row("no cases", 0, 2.5, 0, 1.475551781645574, 0.1641699972477976, F::Within);
    row("few expected", 2, 0.6, 0.40368213090660826, 12.041146112873268, 0.24380276449911528,
        F::Within);
    row("as expected", 12, 12, 0.5167145923935181, 1.7467987540147467, 1, F::Within);
    row("below 95 %", 1, 9, 0.0028130897760322085, 0.6190714878820998, 0.0024681960817335914,
        F::Below95);
    row("below 99.8 %", 3, 14, 0.04419086592111438, 0.6262337906958803, 0.0009484970922574694,
        F::Below998);
    row("above 95 %", 150, 120, 1.0579680108437073, 1.4668097174756207, 0.009126882608302472,
        F::Above95);
    row("above 99.8 %", 30, 15.2, 1.3316364487776917, 2.8175569338689255, 0.0010312235897317306,
        F::Above998);
}

void TestStats::territoryAgainstScipy()
{
    QFETCH(double, observed);
    QFETCH(double, expected);
    QFETCH(std::vector<double>, want);
    QFETCH(int, funnel);
    const stats::Sir sir = stats::standardisedRatio(observed, expected);
    const double got[] = {sir.low, sir.high, stats::sirPValue(observed, expected)};
    QCOMPARE(sir.ratio, observed / expected);
    for (std::size_t i = 0; i < 3; ++i)
        QVERIFY2(std::fabs(got[i] - want[i]) <= 1e-12 * std::max(1.0, want[i]),
            qPrintable(QStringLiteral("%1: %2").arg(i).arg(got[i], 0, 'g', 17)));
    QCOMPARE(int(stats::funnelByTails(observed, expected)), funnel);
}

// A group's z-scores: φ with its tenths at each end pulled in (numpy), and
// the ranks highest first (scipy.stats.rankdata, method "min").
void TestStats::territoryGroup_data()
{
    QTest::addColumn<std::vector<double>>("z");
    QTest::addColumn<double>("dispersion");
    QTest::addColumn<std::vector<int>>("ranks");
    QTest::addColumn<int>("top"); // the largest z's class, scaled by √φ
    using F = stats::Funnel;
    QTest::newRow("thirteen, a tie")
        << std::vector<double> {3.2, -1, 0.4, 2.5, -2.2, 0.1, 1.7, -0.3, 5, -4, 0.8, 1.1, 2.5}
        << 3.743076923076923 << std::vector<int> {2, 11, 8, 3, 12, 9, 5, 10, 1, 13, 7, 6, 3}
        << int(F::Above95);
    QTest::newRow("five: nothing pulled in") << std::vector<double> {1.5, -0.5, 2, -2.5, 0} << 2.55
                                             << std::vector<int> {2, 4, 1, 5, 3} << int(F::Within);
    std::vector<double> halves(10, 0.5);
    halves.resize(20, 9);
    std::vector<int> shared(10, 11);
    shared.resize(20, 1);
    QTest::newRow("two levels") << halves << 40.625 << shared << int(F::Within);
}

void TestStats::territoryGroup()
{
    QFETCH(std::vector<double>, z);
    QFETCH(double, dispersion);
    QFETCH(std::vector<int>, ranks);
    QFETCH(int, top);
    QVERIFY(std::fabs(stats::funnelDispersion(z) - dispersion) <= 1e-12 * dispersion);
    QCOMPARE(stats::rankHighestFirst(z), ranks);
    const double largest = *std::max_element(z.begin(), z.end());
    QCOMPARE(int(stats::funnelByZ(largest, dispersion)), top);
}

QTEST_GUILESS_MAIN(TestStats)
#include "tst_stats.moc"
