// SPDX-License-Identifier: MIT
// A labelled series as a table yields it, and the reason when a row's series
// cannot be computed.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace table {

struct Series {
    QStringList labels;
    QString file;
    qint64 line = 0; // where the series starts
    std::vector<qint32> years; // n + 1 entries; the last names the forecast
    std::vector<double> values; // as the window reads them: through single precision
    std::vector<double> exact; // as written, for the statistics beside the practice method
    std::vector<QString> typed; // cells as written, for the report
    QString unit; // of rates computed from counts, or empty
    // With rates from counts, each year's case count and population, and
    // what the rates are per.
    std::vector<double> cases, population;
    double per = 100000;
};

// Where something went wrong, and why: a skipped series, a table that
// cannot be read on, a file that cannot be written.
struct Problem {
    QString file; // empty: nothing to name
    qint64 line = 0; // 0: the file as a whole
    QString label; // the series', or empty
    QString reason;
    qsizetype column = -1; // the cell to blame, when one is
    QString sheet; // a workbook's sheet, or empty
    // FILE:LINE: LABEL: reason, or FILE:SHEET!CELL: LABEL: reason; the
    // parts that are empty left out.
    QString message() const;
    // About a file as a whole ("FILE: reason"), or the run (no file).
    static Problem about(const QString &file, const QString &reason)
    {
        return {file, 0, {}, reason, -1, {}};
    }
};
using Skip = Problem;

// Where in a table something is: "FILE:LINE" for a text table,
// "FILE:SHEET!CELL" for a workbook's sheet, whose rows are lines and whose
// cell is the row's first when no column is to blame.
QString place(const QString &file, const QString &sheet, qint64 line, qsizetype column = -1);

// Labels as one text: "Корь / Северный район"; "строка N" when empty.
QString displayLabel(const QStringList &labels, qint64 line);

// A text as a one-line message quotes it: line breaks and tabs become
// spaces, and what is longer than EchoLength characters is cut with "…".
QString echoed(const QString &text);
constexpr qsizetype EchoLength = 80;

} // namespace table
