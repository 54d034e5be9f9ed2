// SPDX-License-Identifier: MIT
// The wide layout: label columns, then consecutive years in the header; one
// series a row. Empty cells before the first and after the last value are
// trimmed; anything else that keeps a row from being a series the window
// would take skips it with a reason.
#pragma once

#include "series.h"
#include "tablereader.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace batch {

// Reads the header of a wide table: label columns, then consecutive years.
class WideLayout
{
public:
    bool setHeader(const Record &header, QString *error);
    QStringList labelNames() const { return names; }
    // A series, or the reason it is skipped.
    // `keepTyped`: keep each cell's text too, which only reports need.
    std::optional<Series> row(const Record &record, char delimiter, const QString &file, Skip *skip,
        bool keepTyped = true) const;

private:
    QStringList names;
    qint32 firstYear = 0;
    qsizetype yearCount = 0;
};

} // namespace batch
