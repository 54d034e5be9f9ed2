// SPDX-License-Identifier: MIT
// The trend calculation, free of widgets.
//
// A yearly incidence series y[0..n-1] gets integer time codes t[i] that are
// symmetric about the middle of the series, so that they sum to zero. The
// least-squares line is then L(t) = a + b*t with a the mean of the series and
// b = sum(y*t) / sum(t*t). From the line come the trend indicators, the trend
// class and the forecast for the year after the series, and every line of the
// report that the form shows and saves.
//
// The window, the batch tool and the tests all call this one core; nothing
// else computes or formats a number of the report.
#pragma once

#include <QString>
#include <QtGlobal>

#include <limits>
#include <vector>

namespace trend {

// Bounds of the year box and of a series. Counts and codes are 16-bit,
// so a series holds at most 32767 values (codes then stay within ±16383).
constexpr qint32 MinYear = 1900;
constexpr qint32 MaxYear = 9999;
constexpr qint32 DefaultFirstYear = 2005;
constexpr qint16 MinValues = 5;
constexpr qint16 MaxValues = std::numeric_limits<qint16>::max();

// The year that follows `year` in the year box: one more, but never past the
// box's upper bound, so a series that runs into 9999 repeats 9999.
qint32 nextYear(qint32 year);

// The years of a series of n values typed from `firstYear`, as the year box
// records them: n + 1 entries, the last one the year of the forecast.
std::vector<qint32> seriesYears(qint32 firstYear, int n);

bool isEven(qint16 n);

// 1-based position of the middle value of an odd series; 0 for an even one.
qint16 middlePosition(qint16 n);

// Sum of the first n values in index order; 0 for n <= 0.
double sumOfValues(const std::vector<double> &values, qint16 n);

// Symmetric time codes. Odd n: -(n-1)/2 .. (n-1)/2. Even n: -n/2 .. -1, +1 ..
// n/2, zero left out (not the odd-number coding -3, -1, +1, +3).
std::vector<qint16> timeCodes(qint16 n);

enum class TrendClass { Stable, Moderate, Pronounced };

// |R| > 5 pronounced, 1 < |R| <= 5 moderate, otherwise (NaN included) stable.
TrendClass classify(double averageAnnualChangeRate);

// Stable English key of a class ("stable", "moderate", "pronounced").
const char *classKey(TrendClass c);

struct TrendResult {
    qint16 count = 0; // n
    qint16 middlePosition = 0; // for even n: n / 2
    std::vector<qint16> timeCodes; // t[0..n-1]
    double total = 0; // sum of y
    double averageIncidence = 0; // a
    double sumOfProducts = 0; // sum of y*t
    double squaredIntervalSum = 0; // sum of t*t
    double slope = 0; // b
    std::vector<double> theoreticalLevels; // L[0..n-1]
    double absoluteChange = 0;
    double averageAbsoluteChange = 0;
    double changeRate = 0; // per cent
    double averageAnnualChangeRate = 0; // per cent
    TrendClass trendClass = TrendClass::Stable;
    double forecastLevel = 0; // L[n-1] + b
};

// Runs the whole calculation over the first `n` values. Requires
// MinValues <= n <= min(values.size(), MaxValues). Non-finite results are
// computed like any other and never trap.
TrendResult calculate(const std::vector<double> &values, qint16 n);

// One line of the report. Composed lines are looked up in the window's
// translation context as a whole; year lines are shown as they are.
struct ReportLine {
    QString text;
    bool translatable = true;
};

// Real values: general format, 6 significant digits ("1.23457e+06",
// "0.000123457", "70", "inf", "-inf", "nan").
QString formatReal(double value);

// First line of every report, before the entered values.
ReportLine headerLine();

// "2005: 12.5": a year, ": " and a value's text, shown as it is.
ReportLine yearLine(qint32 year, const QString &valueText);

// The Russian line of a trend class, as the report prints it.
QString classLine(TrendClass c);

// The calculation's part of the report, after the entered values. `years`
// holds at least n + 1 entries; years[n] names the forecast.
std::vector<ReportLine> calculationLines(
    const TrendResult &result, const std::vector<qint32> &years);

// A whole report as the window shows it and saves it: the header, one year
// line per value with its text as typed, then the calculation's lines.
std::vector<ReportLine> reportLines(const std::vector<qint32> &years,
    const std::vector<QString> &typedValues, const TrendResult &result);

// The same lines joined by single line feeds, with none after the last.
QString reportText(const std::vector<qint32> &years, const std::vector<QString> &typedValues,
    const TrendResult &result);

} // namespace trend
