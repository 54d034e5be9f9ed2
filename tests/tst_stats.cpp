// SPDX-License-Identifier: MIT
// The statistics beside the practice core, each against an independent
// computation: the least-squares fit against SciPy, Sen's slope against a
// sort of every pairwise slope.
#include "ols.h"
#include "trendtests.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

Q_DECLARE_METATYPE(std::vector<double>)

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

QTEST_GUILESS_MAIN(TestStats)
#include "tst_stats.moc"
