// SPDX-License-Identifier: MIT
#include "summary/reporttext.h"

#include <QObject>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace summary {

namespace {

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

QString unitWords(QString unit)
{
    const qsizetype space = unit.lastIndexOf(u' ');
    if (space > 0 && unit[space - 1].isDigit())
        unit[space] = QChar(0x00A0);
    return unit;
}

QString unitText(const table::Series &series)
{
    return series.unit.isEmpty() ? QString()
                                 : QObject::tr("%1 населения").arg(unitWords(series.unit));
}

Comparison comparison(double value, double reference)
{
    if (!(reference != 0) || !std::isfinite(value / reference))
        return {};
    const double r = value / reference;
    if (r >= 2)
        return {Comparison::Higher, QObject::tr("%1 выше").arg(spelling::times(r))};
    if (r <= 0.5 && r > 0)
        return {Comparison::Lower, QObject::tr("%1 ниже").arg(spelling::times(1 / r))};
    const double change = (r - 1) * 100;
    const QString size = spelling::percent(std::fabs(change));
    if (size == QLatin1String("0,0"))
        return {Comparison::Same, QObject::tr("на том же уровне")};
    return change > 0 ? Comparison {Comparison::Higher, QObject::tr("на %1\u00A0% выше").arg(size)}
                      : Comparison {Comparison::Lower, QObject::tr("на %1\u00A0% ниже").arg(size)};
}

namespace {

// The cases of the reporting year and of the year before, with counts.
struct YearCounts {
    std::optional<double> year, previous;
};

YearCounts yearCounts(const table::Series &s, const stats::ReportYear &y)
{
    if (s.cases.empty() || !y.value)
        return {};
    const std::size_t at = std::size_t(y.year - s.years.front());
    return {s.cases[at], at > 0 ? std::optional(s.cases[at - 1]) : std::nullopt};
}

// A table's counts are whole; one that is not is written as a mean is.
QString caseWords(double count)
{
    return count == std::trunc(count) && std::fabs(count) < 1e15 ? spelling::cases(qint64(count))
                                                                 : spelling::cases(count, 1);
}

// «В 2024 г. зарегистрировано 12 случаев, показатель — 2,35 на 100 тыс.
// населения.», or that there were none and how many the year before.
QString countSentence(const table::Series &s, const stats::ReportYear &y, const YearCounts &c)
{
    const qint32 before = y.year - 1;
    if (*c.year == 0) {
        if (!c.previous || !y.previous)
            return QObject::tr("В %1\u00A0г. случаев не зарегистрировано.").arg(y.year);
        if (*c.previous == 0)
            return QObject::tr("В %1\u00A0г., как и в %2\u00A0г., случаев не зарегистрировано.")
                .arg(y.year)
                .arg(before);
        return QObject::tr("В %1\u00A0г. случаев не зарегистрировано (в %2\u00A0г. — %3, %4 %5).")
            .arg(y.year)
            .arg(before)
            .arg(caseWords(*c.previous), spelling::rate(*y.previous), unitWords(s.unit));
    }
    // «зарегистрирован 1 случай», «21 случай»; «зарегистрировано» agrees with
    // every other count and with a fraction.
    const bool one = *c.year == std::trunc(*c.year)
        && spelling::numeral(qint64(*c.year)) == spelling::Numeral::One;
    // A rise from no cases has no size in percent.
    const QString fromNone = c.previous && *c.previous == 0
        ? QObject::tr(" при отсутствии случаев в %1\u00A0г.").arg(before)
        : QString();
    return QObject::tr("В %1\u00A0г. %2 %3%4, показатель — %5 %6.")
        .arg(y.year)
        .arg(one ? QObject::tr("зарегистрирован") : QObject::tr("зарегистрировано"),
            caseWords(*c.year), fromNone, spelling::rate(*y.value), unitText(s));
}

// «В 2024 г. показатель составил 12,8. Это на 29,1 % ниже, чем в 2023 г.
// (18,1), и …»; with counts the year's cases come first.
void yearSentences(QStringList &sentences, const table::Series &s, const stats::ReportYear &y)
{
    if (!y.value)
        return;
    const YearCounts counts = yearCounts(s, y);
    if (counts.year)
        sentences << countSentence(s, y, counts);
    else
        sentences << QObject::tr("В %1\u00A0г. показатель составил %2%3.")
                         .arg(y.year)
                         .arg(spelling::rate(*y.value))
                         .arg(s.unit.isEmpty() ? QString() : QStringLiteral(" ") + unitText(s));
    // No cases is no level to compare: «на 100,0 % ниже» says nothing.
    if (counts.year == 0.0)
        return;
    QStringList parts;
    const Comparison toPrevious = y.previous ? comparison(*y.value, *y.previous) : Comparison();
    if (toPrevious.relation != Comparison::None)
        parts << (toPrevious.relation == Comparison::Same
                ? QObject::tr("%1, что в %2\u00A0г. (%3)")
                : QObject::tr("%1, чем в %2\u00A0г. (%3)"))
                     .arg(toPrevious.words)
                     .arg(y.year - 1)
                     .arg(spelling::rate(*y.previous));
    const Comparison toMean = y.mean ? comparison(*y.value, *y.mean) : Comparison();
    if (toMean.relation != Comparison::None)
        parts << (toMean.relation == Comparison::Same
                ? QObject::tr("%1, что среднемноголетний уровень %2–%3\u00A0гг. (%4)")
                : QObject::tr("%1 среднемноголетнего уровня %2–%3\u00A0гг. (%4)"))
                     .arg(toMean.words)
                     .arg(y.baselineFrom)
                     .arg(y.baselineTo)
                     .arg(spelling::rate(*y.mean));
    if (!parts.isEmpty())
        sentences << QObject::tr("Это %1.").arg(parts.join(QObject::tr(", и ")));
}

// What the trend of the baseline expected, and where the year stands.
void expectedSentence(QStringList &sentences, const stats::ReportYear &y)
{
    const std::optional<double> expected = stats::verdictExpected(y);
    if (!expected || y.verdict == stats::Verdict::None)
        return;
    const bool poisson = y.by == stats::ExpectedBy::Poisson;
    const auto [low, high] = *stats::verdictBounds(y);
    // Poisson's bounds are the year's own interval, not the expected's.
    sentences << (poisson ? QObject::tr("По многолетней тенденции %1–%2\u00A0гг. ожидался уровень "
                                        "%3; фактический показатель (95\u00A0% ДИ %4–%5) %6.")
                          : QObject::tr("По многолетней тенденции %1–%2\u00A0гг. ожидался уровень "
                                        "%3 (границы %4–%5); фактический показатель %6."))
                     .arg(y.baselineFrom)
                     .arg(y.baselineTo)
                     .arg(spelling::rate(*expected), spelling::rate(low), spelling::rate(high),
                         verdictText(y.verdict));
}

// Below this many cases a year on average a rate's ups and downs are
// chance more than trend.
constexpr double SporadicCases = 5;

// «Заболеваемость спорадическая (в среднем 1,2 случая в год), оценки
// тенденции неустойчивы.», by the baseline's cases.
void sporadicSentence(QStringList &sentences, const table::Series &s, const stats::ReportYear &y)
{
    if (s.cases.empty() || y.baselineYears <= 0)
        return;
    const auto from = s.cases.begin() + (y.baselineFrom - s.years.front());
    const double sum = std::accumulate(from, from + y.baselineYears, 0.0);
    const double mean = sum / y.baselineYears;
    // Judged by the mean as written: no text says «в среднем 5,0» of fewer
    // than five.
    if (std::round(mean * 10) >= SporadicCases * 10)
        return;
    const QString often = sum == 0
        ? QObject::tr("в %1–%2\u00A0гг. случаев не зарегистрировано")
              .arg(y.baselineFrom)
              .arg(y.baselineTo)
        : QObject::tr("в среднем %1 в год").arg(spelling::cases(mean, 1));
    sentences << QObject::tr("Заболеваемость спорадическая (%1), оценки тенденции неустойчивы.")
                     .arg(often);
}

// «Точки перелома: 2008 и 2013 гг.; с 2013 г. снижение на 3,2 % в год (…).»
void joinpointSentence(QStringList &sentences, const std::optional<stats::JoinpointFit> &jp)
{
    if (!jp || jp->reason != stats::Reason::None)
        return;
    if (jp->joinpoints.empty()) {
        sentences << QObject::tr("Точек перелома нет.");
        return;
    }
    const stats::Segment &now = jp->segments.back();
    const QString interval
        = QObject::tr("95\u00A0% ДИ %1…%2")
              .arg(spelling::percent(now.apcLow), spelling::percent(now.apcHigh));
    const QString change = now.apcLow <= 0 && now.apcHigh >= 0
        ? QObject::tr("без достоверного изменения с %1\u00A0г. (%2)").arg(now.start).arg(interval)
        : QObject::tr("с %1\u00A0г. %2 на %3\u00A0% в год (%4)")
              .arg(now.start)
              .arg(now.apc > 0 ? QObject::tr("рост") : QObject::tr("снижение"),
                  spelling::percent(std::fabs(now.apc)), interval);
    sentences << (jp->joinpoints.size() == 1 ? QObject::tr("Точка перелома: %1\u00A0г.; %2.")
                                             : QObject::tr("Точки перелома: %1\u00A0гг.; %2."))
                     .arg(yearList(jp->joinpoints), change);
}

} // namespace

QString reportParagraph(const RowInput &row)
{
    const table::Series &s = row.result.series;
    const trend::TrendResult &r = row.result.practice;
    QStringList sentences;
    yearSentences(sentences, s, row.result.report);
    expectedSentence(sentences, row.result.report);
    sporadicSentence(sentences, s, row.result.report);
    const qint32 first = s.years.front(), last = s.years[std::size_t(r.count) - 1];
    sentences << QObject::tr("Многолетняя тенденция %1–%2\u00A0гг. — %3, среднегодовой темп "
                             "прироста %4\u00A0%.")
                     .arg(first)
                     .arg(last)
                     .arg(classWords(r.trendClass, r.averageAnnualChangeRate),
                         spelling::percent(r.averageAnnualChangeRate));
    joinpointSentence(sentences, row.result.joinpoints);
    // A level below 0 is no level: the line has run past what it can say.
    sentences << (r.forecastLevel < 0
            ? QObject::tr("Прогноз на %1\u00A0г. — 0 (линия тенденции ниже нуля).")
                  .arg(s.years[std::size_t(r.count)])
            : QObject::tr("Прогноз на %1\u00A0г. — %2.")
                  .arg(s.years[std::size_t(r.count)])
                  .arg(spelling::rate(r.forecastLevel)));
    return sentences.join(u' ');
}

} // namespace summary

