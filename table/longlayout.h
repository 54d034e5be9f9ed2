// SPDX-License-Identifier: MIT
// The long layout: label columns, a year column and a value column; one value
// a row, rows in any order. The series are assembled once every row is read,
// in the order in which each first appeared, so the whole table is held
// until then. With rates from counts, the value column is two: the cases'
// and the population's, named in the header, last and in either order.
#pragma once

#include "table/cells.h"
#include "table/series.h"
#include "table/tablereader.h"

#include <QString>
#include <QStringList>

#include <optional>

#include <QHash>

#include <vector>

namespace table {

// Collects a long table (labels..., year, value) and assembles the series
// once every row is read, in the order in which each first appeared. Holds
// the values of every series until then.
class LongLayout
{
public:
    explicit LongLayout(const Rates &rates = {})
        : rates(rates)
    { }
    bool setHeader(const Record &header, QString *error);
    QStringList labelNames() const { return names; }
    QString valueName() const { return value; }
    void add(const Record &record, char delimiter, const QString &file);
    // Each entry is a series or a skip.
    struct Result {
        std::optional<Series> series;
        Skip skip;
    };
    std::vector<Result> finish();
    // The first and last year of any row added; {0, -1} before one is.
    std::pair<qint32, qint32> yearSpan() const { return span; }

private:
    struct Point {
        qint32 year;
        qint64 line;
        bool empty;
        double value;
        double exact;
        QString typed;
        Counts counts;
    };
    struct Pending {
        QStringList labels;
        QString file;
        qint64 line;
        std::vector<Point> points;
        std::optional<Skip> skip;
    };
    Result assemble(Pending &p) const;

    Rates rates;
    qsizetype casesAt = 1, populationAt = 2; // after the year column
    QStringList names;
    QString value;
    std::vector<Pending> pending;
    std::pair<qint32, qint32> span {0, -1};
    QHash<QString, std::size_t> index;
};

} // namespace table
