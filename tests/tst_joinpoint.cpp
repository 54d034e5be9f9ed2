// SPDX-License-Identifier: MIT
// Joinpoint fits whose answers are known without a search; the batch tool's
// log-linear APC wherever no joinpoint is chosen. joinpoint_check.py holds
// random series against an exhaustive search.
#include "stats/joinpoint.h"
#include "stats/trendtests.h"

#include <QTest>

#include <cmath>
#include <numeric>
#include <random>

using stats::JoinpointMethod;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<int>)
Q_DECLARE_METATYPE(JoinpointMethod)

namespace {

constexpr int First = 2002; // every series' first year, the prostate series' own

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
    std::iota(years.begin(), years.end(), First);
    return years;
}

// exact: SSE 0 and zero-width intervals. apcs: each segment's, then the
// AAPC if given. permutations, seed: of the permutation test.
void row(const QByteArray &name, const std::vector<double> &values, JoinpointMethod method,
    int most, const std::vector<int> &joinpoints, int searched, bool exact = false,
    const std::vector<double> &apcs = {}, double tolerance = 0,
    int permutations = stats::JoinpointOptions().permutations,
    quint64 seed = stats::JoinpointOptions().seed)
{
    QTest::newRow(name.constData()) << values << method << most << joinpoints << searched << exact
                                    << apcs << tolerance << permutations << seed;
}

} // namespace

class TestJoinpoint : public QObject
{
    Q_OBJECT

private slots:
    void fits_data();
    void fits();
    void permutationLevel();
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
    QTest::addColumn<bool>("exact");
    QTest::addColumn<std::vector<double>>("apcs");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("permutations");
    QTest::addColumn<quint64>("seed");

    const std::vector<double> prostate {160.0, 145.8, 153.9, 147.8, 149.6, 147.9, 154.7, 132.5,
        124.8, 126.1, 92.9, 95.4, 93.3, 98.7, 94.1, 100.4, 96.6, 106.1};
    const auto W = JoinpointMethod::Wbic;
    row("prostate, published rounding", prostate, W, -1, {2008, 2013}, 3, false,
        {-0.29, -9.13, 1.60}, 0.005);
    row("prostate, this fit's digits", prostate, W, -1, {2008, 2013}, 3, false,
        {-0.2903772905427513, -9.1344613937023649, 1.5993915960419542, -2.3323161613760806}, 1e-9);
    const std::pair<const char *, JoinpointMethod> methods[]
        = {{"wbic", W}, {"bic", JoinpointMethod::Bic}, {"bic3", JoinpointMethod::Bic3},
            {"permutation", JoinpointMethod::Permutation}};
    for (const auto &[name, method] : methods) {
        row(QByteArray("sharp break, ") + name, broken(20, {9}, 0.01), method, -1, {First + 9}, 3);
        // Spare joinpoints fit exactly too, by rounding; they must not win.
        row(QByteArray("exact two segments, ") + name, broken(20, {12}), method, -1, {First + 12},
            3, true, {100 * std::expm1(0.05), 100 * std::expm1(-0.25)}, 1e-12);
    }
    // The first break dwarfs the second: the test of one joinpoint against
    // more must weigh the SSE of one joinpoint, not of the line.
    row("two sharp breaks, permutation", broken(20, {6, 13}, 0.01, -2),
        JoinpointMethod::Permutation, -1, {First + 6, First + 13}, 3);
    // A faint break, tested at its level's edge (0.05): # = 4 of the first 79 and of 99
    // permutations, 5 of 99 at seed 5, counted apart from this code by joinpoint.h's generator.
    const std::vector<double> faint = broken(15, {7}, 0.02, -0.02);
    const auto P = JoinpointMethod::Permutation;
    row("faint break, p = 5/100", faint, P, 1, {First + 7}, 1, false, {}, 0, 99);
    row("faint break, p = 5/80", faint, P, 1, {}, 1, false, {}, 0, 79);
    row("faint break, seed 5: p = 6/100", faint, P, 1, {}, 1, false, {}, 0, 99, 5);
    // Up to 2 joinpoints in 117 years are 6218 placements: 10⁷/(1 + N) of the budget for each
    // search of a permutation test holds them for N = 1607, not 1608; an exact line is not tested.
    row("117 years, N 1607", broken(117, {}), P, -1, {}, 2, true, {}, 0, 1607);
    row("117 years, N 1608", broken(117, {}), P, -1, {}, 1, true, {}, 0, 1608);
    row("n 5, none by default", broken(5, {2}), W, -1, {}, 0);
    row("n 5, one asked for, at index 2", broken(5, {2}), W, 1, {First + 2}, 1, true);
    row("n 7, at index n - 3", broken(7, {4}), W, -1, {First + 4}, 1, true);
    row("n 7, two asked for, room for one", broken(7, {2}), W, 2, {First + 2}, 1, true);
    row("n 12, two at indices 2 and 5", broken(12, {2, 5}), W, -1, {First + 2, First + 5}, 2, true);
    row("n 12, five asked for, room for three", broken(12, {2, 5, 9}), W, 5,
        {First + 2, First + 5, First + 9}, 3, true);
    row("n 17, three at the edges", broken(17, {2, 8, 14}), W, -1,
        {First + 2, First + 8, First + 14}, 3, true);
    // Symmetric: a joinpoint at index 3 or at 7 leaves the same SSE.
    std::vector<double> tent;
    for (const double ln : {0, 1, 2, 2, 2, 2, 2, 2, 2, 1, 0})
        tent.push_back(std::exp(1 + ln));
    row("tie, earliest wins", tent, W, 1, {First + 3}, 1);
    // Up to 5 joinpoints among 117 years are 1.02·10⁸ placements, 9.7·10⁷
    // of them for k = 5 alone; up to 4 are 5.4·10⁶.
    row("117 years, the budget allows 4", broken(117, {40}, 0.01), W, -1, {First + 40}, 4);
    row("noisy line", broken(12, {}, 0.03), W, 0, {}, 0);
    row("exact line: no joinpoint fits better", broken(17, {}), W, -1, {}, 3, true);
    row("flat: no slope to test", std::vector<double>(9, 3.7), W, -1, {}, 1, true);
}

