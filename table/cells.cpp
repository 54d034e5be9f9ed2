// SPDX-License-Identifier: MIT
#include "table/cells.h"

#include "calc/incidencetext.h"
#include "calc/trendcore.h"
#include "table/series.h"

#include <QObject>

#include <algorithm>
#include <cmath>

namespace table {

QString cellText(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

QString echoCell(QByteArrayView bytes)
{
    return echoed(cellText(bytes.first(std::min<qsizetype>(bytes.size(), 4 * EchoLength))));
}

QString foldedName(const QString &name)
{
    return name.toCaseFolded().replace(QChar(0x451), QChar(0x435)); // ё, е
}

bool allDigits(QByteArrayView cell)
{
    return !cell.isEmpty()
        && std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QStringList labelsOf(const Record &record, qsizetype count)
{
    QStringList labels;
    for (qsizetype i = 0; i < count; ++i)
        labels.append(cellText(record.trimmed(i)));
    return labels;
}

std::optional<qint32> readYear(QByteArrayView cell)
{
    if (cell.size() > 4 || !allDigits(cell))
        return std::nullopt;
    qint32 year = 0;
    for (char c : cell)
        year = year * 10 + (c - '0');
    if (year < trend::MinYear || year > trend::MaxYear)
        return std::nullopt;
    return year;
}

std::optional<QString> readValue(QByteArrayView cell, char delimiter, double *value, double *exact)
{
    const trend::Entry entry = trend::parseEntry(cell);
    if (delimiter == ',' && cell.contains(','))
        return QObject::tr("«%1»: в таблице с разделителем-запятой десятичная запятая не "
                           "принимается, нужна точка")
            .arg(echoCell(cell));
    if (entry.kind == trend::EntryKind::Number) {
        *value = entry.value;
        if (exact)
            *exact = entry.exact;
        return std::nullopt;
    }
    if (entry.kind == trend::EntryKind::OutOfRange)
        return QObject::tr("значение «%1» вне диапазона одинарной точности").arg(echoCell(cell));
    return QObject::tr("«%1» не является числом").arg(echoCell(cell));
}

std::optional<QString> lengthReason(qint64 n)
{
    if (n < trend::MinValues)
        return QObject::tr("меньше пяти значений (%1)").arg(n);
    if (n > trend::MaxValues)
        return QObject::tr("больше %1 значений").arg(trend::MaxValues);
    return std::nullopt;
}

QString rateUnit(double per)
{
    const auto scaled = [&](double unit, const char *word) {
        return QObject::tr("на %1 %2")
            .arg(QString::number(per / unit, 'g', 15), QString::fromUtf8(word));
    };
    if (per >= 1e6 && std::fmod(per, 1e6) == 0)
        return scaled(1e6, "млн");
    if (per >= 1e4 && std::fmod(per, 1e3) == 0)
        return scaled(1e3, "тыс.");
    return QObject::tr("на %1").arg(QString::number(per, 'g', 15));
}

namespace {

// A count, read as written: populations run past what single precision
// holds exactly.
std::optional<QString> readCount(QByteArrayView cell, char delimiter, double *value)
{
    double single = 0;
    return readValue(cell, delimiter, &single, value);
}

} // namespace

std::optional<QString> readRate(QByteArrayView cases, QByteArrayView populationCell, char delimiter,
    double per, double *value, bool *population, Counts *counts)
{
    double count = 0, people = 0;
    *population = false;
    if (auto why = readCount(cases, delimiter, &count))
        return why;
    if (count < 0)
        return QObject::tr("число случаев «%1» меньше нуля").arg(echoCell(cases));
    *population = true;
    if (populationCell.isEmpty())
        return QObject::tr("население не указано");
    if (auto why = readCount(populationCell, delimiter, &people))
        return QObject::tr("население: %1").arg(*why);
    if (people <= 0)
        return QObject::tr("население «%1» не больше нуля").arg(echoCell(populationCell));
    *value = count * per / people;
    *counts = {count, people};
    return std::nullopt;
}

} // namespace table
