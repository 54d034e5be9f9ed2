#include "series.h"

#include "incidencetext.h"
#include "trendcore.h"

#include <QObject>

#include <algorithm>

namespace batch {

namespace {

QString text(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

// A header or year cell holding a year the window's year box can show.
std::optional<qint32> readYear(QByteArrayView cell)
{
    if (cell.isEmpty() || cell.size() > 4)
        return std::nullopt;
    qint32 year = 0;
    for (char c : cell) {
        if (c < '0' || c > '9')
            return std::nullopt;
        year = year * 10 + (c - '0');
    }
    if (year < trend::MinYear || year > trend::MaxYear)
        return std::nullopt;
    return year;
}

QStringList labelsOf(const Record &record, qsizetype count)
{
    QStringList labels;
    for (qsizetype i = 0; i < count; ++i)
        labels.append(text(record.trimmed(i)));
    return labels;
}

} // namespace

QString Skip::message() const
{
    return QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(label, reason);
}

QString displayLabel(const QStringList &labels, qint64 line)
{
    QStringList parts;
    for (const QString &l : labels) {
        if (!l.isEmpty())
            parts.append(l);
    }
    if (parts.isEmpty())
        return QObject::tr("строка %1").arg(line);
    return parts.join(QStringLiteral(" / "));
}

std::optional<QString> readValue(QByteArrayView cell, char delimiter, double *value)
{
    const trend::Entry entry = trend::parseEntry(cell);
    if (delimiter == ',' && cell.contains(','))
        return QObject::tr("«%1»: в таблице с разделителем-запятой десятичная запятая не "
                           "принимается, нужна точка")
            .arg(text(cell));
    if (entry.kind == trend::EntryKind::Number) {
        *value = entry.value;
        return std::nullopt;
    }
    if (entry.kind == trend::EntryKind::OutOfRange)
        return QObject::tr("значение «%1» вне диапазона одинарной точности").arg(text(cell));
    return QObject::tr("«%1» не является числом").arg(text(cell));
}

bool WideLayout::setHeader(const Record &header, QString *error)
{
    qsizetype first = -1;
    for (qsizetype i = 0; i < header.size() && first < 0; ++i) {
        if (readYear(header.trimmed(i)))
            first = i;
    }
    if (first < 0) {
        *error = QObject::tr("в заголовке нет ни одного года (%1–%2)")
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
        if (!year || *year != expected) {
            *error = QObject::tr("в заголовке после года %1 ожидался %2, а стоит «%3»")
                         .arg(expected - 1)
                         .arg(expected)
                         .arg(text(header.trimmed(i)));
            return false;
        }
    }
    yearCount = last - first;
    return true;
}

std::optional<Series> WideLayout::row(
    const Record &record, char delimiter, const QString &file, Skip *skip, bool keepTyped) const
{
    const qsizetype labelCount = names.size();
    Series s;
    s.labels = labelsOf(record, labelCount);
    s.file = file;
    s.line = record.line;
    const auto fail = [&](const QString &reason) {
        *skip = Skip {file, record.line, displayLabel(s.labels, record.line), reason};
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
        return fail(QObject::tr("значений больше, чем лет в заголовке"));
    const qint64 n = last - first + 1;
    if (n < trend::MinValues)
        return fail(QObject::tr("меньше пяти значений (%1)").arg(n));
    if (n > trend::MaxValues)
        return fail(QObject::tr("больше %1 значений").arg(trend::MaxValues));

    const qint32 start = firstYear + qint32(first - labelCount);
    s.values.reserve(std::size_t(n));
    if (keepTyped)
        s.typed.reserve(std::size_t(n));
    for (qsizetype i = first; i <= last; ++i) {
        const QByteArrayView cell = record.trimmed(i);
        const qint32 year = start + qint32(i - first);
        if (cell.isEmpty())
            return fail(QObject::tr("пустая ячейка за %1 год").arg(year));
        double value = 0;
        if (const auto why = readValue(cell, delimiter, &value))
            return fail(QObject::tr("%1 год: %2").arg(year).arg(*why));
        s.values.push_back(value);
        if (keepTyped)
            s.typed.push_back(text(cell));
    }
    s.years = trend::seriesYears(start, int(n));
    return s;
}

bool LongLayout::setHeader(const Record &header, QString *error)
{
    if (header.size() < 3) {
        *error = QObject::tr("в длинной таблице нужны столбцы меток, года и значения");
        return false;
    }
    names = labelsOf(header, header.size() - 2);
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
    const auto fail = [&](const QString &reason) {
        p.skip = Skip {file, record.line, displayLabel(labels, p.line), reason};
    };

    const QByteArrayView yearCell = record.trimmed(labelCount);
    const auto year = readYear(yearCell);
    if (!year)
        return fail(QObject::tr("год «%1» не распознан (нужен год %2–%3)")
                        .arg(text(yearCell))
                        .arg(trend::MinYear)
                        .arg(trend::MaxYear));
    if (record.size() > labelCount + 2) {
        for (qsizetype i = labelCount + 2; i < record.size(); ++i) {
            if (!record.trimmed(i).isEmpty())
                return fail(QObject::tr("в строке больше ячеек, чем в заголовке"));
        }
    }
    const QByteArrayView cell = record.trimmed(labelCount + 1);
    Point point {*year, record.line, cell.isEmpty(), 0, text(cell)};
    if (!point.empty) {
        if (const auto why = readValue(cell, delimiter, &point.value))
            return fail(QObject::tr("%1 год: %2").arg(*year).arg(*why));
    }
    p.points.push_back(std::move(point));
}

std::vector<LongLayout::Result> LongLayout::finish()
{
    std::vector<Result> out;
    out.reserve(pending.size());
    for (Pending &p : pending) {
        Result result;
        if (p.skip) {
            result.skip = *p.skip;
            out.push_back(std::move(result));
            continue;
        }
        const auto fail = [&](qint64 line, const QString &reason) {
            result.skip = Skip {p.file, line, displayLabel(p.labels, p.line), reason};
        };
        std::stable_sort(p.points.begin(), p.points.end(),
            [](const Point &a, const Point &b) { return a.year < b.year; });
        const auto repeated = std::adjacent_find(p.points.begin(), p.points.end(),
            [](const Point &a, const Point &b) { return a.year == b.year; });
        if (repeated != p.points.end()) {
            fail((repeated + 1)->line,
                QObject::tr("год %1 повторяется (строки %2 и %3)")
                    .arg(repeated->year)
                    .arg(repeated->line)
                    .arg((repeated + 1)->line));
            out.push_back(std::move(result));
            continue;
        }
        auto first = std::find_if(
            p.points.begin(), p.points.end(), [](const Point &q) { return !q.empty; });
        auto last = std::find_if(
            p.points.rbegin(), p.points.rend(), [](const Point &q) { return !q.empty; });
        const qint64 n = first == p.points.end() ? 0 : (last.base() - first);
        if (n == 0) {
            fail(p.line, QObject::tr("нет ни одного значения"));
        } else if (n < trend::MinValues) {
            fail(p.line, QObject::tr("меньше пяти значений (%1)").arg(n));
        } else if (n > trend::MaxValues) {
            fail(p.line, QObject::tr("больше %1 значений").arg(trend::MaxValues));
        } else {
            Series s;
            s.labels = p.labels;
            s.file = p.file;
            s.line = p.line;
            for (auto it = first; it != last.base(); ++it) {
                if (it != first && it->year != (it - 1)->year + 1) {
                    fail(p.line, QObject::tr("нет значения за %1 год").arg((it - 1)->year + 1));
                    break;
                }
                if (it->empty) {
                    fail(it->line, QObject::tr("пустая ячейка за %1 год").arg(it->year));
                    break;
                }
                s.values.push_back(it->value);
                s.typed.push_back(it->typed);
            }
            if (result.skip.reason.isEmpty()) {
                s.years = trend::seriesYears(first->year, int(n));
                result.series = std::move(s);
            }
        }
        out.push_back(std::move(result));
    }
    pending.clear();
    index.clear();
    return out;
}

} // namespace batch