namespace summary {

namespace {

// The words for the territories: районы for a column of districts, else
// территории, in the forms a count and the prepositions ask for.
struct TerritoryWords {
    QString none; // «ни в одном районе»
    QString at; // «в», «на»
    QString one, many; // after a number, in the prepositional: «районе», «районах»
};

TerritoryWords territoryWords(const QString &column)
{
    if (column.trimmed().toCaseFolded().startsWith(QStringLiteral("район")))
        return {QObject::tr("ни в одном районе"), QObject::tr("в"), QObject::tr("районе"),
            QObject::tr("районах")};
    return {QObject::tr("ни на одной территории"), QObject::tr("на"), QObject::tr("территории"),
        QObject::tr("территориях")};
}

// At most this many names in a list; the rest are counted.
constexpr std::size_t ListedNames = 10;

QString listed(const QStringList &names)
{
    if (std::size_t(names.size()) <= ListedNames)
        return names.join(QStringLiteral(", "));
    return QObject::tr("%1 и ещё %2")
        .arg(names.mid(0, qsizetype(ListedNames)).join(QStringLiteral(", ")))
        .arg(names.size() - qsizetype(ListedNames));
}

} // namespace

QString territoryParagraph(
    const QString &territoryName, const std::vector<analysis::TerritoryCensus::Territory> &all)
{
    const TerritoryWords w = territoryWords(territoryName);
    QStringList above, significant, risk;
    for (const auto &t : all) {
        const analysis::TerritoryComparison &c = *t.comparison;
        if (c.ratio > 1)
            above << QObject::tr("%1 (%2)").arg(t.name, spelling::times(c.ratio));
        if (c.funnel
            && (*c.funnel == stats::Funnel::Above95 || *c.funnel == stats::Funnel::Above998))
            significant << t.name;
        if (c.risk && *c.risk)
            risk << t.name;
    }
    const qint64 n = above.size();
    QString text = n == 0
        ? QObject::tr("Выше среднего по территориям показатель %1").arg(w.none)
        : QObject::tr("Выше среднего по территориям показатель %1 %2\u00a0%3: %4")
              .arg(w.at)
              .arg(spelling::whole(n))
              .arg(spelling::numeral(n) == spelling::Numeral::One ? w.one : w.many)
              .arg(listed(above));
    const bool counts = std::any_of(
        all.begin(), all.end(), [](const auto &t) { return t.comparison->funnel.has_value(); });
    if (counts) {
        text += QObject::tr("; статистически значимо (95\u00a0%): %1")
                    .arg(significant.isEmpty() ? w.none : listed(significant));
        text += risk.isEmpty() ? QObject::tr("; территорий риска нет")
                               : QObject::tr("; территории риска: %1").arg(listed(risk));
    }
    return text + QLatin1Char('.');
}

} // namespace summary
