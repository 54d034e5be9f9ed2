// SPDX-License-Identifier: MIT
// Opens what the user names as a table: a file, or standard input ("-").
// A workbook is known by its name (.xlsx, .xlsm), by a sheet asked for, or
// by the zip container's first bytes, and its sheet is read as a
// tab-delimited table. Excel 97-2003's binary workbook is refused with a
// reason. A text table is read as UTF-8, or as CP1251 when it is not valid
// UTF-8 or when asked to.
#pragma once

#include "table/encoding.h"
#include "table/series.h"

#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace table {

class Record;

struct InputOptions {
    QString path; // a file name, or "-" for standard input
    QString sheet; // a workbook's sheet; empty: the first
    Encoding encoding = Encoding::Detect;
};

struct Input {
    std::unique_ptr<QIODevice> device; // UTF-8 text
    QString fileName; // as messages name the table
    QString sheet; // the workbook's sheet read, or empty for a text table
    // Not valid UTF-8, so read as CP1251 without being asked: worth a word.
    bool detectedCp1251 = false;
    // How much of the table has been read, 0 to 1; -1 when that is not
    // known (standard input).
    std::function<double()> fractionRead = [] { return -1.0; };
};

// The table, or why it cannot be read.
std::optional<Input> openInput(const InputOptions &options, Problem *why);

// What a table's first row offers to choose from before it is read: the
// names in its cells, and the names of blocks of years ("случаи 2015",
// "случаи 2016", ... give "случаи").
struct Header {
    QStringList cells;
    QStringList blocks;
};
std::optional<Header> readHeader(const InputOptions &options, char delimiter, Problem *why);
// The same of a first row already read.
Header headerOf(const Record &record);

// Which names a header offers for rates from counts (a wide table's blocks,
// a long table's columns) are the cases' and the population's: the first
// with «случа» and with «насел» in it, in any case, or else the first two;
// -1 when none is offered. A wide table is one of counts when it has two
// blocks or more and no year of its own: read as it is, it would only fail.
struct CountNames {
    int cases = -1, population = -1;
    bool countTable = false;
};
CountNames countNames(const Header &header, bool longLayout);

// A workbook's sheets; empty for a text table or a file that is none.
QStringList sheetNames(const QString &path);

} // namespace table
