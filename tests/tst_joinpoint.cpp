// SPDX-License-Identifier: MIT
// Joinpoint fits whose answers are known without a search: a published
// series, exact broken lines, the placement rules at their edges, ties, the
// budget of a long series, and the batch tool's log-linear APC for a fit
// without joinpoints. joinpoint_check.py holds random series against an
// exhaustive search.
#include "joinpoint.h"
#include "trendtests.h"

#include <QTest>

#include <cmath>

using stats::JoinpointMethod;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<int>)
Q_DECLARE_METATYPE(JoinpointMethod)

namespace {

// The first year of every series here, the prostate series' own.
constexpr int First = 2002;

const std::vector<double> prostate {160.0, 145.8, 153.9, 147.8, 149.6, 147.9, 154.7, 132.5, 124.8,
    126.1, 92.9, 95.4, 93.3, 98.7, 94.1, 100.4, 96.6, 106.1};

// e to a broken line whose slope of 0.05 changes at each knot (an index) by
// `drop`, then +0.2, alternately, wobbled by up to ±2·noise.
std::vector<double> broken(
    int n, const std::vector<int> &knots, double noise = 0, double drop = -0.3)
{
    std::vector<double> values;
    for (int i = 0; i < n; ++i) {
        double ln = 1 + 0.05 * i + noise * (i * 7 % 5 - 2);
        for (std::size_t m = 0; m < knots.size(); ++m)
            ln += (m % 2 ? 0.2 : drop) * std::max(i - knots[m], 0);
        values.push_back(std::exp(ln));
    }
    return values;
}

std::vector<std::int32_t> years(std::size_t n)
{
    std::vector<std::int32_t> years(n);
    for (std::size_t i = 0; i < n; ++i)
        years[i] = std::int32_t(First + i);
    return years;
}

stats::JoinpointFit fit(const std::vector<double> &values, JoinpointMethod method, int most)
{
    stats::JoinpointOptions options;
    options.method = method;
    options.maxJoinpoints = most;
    return stats::fitJoinpoints(years(values.size()), values, options, 0);
}

// Joinpoints two years from the ends and from each other, segments that
// meet at them, and n − 2k − 2 degrees of freedom, whatever the data.
void checkShape(const stats::JoinpointFit &f, int n)
{
    const std::size_t k = f.joinpoints.size();
    int previous = First - 1;
    for (const std::int32_t year : f.joinpoints) {
        QVERIFY2(year >= previous + 3 && year <= First + n - 3, qPrintable(QString::number(year)));
        previous = year;
    }
    QCOMPARE(f.segments.size(), k + 1);
    for (std::size_t s = 0; s <= k; ++s) {
        QCOMPARE(f.segments[s].start, s ? f.joinpoints[s - 1] : First);
        QCOMPARE(f.segments[s].end, s < k ? f.joinpoints[s] : First + n - 1);
    }
    QCOMPARE(f.degreesOfFreedom, n - 2 * int(k) - 2);
    QCOMPARE(f.fitted.size(), std::size_t(n));
}

} // namespace

class TestJoinpoint : public QObject
{
    Q_OBJECT

private slots:
    void fits_data();
    void fits();
    void outsideTheRules_data();
    void outsideTheRules();
    void withoutJoinpoints_data();
    void withoutJoinpoints();
    void nonPositive_data();
    void nonPositive();
};

