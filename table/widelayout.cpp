// SPDX-License-Identifier: MIT
#include "table/widelayout.h"

#include "calc/trendcore.h"
#include "table/cells.h"
#include "table/tableinput.h"

#include <QObject>

#include <tuple>

namespace table {

bool WideLayout::setHeader(const Record &header, QString *error)
{
    if (rates.on())
        return setRateHeader(header, error);
    qsizetype first = -1;
    for (qsizetype i = 0; i < header.size() && first < 0; ++i) {
        if (readYear(header.trimmed(i)))
            first = i;
    }
    if (first < 0) {
        const Header named = headerOf(header);
        const CountNames counts = countNames(named, false);
        *error = counts.countTable
            ? QObject::tr("похоже на таблицу числа случаев: задайте --cases \"%1\" --population "
                          "\"%2\"")
                  .arg(named.blocks[counts.cases], named.blocks[counts.population])
            : QObject::tr("в заголовке нет ни одного года (%1–%2)")
                  .arg(trend::MinYear)
                  .arg(trend::MaxYear);
        return false;
    }
    names = labelsOf(header, first);
    firstYear = *readYear(header.trimmed(first));
    qsizetype last = header.size();
    while (last > first + 1 && header.trimmed(last - 1).isEmpty())
        --last;
    for (qsizetype i = first + 1; i < last; ++i) {
        const auto year = readYear(header.trimmed(i));
        const qint32 expected = firstYear + qint32(i - first);
        if (!year && allDigits(header.trimmed(i))) {
            *error = QObject::tr("годы в заголовке должны лежать в пределах %1–%2, а стоит «%3»")
                         .arg(trend::MinYear)
                         .arg(trend::MaxYear)
                         .arg(echoCell(header.trimmed(i)));
            return false;
        }
        if (!year || *year != expected) {
            *error = QObject::tr("в заголовке после года %1 ожидался %2, а стоит «%3»")
                         .arg(expected - 1)
                         .arg(expected)
                         .arg(echoCell(header.trimmed(i)));
            return false;
        }
    }
    yearCount = last - first;
    return true;
}

namespace {

// The year of a header cell "NAME YEAR" (a blank, '_' or '-' between),
// `name` folded.
std::optional<qint32> blockYear(QByteArrayView cell, const QString &name)
{
    const QString text = foldedName(cellText(cell));
    if (text.size() <= name.size() + 1 || !text.startsWith(name))
        return std::nullopt;
    const QChar gap = text[name.size()];
    if (gap != u' ' && gap != u'_' && gap != u'-')
        return std::nullopt;
    return readYear(text.sliced(name.size() + 1).trimmed().toLatin1());
}

} // namespace

bool WideLayout::setRateHeader(const Record &header, QString *error)
{
    const QString casesName = foldedName(rates.cases),
                  populationName = foldedName(rates.population);
    qsizetype last = header.size();
    while (last > 0 && header.trimmed(last - 1).isEmpty())
        --last;
    qsizetype first = 0;
    while (first < last && !blockYear(header.trimmed(first), casesName)
        && !blockYear(header.trimmed(first), populationName))
        ++first;
    if (first == last || (last - first) % 2 != 0) {
        *error = QObject::tr("в заголовке нужны два блока лет: «%1 ГОД»… и «%2 ГОД»…")
                     .arg(rates.cases, rates.population);
        return false;
    }
    names = labelsOf(header, first);
    unit = rateUnit(rates.per);
    yearCount = (last - first) / 2;
    const bool casesFirst = blockYear(header.trimmed(first), casesName).has_value();
    casesAt = casesFirst ? first : first + yearCount;
    populationAt = casesFirst ? first + yearCount : first;
    firstYear = blockYear(header.trimmed(first), casesFirst ? casesName : populationName).value();
    for (qsizetype i = 0; i < yearCount; ++i) {
        for (const auto &[at, name, given] : {std::tuple(casesAt, casesName, rates.cases),
                 std::tuple(populationAt, populationName, rates.population)}) {
            if (blockYear(header.trimmed(at + i), name) != firstYear + qint32(i)) {
                *error = QObject::tr("в заголовке ожидался «%1 %2», а стоит «%3»")
                             .arg(given)
                             .arg(firstYear + qint32(i))
                             .arg(echoCell(header.trimmed(at + i)));
                return false;
            }
        }
    }
    return true;
}

std::optional<Series> WideLayout::rateRow(
    const Record &record, char delimiter, const QString &file, Skip *skip, bool keepTyped) const
{
    Series s;
    s.labels = labelsOf(record, names.size());
    s.file = file;
    s.line = record.line;
    s.unit = unit;
    s.per = rates.per;
    const auto fail = [&](const QString &reason, qsizetype column = -1) {
        *skip = Skip {file, record.line, displayLabel(s.labels, record.line), reason, column, {}};
        return std::nullopt;
    };
    // A year without cases has no value; trimmed at the ends, a gap inside.
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < yearCount; ++i) {
        if (!record.trimmed(casesAt + i).isEmpty()) {
            first = first < 0 ? i : first;
            last = i;
        }
    }
    for (qsizetype i = names.size() + 2 * yearCount; i < record.size(); ++i) {
        if (!record.trimmed(i).isEmpty())
            return fail(QObject::tr("значений больше, чем лет в заголовке"), i);
    }
    if (first < 0)
        return fail(QObject::tr("нет ни одного значения"));
    const qint64 n = last - first + 1;
    if (const auto why = lengthReason(n))
        return fail(*why);
    for (auto *v : {&s.values, &s.exact, &s.cases, &s.population})
        v->reserve(std::size_t(n));
    if (keepTyped)
        s.typed.reserve(std::size_t(n));
    for (qsizetype i = first; i <= last; ++i) {
        const qint32 year = firstYear + qint32(i);
        const QByteArrayView cases = record.trimmed(casesAt + i);
        if (cases.isEmpty())
            return fail(QObject::tr("пустая ячейка за %1 год").arg(year), casesAt + i);
        double value = 0;
        bool population = false;
        Counts counts;
        if (const auto why = readRate(cases, record.trimmed(populationAt + i), delimiter, rates.per,
                &value, &population, &counts))
            return fail(QObject::tr("%1 год: %2").arg(year).arg(*why),
                population ? populationAt + i : casesAt + i);
        s.values.push_back(value);
        s.exact.push_back(value);
        s.cases.push_back(counts.cases);
        s.population.push_back(counts.population);
        if (keepTyped)
            s.typed.push_back(trend::formatReal(value));
    }
    s.years = trend::seriesYears(firstYear + qint32(first), int(n));
    return s;
}

