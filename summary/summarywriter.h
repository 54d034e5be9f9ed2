// SPDX-License-Identifier: MIT
// The summary table of a batch run: one row per computed series, streamed
// to a device as the series come, as CSV or as a JSON array. Both spell the
// columns of the one row model (summaryrow.h).
//
// Numbers are written at full precision (the shortest text that reads back
// as the same double). A statistic that does not exist for a series is an
// empty cell, null in JSON. Plain CSV writes "inf", "-inf" and "nan" where
// the practice method itself gives them (pandas and R read those); the CSV
// for Excel leaves such cells empty, since Excel reads them as text, and
// JSON, which has no such numbers, writes null.
#pragma once

#include "summary/summaryrow.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

class QIODevice;

namespace summary {

// None: no summary is written (a window shows the rows instead).
enum class SummaryFormat { Csv, ExcelCsv, Json, Xlsx, None };

class SummaryWriter
{
public:
    // A table of the columns of `model` after the labels (summaryColumns()
    // or segmentColumns()). Empty label names become "label1", "label2", ...
    static std::unique_ptr<SummaryWriter> create(QIODevice *device, SummaryFormat format,
        const QStringList &labelNames, const std::vector<Column> &model);
    // An Excel workbook written to `path` when finish() succeeds (a staged
    // file, which the caller names): the summary, with `segments` the
    // segments table as a second sheet, and a sheet that names the columns.
    // The error, if it cannot be begun, goes to `error`.
    static std::unique_ptr<SummaryWriter> createXlsx(const QString &path,
        const QStringList &labelNames, const std::vector<Column> &model,
        const std::vector<Column> *segments, QString *error);
    virtual ~SummaryWriter() = default;

    // Spells one row into `out`. Safe to call from several threads at once.
    virtual void formatRow(QByteArray &out, const RowInput &row) const = 0;
    // Writes rows that formatRow() spelled, in their order.
    void append(QByteArrayView rows);
    // Ends the table and flushes; false when the device failed.
    virtual bool finish();
    // Gives the table up: nothing of it is left (a workbook; a device's
    // owner cancels what it holds).
    virtual void cancel() { }
    // A workbook's segments sheet, written through a writer of its own that
    // finishes before this one; null for any other.
    virtual std::unique_ptr<SummaryWriter> segmentsSheet() { return nullptr; }
    // Why the device failed.
    QString errorString() const { return failure; }

protected:
    SummaryWriter(
        QIODevice *device, const QStringList &labelNames, const std::vector<Column> &model);
    virtual void begin() = 0;
    virtual void end() = 0;
    // Bytes at the start of a row that only a row after another has.
    virtual qsizetype separatorLength() const { return 0; }

    // Writes what the buffer holds; false once the device has failed.
    bool flush();
    // Writes rows to the device, unless it has already failed.
    virtual void writeRows(QByteArrayView rows);

    QByteArray buffer;
    QStringList labelNames;
    const std::vector<Column> &model; // the columns after the labels
    bool anyRow = false;
    bool failed = false;
    QString failure;

private:
    QIODevice *device;
};

} // namespace summary