void TestJoinpoint::fits_data()
{
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<JoinpointMethod>("method");
    QTest::addColumn<int>("most"); // the option
    QTest::addColumn<std::vector<int>>("joinpoints");
    QTest::addColumn<int>("searched");
    QTest::addColumn<bool>("perfect"); // SSE 0, zero-width intervals, p 0
    QTest::addColumn<std::vector<double>>("apcs"); // each segment's, then the AAPC if given
    QTest::addColumn<double>("tolerance");

    const auto W = JoinpointMethod::Wbic;
    QTest::newRow("prostate, published rounding")
        << prostate << W << -1 << std::vector {2008, 2013} << 3 << false
        << std::vector {-0.29, -9.13, 1.60} << 0.005;
    QTest::newRow("prostate, this fit's digits")
        << prostate << W << -1 << std::vector {2008, 2013} << 3 << false
        << std::vector {-0.2903772905427513, -9.1344613937023649, 1.5993915960419542,
               -2.3323161613760806}
        << 1e-9;
    const std::pair<const char *, JoinpointMethod> methods[]
        = {{"wbic", W}, {"bic", JoinpointMethod::Bic}, {"bic3", JoinpointMethod::Bic3},
            {"permutation", JoinpointMethod::Permutation}};
    for (const auto &[name, method] : methods) {
        QTest::addRow("sharp break, %s", name)
            << broken(20, {9}, 0.01) << method << -1 << std::vector {First + 9} << 3 << false
            << std::vector<double>() << 0.0;
        // The first break dwarfs the second: a test of one joinpoint against
        // more must weigh the SSE of one joinpoint, not of the line.
        QTest::addRow("two sharp breaks, %s", name)
            << broken(20, {6, 13}, 0.01, -2) << method << -1 << std::vector {First + 6, First + 13}
            << 3 << false << std::vector<double>() << 0.0;
        // Spare joinpoints fit exactly too, by rounding; they must not win.
        QTest::addRow("exact two segments, %s", name)
            << broken(20, {12}) << method << -1 << std::vector {First + 12} << 3 << true
            << std::vector {100 * std::expm1(0.05), 100 * std::expm1(-0.25)} << 1e-12;
    }
    QTest::newRow("n 5, none by default") << broken(5, {2}) << W << -1 << std::vector<int>() << 0
                                          << false << std::vector<double>() << 0.0;
    QTest::newRow("n 5, one asked for, at index 2")
        << broken(5, {2}) << W << 1 << std::vector {First + 2} << 1 << true << std::vector<double>()
        << 0.0;
    QTest::newRow("n 7, at index n - 3") << broken(7, {4}) << W << -1 << std::vector {First + 4}
                                         << 1 << true << std::vector<double>() << 0.0;
    QTest::newRow("n 7, two asked for, room for one")
        << broken(7, {2}) << W << 2 << std::vector {First + 2} << 1 << true << std::vector<double>()
        << 0.0;
    QTest::newRow("n 12, two at indices 2 and 5")
        << broken(12, {2, 5}) << W << -1 << std::vector {First + 2, First + 5} << 2 << true
        << std::vector<double>() << 0.0;
    QTest::newRow("n 12, five asked for, room for three")
        << broken(12, {2, 5, 9}) << W << 5 << std::vector {First + 2, First + 5, First + 9} << 3
        << true << std::vector<double>() << 0.0;
    QTest::newRow("n 17, three at the edges")
        << broken(17, {2, 8, 14}) << W << -1 << std::vector {First + 2, First + 8, First + 14} << 3
        << true << std::vector<double>() << 0.0;
    // Symmetric: a joinpoint at index 3 or at 7 leaves the same SSE.
    std::vector<double> tent;
    for (const double ln : {0, 1, 2, 2, 2, 2, 2, 2, 2, 1, 0})
        tent.push_back(std::exp(1 + ln));
    QTest::newRow("tie, earliest wins")
        << tent << W << 1 << std::vector {First + 3} << 1 << false << std::vector<double>() << 0.0;
    // 5 joinpoints among 120 years are 1.2·10⁸ placements, 4 are 6·10⁶.
    QTest::newRow("120 years, budget allows 4")
        << broken(120, {40}, 0.01) << W << -1 << std::vector {First + 40} << 4 << false
        << std::vector<double>() << 0.0;
}

