// From table records to series: the wide layout (one series per row, years
// in the header) and the long layout (one value per row, any order).
//
// A cell is read as the window reads a typed value; the decimal comma is
// accepted unless the comma is the table's delimiter. Empty cells before the
// first and after the last value are trimmed; anything else that keeps a
// series from being what the window would take skips it with a reason.
#pragma once

#include "table.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace batch {

struct Series {
    QStringList labels;
    QString file;
    qint64 line = 0; // where the series starts
    std::vector<qint32> years; // n + 1 entries; the last names the forecast
    std::vector<double> values;
    std::vector<QString> typed; // cells as written, for the report
};

struct Skip {
    QString file;
    qint64 line = 0;
    QString label;
    QString reason;
    // FILE:LINE: LABEL: reason
    QString message() const;
};

// Labels as one text: "Корь / Северный район"; "строка N" when empty.
QString displayLabel(const QStringList &labels, qint64 line);

// Reads one cell as a value. Returns a reason when it is not one.
std::optional<QString> readValue(QByteArrayView cell, char delimiter, double *value);

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

// Collects a long table (labels..., year, value) and assembles the series
// once every row is read, in the order in which each first appeared. Holds
// the values of every series until then.
class LongLayout
{
public:
    bool setHeader(const Record &header, QString *error);
    QStringList labelNames() const { return names; }
    void add(const Record &record, char delimiter, const QString &file);
    // Each entry is a series or a skip.
    struct Result {
        std::optional<Series> series;
        Skip skip;
    };
    std::vector<Result> finish();

private:
    struct Point {
        qint32 year;
        qint64 line;
        bool empty;
        double value;
        QString typed;
    };
    struct Pending {
        QStringList labels;
        QString file;
        qint64 line;
        std::vector<Point> points;
        std::optional<Skip> skip;
    };
    QStringList names;
    std::vector<Pending> pending;
    QHash<QString, std::size_t> index;
};

} // namespace batch
