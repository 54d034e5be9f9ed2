// The summary table of a batch run: one row per computed series, as CSV or
// as a JSON array, streamed to a device as the series come.
//
// Numbers are written at full precision (the shortest text that reads back
// as the same double). CSV writes "inf", "-inf" and "nan" for values that are
// not finite; JSON, which has no such numbers, writes null.
#pragma once

#include "ols.h"
#include "series.h"
#include "trendcore.h"

#include <QByteArray>
#include <QStringList>

class QIODevice;

namespace batch {

enum class SummaryFormat { Csv, Json };

class SummaryWriter
{
public:
    SummaryWriter(QIODevice *device, SummaryFormat format, const QStringList &labelNames);
    void write(const Series &series, const trend::TrendResult &result, const OlsFit &ols);
    // Ends the table and flushes; false when the device failed.
    bool finish();

    // The fixed columns after the labels.
    static QStringList columns();

private:
    bool flush();

    QIODevice *device;
    SummaryFormat format;
    QStringList labelNames;
    QByteArray buffer;
    qint64 rows = 0;
    bool failed = false;
};

} // namespace batch