void TestJoinpoint::fits()
{
    QFETCH(std::vector<double>, values);
    QFETCH(JoinpointMethod, method);
    QFETCH(int, most);
    QFETCH(std::vector<int>, joinpoints);
    QFETCH(int, searched);
    QFETCH(bool, perfect);
    QFETCH(std::vector<double>, apcs);
    QFETCH(double, tolerance);

    const stats::JoinpointFit f = fit(values, method, most);
    QCOMPARE(f.reason, stats::Reason::None);
    QCOMPARE(std::vector<int>(f.joinpoints.begin(), f.joinpoints.end()), joinpoints);
    QCOMPARE(f.searchedMax, searched);
    QCOMPARE(f.maxLowered, values.size() == 120);
    checkShape(f, int(values.size()));
    for (std::size_t s = 0; s < apcs.size(); ++s) {
        const double got = s < f.segments.size() ? f.segments[s].apc : f.aapc;
        QVERIFY2(std::fabs(got - apcs[s]) <= tolerance, qPrintable(QString::number(got, 'g', 17)));
    }
    // Exactly: QCOMPARE would take 1e-30 for 0.
    if (perfect) {
        QVERIFY(f.sse == 0);
        for (const stats::Segment &s : f.segments)
            QVERIFY(s.apcLow == s.apc && s.apcHigh == s.apc && s.pValue == 0);
    }
}

void TestJoinpoint::outsideTheRules_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<std::vector<int>>("knots");

    QTest::newRow("n 7, index 1") << 7 << std::vector {1};
    QTest::newRow("n 7, index n - 2") << 7 << std::vector {5};
    QTest::newRow("n 12, two apart") << 12 << std::vector {3, 5};
}

// An exact broken line whose knots no joinpoint may take: no fit is exact.
void TestJoinpoint::outsideTheRules()
{
    QFETCH(int, n);
    QFETCH(std::vector<int>, knots);

    const stats::JoinpointFit f = fit(broken(n, knots), JoinpointMethod::Bic, -1);
    QCOMPARE(f.searchedMax, int(knots.size()));
    QVERIFY(f.sse > 1e-4);
    checkShape(f, n);
}

void TestJoinpoint::withoutJoinpoints_data()
{
    QTest::addColumn<std::vector<double>>("values");
    QTest::addColumn<int>("most");

    QTest::newRow("noisy rise") << broken(12, {}, 0.03) << 0;
    QTest::newRow("noisy fall, 30 years") << broken(30, {0}, 0.05) << 0;
    QTest::newRow("exact line: no joinpoint fits better") << broken(17, {}) << -1;
    QTest::newRow("flat: no slope to test") << std::vector<double>(9, 3.7) << -1;
}

void TestJoinpoint::withoutJoinpoints()
{
    QFETCH(std::vector<double>, values);
    QFETCH(int, most);

    const stats::JoinpointFit f = fit(values, JoinpointMethod::Wbic, most);
    QVERIFY(f.joinpoints.empty());
    checkShape(f, int(values.size()));
    const stats::Segment &s = f.segments[0];
    QVERIFY(f.aapc == s.apc && f.aapcLow == s.apcLow && f.aapcHigh == s.apcHigh);
    QVERIFY(f.aapcP == s.pValue || (std::isnan(f.aapcP) && std::isnan(s.pValue)));
    const batch::TrendTests t = batch::trendTests(years(values.size()), values);
    const double scale = 1e-12 * (1 + std::fabs(t.apc));
    QVERIFY(std::fabs(s.apc - t.apc) <= scale);
    QVERIFY(std::fabs(s.apcLow - t.apcLow) <= scale);
    QVERIFY(std::fabs(s.apcHigh - t.apcHigh) <= scale);
    QCOMPARE(std::isnan(s.pValue), std::isnan(t.apcP));
    QVERIFY(std::isnan(s.pValue) || std::fabs(s.pValue - t.apcP) <= 1e-12);
}

void TestJoinpoint::nonPositive_data()
{
    QTest::addColumn<double>("bad");

    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -1.5;
    QTest::newRow("NaN") << std::nan("");
}

void TestJoinpoint::nonPositive()
{
    QFETCH(double, bad);

    std::vector<double> values = broken(12, {5});
    values[7] = bad;
    const stats::JoinpointFit f = fit(values, JoinpointMethod::Wbic, -1);
    QCOMPARE(f.reason, stats::Reason::NonPositiveValue);
    QCOMPARE(f.searchedMax, 0);
    QVERIFY(f.joinpoints.empty() && f.segments.empty() && f.fitted.empty());
    QVERIFY(std::isnan(f.aapc));
}

QTEST_GUILESS_MAIN(TestJoinpoint)
#include "tst_joinpoint.moc"
