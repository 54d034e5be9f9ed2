// SPDX-License-Identifier: MIT
#include "table/seriessource.h"

#include <QObject>

namespace table {

SeriesSource::SeriesSource(QIODevice *device, const QString &fileName, const SourceOptions &options)
    : reader(device, options.delimiter)
    , file(fileName)
    , options(options)
    , wide(options.rates)
    , longTable(options.rates)
{ }

Problem SeriesSource::readFailure(const TableReader &failed) const
{
    return {file, failed.errorLine(), {}, failed.error(), -1, options.sheet};
}

bool SeriesSource::start(Problem *error)
{
    if (!reader.next(record)) {
        *error = reader.error().isEmpty() ? Problem::about(file, QObject::tr("таблица пуста"))
                                          : readFailure(reader);
        return false;
    }
    QString why;
    const bool ok
        = options.longLayout ? longTable.setHeader(record, &why) : wide.setHeader(record, &why);
    if (!ok)
        *error = {file, record.line, {}, why, -1, options.sheet};
    return ok;
}

QStringList SeriesSource::labelNames() const
{
    return options.longLayout ? longTable.labelNames() : wide.labelNames();
}

QString SeriesSource::valueName() const
{
    const QString name = options.rates.on() ? rateUnit(options.rates.per)
        : options.longLayout                ? longTable.valueName()
                                            : QString();
    return name.isEmpty() ? QObject::tr("заболеваемость") : name;
}

bool SeriesSource::next(SourceItem &item)
{
    while (given == pending.size()) {
        pending.clear();
        given = 0;
        SourceBatch batch;
        if (!nextBatch(batch))
            return false;
        read(batch, [&](SourceItem &i) {
            done = done || (std::holds_alternative<ReadFailure>(i) && failureEnds());
            pending.push_back(std::move(i));
            return !done;
        });
    }
    item = std::move(pending[given++]);
    return true;
}

bool SeriesSource::nextBatch(SourceBatch &batch)
{
    batch = SourceBatch();
    if (done)
        return false;
    if (options.longLayout)
        return nextLong(batch);
    if (reader.nextBlock(batch.records, batch.firstLine, options.batchBytes))
        return true;
    done = true;
    if (reader.error().isEmpty())
        return false;
    batch.items.push_back(ReadFailure {readFailure(reader)});
    return true;
}

bool SeriesSource::readRecord(TableReader &blockReader, Record &row, SourceItem &item) const
{
    if (!blockReader.next(row)) {
        if (blockReader.error().isEmpty())
            return false;
        item = ReadFailure {readFailure(blockReader)};
        return true;
    }
    Skip skip;
    if (auto series = wide.row(row, blockReader.delimiter(), file, &skip, options.keepTyped)) {
        item = std::move(*series);
    } else {
        skip.sheet = options.sheet;
        item = std::move(skip);
    }
    return true;
}

std::pair<qint32, qint32> SeriesSource::yearSpan()
{
    if (!options.longLayout)
        return wide.yearSpan();
    collect();
    return longTable.yearSpan();
}

// A long table is read whole before its first series: a series' rows may
// be anywhere in it.
void SeriesSource::collect()
{
    if (!collecting)
        return;
    collecting = false;
    for (qint64 read = 1; reader.next(record); ++read) {
        longTable.add(record, reader.delimiter(), file);
        if (read % 4096 == 0 && options.reading && !options.reading()) {
            done = true;
            return;
        }
    }
    // A read failure is told first, as soon as it happens; the series read
    // before it follow.
    if (!reader.error().isEmpty())
        collected.push_back(ReadFailure {readFailure(reader)});
    for (LongLayout::Result &result : longTable.finish()) {
        result.skip.sheet = options.sheet;
        if (result.series)
            collected.push_back(std::move(*result.series));
        else
            collected.push_back(std::move(result.skip));
    }
    total = qint64(collected.size());
}

bool SeriesSource::nextLong(SourceBatch &batch)
{
    collect();
    if (done || taken == collected.size()) {
        done = true;
        collected.clear();
        return false;
    }
    const std::size_t series = std::size_t(std::max<qsizetype>(1, options.batchBytes / 256));
    const std::size_t end = std::min(collected.size(), taken + series);
    batch.items.assign(std::make_move_iterator(collected.begin() + std::ptrdiff_t(taken)),
        std::make_move_iterator(collected.begin() + std::ptrdiff_t(end)));
    taken = end;
    return true;
}

} // namespace table