std::optional<Series> WideLayout::row(
    const Record &record, char delimiter, const QString &file, Skip *skip, bool keepTyped) const
{
    if (rates.on())
        return rateRow(record, delimiter, file, skip, keepTyped);
    const qsizetype labelCount = names.size();
    Series s;
    s.labels = labelsOf(record, labelCount);
    s.file = file;
    s.line = record.line;
    const auto fail = [&](const QString &reason, qsizetype column = -1) {
        *skip = Skip {file, record.line, displayLabel(s.labels, record.line), reason, column, {}};
        return std::nullopt;
    };

    qsizetype first = -1, last = -1;
    for (qsizetype i = labelCount; i < record.size(); ++i) {
        if (!record.trimmed(i).isEmpty()) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return fail(QObject::tr("нет ни одного значения"));
    if (last - labelCount >= yearCount)
        return fail(QObject::tr("значений больше, чем лет в заголовке"), last);
    const qint64 n = last - first + 1;
    if (const auto why = lengthReason(n))
        return fail(*why);

    const qint32 start = firstYear + qint32(first - labelCount);
    s.values.reserve(std::size_t(n));
    s.exact.reserve(std::size_t(n));
    if (keepTyped)
        s.typed.reserve(std::size_t(n));
    for (qsizetype i = first; i <= last; ++i) {
        const QByteArrayView cell = record.trimmed(i);
        const qint32 year = start + qint32(i - first);
        if (cell.isEmpty())
            return fail(QObject::tr("пустая ячейка за %1 год").arg(year), i);
        double value = 0, exact = 0;
        if (const auto why = readValue(cell, delimiter, &value, &exact))
            return fail(QObject::tr("%1 год: %2").arg(year).arg(*why), i);
        s.values.push_back(value);
        s.exact.push_back(exact);
        if (keepTyped)
            s.typed.push_back(cellText(cell));
    }
    s.years = trend::seriesYears(start, int(n));
    return s;
}

} // namespace table
