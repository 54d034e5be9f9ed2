// SPDX-License-Identifier: MIT
#include "table/longlayout.h"

#include "calc/trendcore.h"
#include "table/cells.h"

#include <QObject>

#include <algorithm>

namespace table {

bool LongLayout::setHeader(const Record &header, QString *error)
{
    if (header.size() < 3) {
        *error = QObject::tr("в длинной таблице нужны столбцы меток, года и значения");
        return false;
    }
    if (!rates.on()) {
        names = labelsOf(header, header.size() - 2);
        value = cellText(header.trimmed(header.size() - 1));
        return true;
    }
    const qsizetype n = header.size();
    const QString a = foldedName(cellText(header.trimmed(n - 2))),
                  b = foldedName(cellText(header.trimmed(n - 1)));
    const QString cases = foldedName(rates.cases), population = foldedName(rates.population);
    if (n < 4 || !((a == cases && b == population) || (a == population && b == cases))) {
        *error = QObject::tr("в длинной таблице нужны столбцы меток, года, «%1» и «%2», два "
                             "последних в любом порядке")
                     .arg(rates.cases, rates.population);
        return false;
    }
    names = labelsOf(header, n - 3);
    casesAt = a == cases ? 1 : 2;
    populationAt = 3 - casesAt;
    value = rateUnit(rates.per);
    return true;
}

void LongLayout::add(const Record &record, char delimiter, const QString &file)
{
    const qsizetype labelCount = names.size();
    // A row of blanks separates nothing and belongs to no series.
    bool blank = true;
    for (qsizetype i = 0; i < record.size() && blank; ++i)
        blank = record.trimmed(i).isEmpty();
    if (blank)
        return;

    const QStringList labels = labelsOf(record, labelCount);
    const QString key = labels.join(QChar(0x1f));
    auto found = index.constFind(key);
    if (found == index.constEnd()) {
        found = index.insert(key, pending.size());
        pending.push_back(Pending {labels, file, record.line, {}, std::nullopt});
    }
    Pending &p = pending[*found];
    if (p.skip)
        return;
    const auto fail = [&](const QString &reason, qsizetype column) {
        p.skip = Skip {file, record.line, displayLabel(labels, p.line), reason, column, {}};
    };

    const QByteArrayView yearCell = record.trimmed(labelCount);
    const auto year = readYear(yearCell);
    if (!year)
        return fail(QObject::tr("год «%1» не распознан (нужен год %2–%3)")
                        .arg(echoCell(yearCell))
                        .arg(trend::MinYear)
                        .arg(trend::MaxYear),
            labelCount);
    const qsizetype width = labelCount + (rates.on() ? 3 : 2);
    if (record.size() > width) {
        for (qsizetype i = width; i < record.size(); ++i) {
            if (!record.trimmed(i).isEmpty())
                return fail(QObject::tr("в строке больше ячеек, чем в заголовке"), i);
        }
    }
    const QByteArrayView cell = record.trimmed(labelCount + casesAt);
    Point point {*year, record.line, cell.isEmpty(), 0, 0, cellText(cell), {}};
    span = span.first > span.second
        ? std::pair(*year, *year)
        : std::pair(std::min(span.first, *year), std::max(span.second, *year));
    if (!point.empty && !rates.on()) {
        if (const auto why = readValue(cell, delimiter, &point.value, &point.exact))
            return fail(QObject::tr("%1 год: %2").arg(*year).arg(*why), labelCount + 1);
    } else if (!point.empty) {
        bool population = false;
        if (const auto why = readRate(cell, record.trimmed(labelCount + populationAt), delimiter,
                rates.per, &point.value, &population, &point.counts))
            return fail(QObject::tr("%1 год: %2").arg(*year).arg(*why),
                labelCount + (population ? populationAt : casesAt));
        point.exact = point.value;
        point.typed = trend::formatReal(point.value);
    }
    p.points.push_back(std::move(point));
}

LongLayout::Result LongLayout::assemble(Pending &p) const
{
    Result result;
    if (p.skip) {
        result.skip = *p.skip;
        return result;
    }
    const auto fail = [&](qint64 line, const QString &reason, qsizetype column = -1) {
        result.skip = Skip {p.file, line, displayLabel(p.labels, p.line), reason, column, {}};
        return result;
    };
    std::stable_sort(p.points.begin(), p.points.end(),
        [](const Point &a, const Point &b) { return a.year < b.year; });
    const auto repeated = std::adjacent_find(p.points.begin(), p.points.end(),
        [](const Point &a, const Point &b) { return a.year == b.year; });
    if (repeated != p.points.end())
        return fail((repeated + 1)->line,
            QObject::tr("год %1 повторяется (строки %2 и %3)")
                .arg(repeated->year)
                .arg(repeated->line)
                .arg((repeated + 1)->line));
    const auto first
        = std::find_if(p.points.begin(), p.points.end(), [](const Point &q) { return !q.empty; });
    const auto last
        = std::find_if(p.points.rbegin(), p.points.rend(), [](const Point &q) { return !q.empty; });
    const qint64 n = first == p.points.end() ? 0 : (last.base() - first);
    if (n == 0)
        return fail(p.line, QObject::tr("нет ни одного значения"));
    if (const auto why = lengthReason(n))
        return fail(p.line, *why);

    Series s {p.labels, p.file, p.line, {}, {}, {}, {}, rates.on() ? value : QString(), {}, {},
        rates.per};
    for (auto it = first; it != last.base(); ++it) {
        if (it != first && it->year != (it - 1)->year + 1)
            return fail(p.line, QObject::tr("нет значения за %1 год").arg((it - 1)->year + 1));
        if (it->empty)
            return fail(
                it->line, QObject::tr("пустая ячейка за %1 год").arg(it->year), names.size() + 1);
        s.values.push_back(it->value);
        s.exact.push_back(it->exact);
        s.typed.push_back(it->typed);
        if (rates.on()) {
            s.cases.push_back(it->counts.cases);
            s.population.push_back(it->counts.population);
        }
    }
    s.years = trend::seriesYears(first->year, int(n));
    result.series = std::move(s);
    return result;
}

std::vector<LongLayout::Result> LongLayout::finish()
{
    std::vector<Result> out;
    out.reserve(pending.size());
    for (Pending &p : pending)
        out.push_back(assemble(p));
    pending.clear();
    index.clear();
    return out;
}

} // namespace table
