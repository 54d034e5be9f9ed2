// SPDX-License-Identifier: MIT
#include "calc/trendcore.h"

#include <QStringList>

#include <algorithm>
#include <cassert>

namespace trend {

qint32 nextYear(qint32 year)
{
    return std::min(year + 1, MaxYear);
}

std::vector<qint32> seriesYears(qint32 firstYear, int n)
{
    std::vector<qint32> years;
    years.reserve(std::size_t(std::max(n, 0)) + 1);
    years.push_back(firstYear);
    for (int i = 0; i < n; ++i)
        years.push_back(nextYear(years.back()));
    return years;
}

bool isEven(qint16 n)
{
    return (n & 1) == 0;
}

qint16 middlePosition(qint16 n)
{
    if (isEven(n))
        return 0;
    return qint16(n - n / 2);
}

double sumOfValues(const std::vector<double> &values, qint16 n)
{
    double sum = 0.0;
    for (qint16 i = 0; i < n; ++i)
        sum = sum + values[std::size_t(i)];
    return sum;
}

std::vector<qint16> timeCodes(qint16 n)
{
    std::vector<qint16> t(std::size_t(std::max<qint16>(n, 0)), 0);
    if (n <= 0)
        return t;
    qint16 m = middlePosition(n);
    int up; // first index coded upwards from its left neighbour
    if (m != 0) {
        t[std::size_t(m - 1)] = 0;
        up = m;
    } else {
        // Even series: -1 and +1 in the middle, zero left out.
        m = qint16(n / 2);
        t[std::size_t(m - 1)] = -1;
        t[std::size_t(m)] = 1;
        up = m + 1;
    }
    for (int j = m - 2; j >= 0; --j)
        t[std::size_t(j)] = qint16(t[std::size_t(j + 1)] - 1);
    for (int j = up; j < n; ++j)
        t[std::size_t(j)] = qint16(t[std::size_t(j - 1)] + 1);
    return t;
}

TrendClass classify(double r)
{
    if (r > 5 || r < -5)
        return TrendClass::Pronounced;
    if (r > 1 || r < -1)
        return TrendClass::Moderate;
    return TrendClass::Stable;
}

const char *classKey(TrendClass c)
{
    switch (c) {
    case TrendClass::Pronounced:
        return "pronounced";
    case TrendClass::Moderate:
        return "moderate";
    case TrendClass::Stable:
        break;
    }
    return "stable";
}

TrendResult calculate(const std::vector<double> &values, qint16 n)
{
    assert(n >= MinValues && std::size_t(n) <= values.size());
    TrendResult r;
    r.count = n;
    r.total = sumOfValues(values, n);
    r.averageIncidence = sumOfValues(values, n) / double(n);
    r.timeCodes = timeCodes(n);

    // The sums run in index order, each term added to the running sum, so
    // that the last digit agrees with reports made by earlier versions.
    r.theoreticalLevels.resize(std::size_t(n));
    for (qint16 i = 0; i < n; ++i) {
        const double product = double(r.timeCodes[std::size_t(i)]) * values[std::size_t(i)];
        r.sumOfProducts = product + r.sumOfProducts;
    }
    for (qint16 i = 0; i < n; ++i) {
        const qint32 code = r.timeCodes[std::size_t(i)];
        r.squaredIntervalSum = double(code * code) + r.squaredIntervalSum;
    }
    r.slope = r.sumOfProducts / r.squaredIntervalSum;
    for (qint16 i = 0; i < n; ++i)
        r.theoreticalLevels[std::size_t(i)]
            = double(r.timeCodes[std::size_t(i)]) * r.slope + r.averageIncidence;

    const double first = r.theoreticalLevels.front();
    const double last = r.theoreticalLevels.back();
    r.absoluteChange = last - first;
    r.averageAbsoluteChange = r.absoluteChange / double(n - 1);
    r.changeRate = (100 * r.absoluteChange) / first;
    r.averageAnnualChangeRate = (100 * r.slope) / r.averageIncidence;
    r.trendClass = classify(r.averageAnnualChangeRate);
    r.forecastLevel = last + r.slope;
    return r;
}

QString formatReal(double value)
{
    return QString::number(value, 'g', 6);
}

ReportLine headerLine()
{
    return {QStringLiteral("Фактическая заболеваемость: ")};
}

ReportLine yearLine(qint32 year, const QString &valueText)
{
    return {QString::number(year) + QStringLiteral(": ") + valueText, false};
}

QString classLine(TrendClass c)
{
    switch (c) {
    case TrendClass::Pronounced:
        return QStringLiteral("Выраженная тенденция.");
    case TrendClass::Moderate:
        return QStringLiteral("Умеренная тенденция.");
    case TrendClass::Stable:
        break;
    }
    return QStringLiteral("Стабильная тенденция (отсутствие изменения).");
}

namespace {

// Increase wording for zero, negative zero and NaN; decrease only below zero.
QString indicatorLine(
    double value, const QString &increase, const QString &decrease, const QString &suffix)
{
    return (value < 0 ? decrease : increase) + formatReal(value) + suffix;
}

} // namespace

std::vector<ReportLine> calculationLines(const TrendResult &r, const std::vector<qint32> &years)
{
    const qint16 n = r.count;
    assert(years.size() > std::size_t(n));
    const QString count = QString::number(n);
    const QString dot = QStringLiteral(".");
    const QString percent = QStringLiteral("%.");

    std::vector<ReportLine> lines;
    lines.reserve(std::size_t(n) + 12);
    lines.push_back({QStringLiteral("Сумма показателей заболеваемости за ") + count
        + QStringLiteral(" лет равна ") + formatReal(r.total) + dot});
    lines.push_back({QStringLiteral("Средняя заболеваемость за ") + count
        + QStringLiteral(" лет равна ") + formatReal(r.averageIncidence) + dot});
    lines.push_back({QStringLiteral("Сумма значений показателей (фактическая заболеваемость * "
                                    "временные интервалы) равна ")
        + formatReal(r.sumOfProducts) + dot});
    lines.push_back({QStringLiteral("Разница между теоретическими уровнями заболеваемости равна ")
        + formatReal(r.slope) + dot});
    lines.push_back({QStringLiteral("Теоретические уровни заболеваемости: ")});
    for (qint16 i = 0; i < n; ++i)
        lines.push_back(
            yearLine(years[std::size_t(i)], formatReal(r.theoreticalLevels[std::size_t(i)])));

    lines.push_back(
        {indicatorLine(r.absoluteChange, QStringLiteral("Абсолютный прирост заболеваемости равен "),
            QStringLiteral("Абсолютное снижение заболеваемости равно "), dot)});
    lines.push_back({indicatorLine(r.averageAbsoluteChange,
        QStringLiteral("Средний абсолютный прирост заболеваемости равен "),
        QStringLiteral("Среднее абсолютное снижение заболеваемости равно "), dot)});
    lines.push_back(
        {indicatorLine(r.changeRate, QStringLiteral("Темп прироста заболеваемости равен "),
            QStringLiteral("Темп снижения заболеваемости равен "), percent)});
    lines.push_back({indicatorLine(r.averageAnnualChangeRate,
        QStringLiteral("Среднегодовой темп прироста заболеваемости равен "),
        QStringLiteral("Среднегодовой темп снижения заболеваемости равен "), percent)});
    lines.push_back({classLine(r.trendClass)});
    lines.push_back({QStringLiteral("Прогнозируемый уровень заболеваемости на ")
        + QString::number(years[std::size_t(n)]) + QStringLiteral(" год равен ")
        + formatReal(r.forecastLevel) + dot});
    return lines;
}

std::vector<ReportLine> reportLines(const std::vector<qint32> &years,
    const std::vector<QString> &typedValues, const TrendResult &result)
{
    std::vector<ReportLine> lines {headerLine()};
    lines.reserve(typedValues.size() + std::size_t(result.count) + 13);
    for (std::size_t i = 0; i < typedValues.size(); ++i)
        lines.push_back(yearLine(years[i], typedValues[i]));
    for (ReportLine &line : calculationLines(result, years))
        lines.push_back(std::move(line));
    return lines;
}

QString reportText(const std::vector<qint32> &years, const std::vector<QString> &typedValues,
    const TrendResult &result)
{
    QStringList out;
    for (const ReportLine &line : reportLines(years, typedValues, result))
        out.append(line.text);
    return out.join(QLatin1Char('\n'));
}

} // namespace trend
