// SPDX-License-Identifier: MIT
#include "cells.h"

#include "incidencetext.h"
#include "series.h"
#include "trendcore.h"

#include <QObject>

#include <algorithm>

namespace batch {

QString cellText(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

QString echoCell(QByteArrayView bytes)
{
    return echoed(cellText(bytes.first(std::min<qsizetype>(bytes.size(), 4 * EchoLength))));
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

std::optional<QString> readValue(QByteArrayView cell, char delimiter, double *value)
{
    const trend::Entry entry = trend::parseEntry(cell);
    if (delimiter == ',' && cell.contains(','))
        return QObject::tr("«%1»: в таблице с разделителем-запятой десятичная запятая не "
                           "принимается, нужна точка")
            .arg(echoCell(cell));
    if (entry.kind == trend::EntryKind::Number) {
        *value = entry.value;
        return std::nullopt;
    }
    if (entry.kind == trend::EntryKind::OutOfRange)
        return QObject::tr("значение «%1» вне диапазона одинарной точности").arg(echoCell(cell));
    return QObject::tr("«%1» не является числом").arg(echoCell(cell));
}

} // namespace batch
