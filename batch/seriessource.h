// SPDX-License-Identifier: MIT
// The one way from a table to series: reads the header, decides nothing
// but what the layout says, and yields each row's series, or the reason it
// is skipped, in the order of the table. Wide tables stream; long tables
// are read whole before the first series comes.
#pragma once

#include "longlayout.h"
#include "series.h"
#include "tablereader.h"
#include "widelayout.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QIODevice;

namespace batch {

struct SourceOptions {
    bool longLayout = false;
    char delimiter = 0; // 0: detect from the header
    bool keepTyped = true; // keep each cell's text, which only reports need
};

// One step of a table: a series to compute, a skipped series, or the
// failure that ends the reading ("FILE: reason") before the table's end.
struct SourceItem {
    std::optional<Series> series;
    Skip skip;
    QString failure;
};

class SeriesSource
{
public:
    // The device must stay open while the source is used.
    SeriesSource(QIODevice *device, const QString &fileName, const SourceOptions &options);

    // Reads the header. On failure `error` says why, naming the file.
    bool start(QString *error);
    QStringList labelNames() const;
    // The next item; false after the last.
    bool next(SourceItem &item);

private:
    bool nextWide(SourceItem &item);
    bool nextLong(SourceItem &item);
    QString readFailure() const;

    TableReader reader;
    QString file;
    SourceOptions options;
    Record record;
    WideLayout wide;
    LongLayout longTable;
    std::vector<SourceItem> collected; // the long layout's series, once read
    std::size_t taken = 0;
    bool collecting = true;
    bool done = false;
};

} // namespace batch
