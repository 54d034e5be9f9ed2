// SPDX-License-Identifier: MIT
#include "cells.h"

#include "incidencetext.h"
#include "trendcore.h"

#include <QObject>

namespace batch {

QString cellText(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
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

std::optional<QString> readValue(QByteArrayView cell, char delimiter, double *value)
{
    const trend::Entry entry = trend::parseEntry(cell);
    if (delimiter == ',' && cell.contains(','))
        return QObject::tr("«%1»: в таблице с разделителем-запятой десятичная запятая не "
                           "принимается, нужна точка")
            .arg(cellText(cell));
    if (entry.kind == trend::EntryKind::Number) {
        *value = entry.value;
        return std::nullopt;
    }
    if (entry.kind == trend::EntryKind::OutOfRange)
        return QObject::tr("значение «%1» вне диапазона одинарной точности").arg(cellText(cell));
    return QObject::tr("«%1» не является числом").arg(cellText(cell));
}

} // namespace batch