void TestJoinpoint::fits()
{
    QFETCH(std::vector<double>, values);
    QFETCH(JoinpointMethod, method);
    QFETCH(int, most);
    QFETCH(std::vector<int>, joinpoints);
    QFETCH(int, searched);
    QFETCH(bool, exact);
    QFETCH(std::vector<double>, apcs);
    QFETCH(double, tolerance);
    QFETCH(int, permutations);
    QFETCH(quint64, seed);

    const int n = int(values.size());
    const stats::JoinpointOptions options {method, most, permutations, seed};
    const stats::JoinpointFit f = stats::fitJoinpoints(years(values.size()), values, options, 0);
    QCOMPARE(std::vector<int>(f.joinpoints.begin(), f.joinpoints.end()), joinpoints);
    QCOMPARE(f.searchedMax, searched);
    QCOMPARE(f.maxLowered, n == 117);
    const std::size_t k = joinpoints.size();
    QCOMPARE(f.segments.size(), k + 1);
    for (std::size_t s = 0; s < apcs.size(); ++s) {
        const double got = s < f.segments.size() ? f.segments[s].apc : f.aapc;
        QVERIFY2(std::fabs(got - apcs[s]) <= tolerance, qPrintable(QString::number(got, 'g', 17)));
    }
    // Exactly: QCOMPARE would take 1e-30 for 0.
    QCOMPARE(f.sse == 0, exact);
    for (std::size_t s = 0; exact && s <= k; ++s) {
        const stats::Segment &g = f.segments[s];
        QVERIFY(g.apcLow == g.apc && g.apcHigh == g.apc
            && (g.logSlope != 0 ? g.pValue == 0 : std::isnan(g.pValue)));
    }
    QCOMPARE(f.fitted.size(), values.size());
    for (int i = 0; exact && i < n; ++i)
        QVERIFY(std::fabs(f.fitted[i] - std::log(values[i])) < 1e-12);
    if (k == 0) {
        const stats::Segment &s = f.segments[0];
        QVERIFY(f.aapc == s.apc && f.aapcLow == s.apcLow && f.aapcHigh == s.apcHigh);
        QVERIFY(f.aapcP == s.pValue || (std::isnan(f.aapcP) && std::isnan(s.pValue)));
        const stats::TrendTests t = stats::trendTests(years(values.size()), values);
        const double scale = 1e-12 * (1 + std::fabs(t.apc));
        QVERIFY(std::fabs(s.apc - t.apc) <= scale && std::fabs(s.apcLow - t.apcLow) <= scale
            && std::fabs(s.apcHigh - t.apcHigh) <= scale);
        QVERIFY(
            std::fabs(s.pValue - t.apcP) <= 1e-12 || (std::isnan(s.pValue) && std::isnan(t.apcP)));
    }
}

// On noise the test of k = 0 against k = 1 finds a joinpoint in 5% of
// series: 250 of 5,000, give or take 5 binomial standard deviations, 77.
void TestJoinpoint::permutationLevel()
{
    std::mt19937 noise(335);
    const stats::JoinpointOptions options {JoinpointMethod::Permutation, 1, 99};
    int found = 0;
    for (int s = 0; s < 5000; ++s) {
        std::vector<double> values(15);
        for (double &v : values)
            v = std::exp(noise() * 0x1p-32);
        found += !stats::fitJoinpoints(years(15), values, options, quint64(s)).joinpoints.empty();
    }
    QVERIFY2(std::abs(found - 250) <= 77, qPrintable(QString::number(found)));
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
    const stats::JoinpointFit f
        = stats::fitJoinpoints(years(values.size()), values, stats::JoinpointOptions(), 0);
    QCOMPARE(f.reason, stats::Reason::NonPositiveValue);
    QVERIFY(f.searchedMax == 0 && f.joinpoints.empty() && f.segments.empty() && f.fitted.empty());
    QVERIFY(std::isnan(f.aapc));
}

QTEST_GUILESS_MAIN(TestJoinpoint)
#include "tst_joinpoint.moc"
