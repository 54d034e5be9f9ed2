// SPDX-License-Identifier: MIT
// The wide layout: label columns, then consecutive years in the header; one
// series a row. Empty cells before the first and after the last value are
// trimmed; anything else that keeps a row from being a series the window
// would take skips it with a reason.
#pragma once

#include "table/cells.h"
#include "table/series.h"
#include "table/tablereader.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace table {

// Reads the header of a wide table: label columns, then consecutive years.
// With rates from counts, two blocks of them instead, each year's header
// cell the block's name and the year ("случаи 2015" ... "население 2015"
// ...), in either order, over the same years.
class WideLayout
{
public:
    explicit WideLayout(const Rates &rates = {})
        : rates(rates)
    { }
    bool setHeader(const Record &header, QString *error);
    QStringList labelNames() const { return names; }
    // The header's first and last year.
    std::pair<qint32, qint32> yearSpan() const
    {
        return {firstYear, firstYear + qint32(yearCount) - 1};
    }
    // A series, or the reason it is skipped.
    // `keepTyped`: keep each cell's text too, which only reports need.
    std::optional<Series> row(const Record &record, char delimiter, const QString &file, Skip *skip,
        bool keepTyped = true) const;

private:
    bool setRateHeader(const Record &header, QString *error);
    std::optional<Series> rateRow(const Record &record, char delimiter, const QString &file,
        Skip *skip, bool keepTyped) const;

    Rates rates;
    qsizetype casesAt = 0, populationAt = 0; // the blocks' first columns
    QString unit; // of the rates, the same for every row
    QStringList names;
    qint32 firstYear = 0;
    qsizetype yearCount = 0;
};

} // namespace table
