// SPDX-License-Identifier: MIT
#include "reporttext.h"

#include <QObject>

#include <cmath>

namespace summary {

namespace {

// A decimal comma and a real minus sign.
QString russian(QString text)
{
    return text.replace(u'.', u',').replace(u'-', QChar(0x2212));
}

QString fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(u'-') && text.count(u'0') == text.size() - 2)
        text.remove(0, 1); // "−0,0" is 0
    return russian(text);
}

// «2008», «2008 и 2013», «2004, 2008 и 2013».
QString yearList(const std::vector<std::int32_t> &years)
{
    QString text;
    for (std::size_t i = 0; i < years.size(); ++i) {
        if (i > 0)
            text += i + 1 == years.size() ? QObject::tr(" и ") : QStringLiteral(", ");
        text += QString::number(years[i]);
    }
    return text;
}

QString classWords(trend::TrendClass c, double rate)
{
    if (c == trend::TrendClass::Stable)
        return classWord(c);
    return rate > 0 ? QObject::tr("%1 к росту").arg(classWord(c))
                    : QObject::tr("%1 к снижению").arg(classWord(c));
}

} // namespace

QString classWord(trend::TrendClass c)
{
    switch (c) {
    case trend::TrendClass::Pronounced:
        return QObject::tr("выраженная");
    case trend::TrendClass::Moderate:
        return QObject::tr("умеренная");
    case trend::TrendClass::Stable:
        break;
    }
    return QObject::tr("стабильная");
}

QString unitText(const table::Series &series)
{
    return series.unit.isEmpty() ? QString() : QObject::tr("%1 населения").arg(series.unit);
}

QString rateText(double value)
{
    const double size = std::fabs(value);
    if (size >= 10 || size == 0)
        return fixed(value, size == 0 ? 0 : 1);
    if (size >= 0.1)
        return fixed(value, 2);
    // Three significant digits: 0,0412; 0,00305.
    const int decimals = 2 - int(std::floor(std::log10(size)));
    return fixed(value, decimals);
}

QString percentText(double value)
{
    return fixed(value, 1);
}

QString timesText(double times)
{
    QString number = fixed(times, 1);
    if (number.endsWith(QLatin1String(",0")))
        number.chop(2);
    const bool whole = !number.contains(u',');
    const qint64 n = qint64(std::llround(times));
    // «раза» after a fraction and after 2, 3, 4, but not 12 to 14.
    const bool few = !whole || (n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14));
    return few ? QObject::tr("в %1 раза").arg(number) : QObject::tr("в %1 раз").arg(number);
}

QString comparison(double value, double reference)
{
    if (!(reference != 0) || !std::isfinite(value / reference))
        return {};
    const double r = value / reference;
    if (r >= 2)
        return QObject::tr("%1 выше").arg(timesText(r));
    if (r <= 0.5 && r > 0)
        return QObject::tr("%1 ниже").arg(timesText(1 / r));
    const double change = (r - 1) * 100;
    if (percentText(std::fabs(change)) == QLatin1String("0,0"))
        return QObject::tr("на том же уровне");
    return (change > 0 ? QObject::tr("на %1 % выше") : QObject::tr("на %1 % ниже"))
        .arg(percentText(std::fabs(change)));
}

QString reportParagraph(const RowInput &row)
{
    const QString unit = unitText(row.result.series);
    const stats::ReportYear &y = row.result.report;
    const table::Series &s = row.result.series;
    QStringList sentences;
    if (y.value) {
        sentences << QObject::tr("В %1 г. показатель составил %2%3.")
                         .arg(y.year)
                         .arg(rateText(*y.value))
                         .arg(unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
        QStringList parts;
        const QString same = QObject::tr("на том же уровне");
        const QString toPrevious = y.previous ? comparison(*y.value, *y.previous) : QString();
        if (!toPrevious.isEmpty())
            parts << (toPrevious == same ? QObject::tr("%1, что в %2 г. (%3)")
                                         : QObject::tr("%1, чем в %2 г. (%3)"))
                         .arg(toPrevious)
                         .arg(y.year - 1)
                         .arg(rateText(*y.previous));
        const QString toMean = y.mean ? comparison(*y.value, *y.mean) : QString();
        if (!toMean.isEmpty())
            parts << (toMean == same
                    ? QObject::tr("%1, что среднемноголетний уровень %2–%3 гг. (%4)")
                    : QObject::tr("%1 среднемноголетнего уровня %2–%3 гг. (%4)"))
                         .arg(toMean)
                         .arg(y.baselineFrom)
                         .arg(y.baselineTo)
                         .arg(rateText(*y.mean));
        if (!parts.isEmpty())
            sentences << QObject::tr("Это %1.").arg(parts.join(QObject::tr(", и ")));
    }
    if (y.expected && y.verdict != stats::Verdict::None) {
        const bool poisson = y.by == stats::ExpectedBy::Poisson;
        const auto [low, high] = *stats::verdictBounds(y);
        // Poisson's bounds are the year's own interval, not the expected's.
        sentences << (poisson ? QObject::tr("По многолетней тенденции %1–%2 гг. ожидался уровень "
                                            "%3; фактический показатель (95 % ДИ %4–%5) %6.")
                              : QObject::tr("По многолетней тенденции %1–%2 гг. ожидался уровень "
                                            "%3 (границы %4–%5); фактический показатель %6."))
                         .arg(y.baselineFrom)
                         .arg(y.baselineTo)
                         .arg(rateText(*y.expected), rateText(low), rateText(high),
                             verdictText(y.verdict));
    }
    const qint32 first = s.years.front(),
                 last = s.years[std::size_t(row.result.practice.count) - 1];
    sentences << QObject::tr("Многолетняя тенденция %1–%2 гг. — %3, среднегодовой темп прироста "
                             "%4 %.")
                     .arg(first)
                     .arg(last)
                     .arg(classWords(row.result.practice.trendClass,
                              row.result.practice.averageAnnualChangeRate),
                         percentText(row.result.practice.averageAnnualChangeRate));
    const stats::JoinpointFit *jp = row.result.joinpoints ? &*row.result.joinpoints : nullptr;
    if (jp && jp->reason == stats::Reason::None) {
        if (jp->joinpoints.empty()) {
            sentences << QObject::tr("Точек перелома нет.");
        } else {
            const stats::Segment &now = jp->segments.back();
            const QString interval = QObject::tr("95 % ДИ %1…%2")
                                         .arg(percentText(now.apcLow), percentText(now.apcHigh));
            const QString change = now.apcLow <= 0 && now.apcHigh >= 0
                ? QObject::tr("без достоверного изменения с %1 г. (%2)")
                      .arg(now.start)
                      .arg(interval)
                : QObject::tr("с %1 г. %2 на %3 % в год (%4)")
                      .arg(now.start)
                      .arg(now.apc > 0 ? QObject::tr("рост") : QObject::tr("снижение"),
                          percentText(std::fabs(now.apc)), interval);
            sentences << (jp->joinpoints.size() == 1 ? QObject::tr("Точка перелома: %1 г.; %2.")
                                                     : QObject::tr("Точки перелома: %1 гг.; %2."))
                             .arg(yearList(jp->joinpoints), change);
        }
    }
    sentences << QObject::tr("Прогноз на %1 г. — %2.")
                     .arg(s.years[std::size_t(row.result.practice.count)])
                     .arg(rateText(row.result.practice.forecastLevel));
    return sentences.join(u' ');
}

} // namespace summary
