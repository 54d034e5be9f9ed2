// SPDX-License-Identifier: MIT
#include "seriessource.h"

#include <QObject>

namespace batch {

SeriesSource::SeriesSource(QIODevice *device, const QString &fileName, const SourceOptions &options)
    : reader(device, options.delimiter)
    , file(fileName)
    , options(options)
{ }

QString SeriesSource::readFailure() const
{
    return QStringLiteral("%1:%2: %3").arg(file).arg(reader.errorLine()).arg(reader.error());
}

bool SeriesSource::start(QString *error)
{
    if (!reader.next(record)) {
        *error
            = reader.error().isEmpty() ? QObject::tr("%1: таблица пуста").arg(file) : readFailure();
        return false;
    }
    QString why;
    const bool ok
        = options.longLayout ? longTable.setHeader(record, &why) : wide.setHeader(record, &why);
    if (!ok)
        *error = QStringLiteral("%1:%2: %3").arg(file).arg(record.line).arg(why);
    return ok;
}

QStringList SeriesSource::labelNames() const
{
    return options.longLayout ? longTable.labelNames() : wide.labelNames();
}

bool SeriesSource::next(SourceItem &item)
{
    item = SourceItem();
    if (done)
        return false;
    return options.longLayout ? nextLong(item) : nextWide(item);
}

bool SeriesSource::nextWide(SourceItem &item)
{
    if (!reader.next(record)) {
        done = true;
        if (reader.error().isEmpty())
            return false;
        item.failure = readFailure();
        return true;
    }
    item.series = wide.row(record, reader.delimiter(), file, &item.skip, options.keepTyped);
    return true;
}

bool SeriesSource::nextLong(SourceItem &item)
{
    if (collecting) {
        collecting = false;
        while (reader.next(record))
            longTable.add(record, reader.delimiter(), file);
        // A read failure is told first, as soon as it happens; the series
        // read before it follow.
        if (!reader.error().isEmpty())
            collected.push_back(SourceItem {std::nullopt, Skip(), readFailure()});
        for (LongLayout::Result &result : longTable.finish())
            collected.push_back(SourceItem {std::move(result.series), result.skip, QString()});
    }
    if (taken == collected.size()) {
        done = true;
        collected.clear();
        return false;
    }
    item = std::move(collected[taken++]);
    return true;
}

} // namespace batch
