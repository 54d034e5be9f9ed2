// SPDX-License-Identifier: MIT
// What the window asks of a row of the table it shows. The model answers by
// its own rows and the filter by the rows it shows, so the window reads the
// view's rows as they are and maps nothing itself.
#pragma once

#include "table/series.h"

#include <QStringList>

class SeriesRows
{
public:
    virtual ~SeriesRows() = default;
    virtual const QStringList &labels(int row) const = 0;
    // Where the row's series starts in its table.
    virtual qint64 line(int row) const = 0;
    // The series of a row as the table gave it.
    virtual table::Series series(int row) const = 0;

protected:
    SeriesRows() = default;
    SeriesRows(const SeriesRows &) = default;
    SeriesRows &operator=(const SeriesRows &) = default;
};
