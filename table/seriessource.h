// SPDX-License-Identifier: MIT
// The one way from a table to series: reads the header, decides nothing
// but what the layout says, and yields each row's series, or the reason it
// is skipped, in the order of the table. Wide tables stream; long tables
// are read whole before the first series comes.
#pragma once

#include "table/longlayout.h"
#include "table/series.h"
#include "table/tablereader.h"
#include "table/widelayout.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

class QIODevice;

namespace table {

struct SourceOptions {
    bool longLayout = false;
    char delimiter = 0; // 0: detect from the header
    bool keepTyped = true; // keep each cell's text, which only reports need
    // About this much of a wide table makes a batch, and a 256th as many
    // series of a long one.
    qsizetype batchBytes = 1 << 20;
    QString sheet; // a workbook's sheet: messages name its cells
    Rates rates; // values from counts, or as they are
    // Asked now and then while a long table is read whole: false stops the
    // reading, and the source then gives nothing more.
    std::function<bool()> reading;
};

// The failure that ends the reading before the table's end.
struct ReadFailure {
    Problem problem;
};

// One step of a table: a series to compute, a skipped series, or the
// failure that ends the reading.
using SourceItem = std::variant<Series, Skip, ReadFailure>;

// A run of items that can be read apart from the source, on a thread of
// its own: the raw records of a wide table, or the items a long table has
// assembled.
struct SourceBatch {
    QByteArray records;
    qint64 firstLine = 0;
    std::vector<SourceItem> items;
};

class SeriesSource
{
public:
    // The device must stay open while the source is used.
    SeriesSource(QIODevice *device, const QString &fileName, const SourceOptions &options);

    // Reads the header. On failure `error` says why and where.
    bool start(Problem *error);
    QStringList labelNames() const;
    // What the values are, for a chart's axis: the long table's value
    // column, or incidence.
    QString valueName() const;
    // The next item; false after the last.
    bool next(SourceItem &item);

    // The next batch; false after the last. Batches in order, and their
    // items in order, are the items that next() gives.
    bool nextBatch(SourceBatch &batch);
    // Calls `take` with each item of `batch` in order, until it returns
    // false. Safe to call from several threads at once, each with a batch
    // of its own.
    template<typename Take> void read(SourceBatch &batch, Take take) const;
    // Whether a failure is the last item: in a wide table nothing after it
    // is read. A long table tells its read failure first, then the series
    // read before it.
    bool failureEnds() const { return !options.longLayout; }
    // The first and last year of the table: its header's, or of any row of
    // a long table, which this reads whole.
    std::pair<qint32, qint32> yearSpan();
    // How many items a long table holds, once read; -1 for a wide table.
    qint64 itemCount() const { return options.longLayout && !collecting ? total : -1; }

private:
    bool nextLong(SourceBatch &batch);
    void collect();
    Problem readFailure(const TableReader &failed) const;
    bool readRecord(TableReader &blockReader, Record &record, SourceItem &item) const;

    TableReader reader;
    QString file;
    SourceOptions options;
    Record record;
    WideLayout wide;
    LongLayout longTable;
    std::vector<SourceItem> collected; // the long layout's series, once read
    std::size_t taken = 0;
    qint64 total = 0;
    bool collecting = true;
    bool done = false;
    std::vector<SourceItem> pending; // what next() has still to give
    std::size_t given = 0;
};

template<typename Take> void SeriesSource::read(SourceBatch &batch, Take take) const
{
    for (SourceItem &item : batch.items) {
        if (!take(item))
            return;
    }
    if (batch.records.isEmpty())
        return;
    TableReader blockReader(batch.records, reader.delimiter(), batch.firstLine);
    Record row;
    SourceItem item;
    while (readRecord(blockReader, row, item)) {
        const bool failure = std::holds_alternative<ReadFailure>(item);
        if (!take(item) || failure)
            return;
    }
}

} // namespace table
