// SPDX-License-Identifier: MIT
// A worksheet of an Excel workbook (.xlsx) read as a delimited table.
//
// The sheet is streamed out of the zip container and given as UTF-8 text,
// one line a sheet row and tab-delimited, so that the table reader and
// both layouts read it as they read a CSV file: line N is row N, and field
// i is column i (A is 0). What a cell holds becomes its text:
// - a number as the workbook stores it ("12.5", "1E-3");
// - a shared, inline or formula string as written; a line break in it
//   reads as a space, so that lines stay rows;
// - a formula's cached value, as the workbook stores it;
// - a date as "ДД.ММ.ГГГГ", a boolean as ИСТИНА or ЛОЖЬ, an error as its
//   code ("#DIV/0!"): none of them is a value, so a series with one skips.
//
// A broken or hostile workbook is an error, with memory bounded whatever
// the file claims: a part that inflates more than a hundredfold, a row
// longer than the table reader takes, shared strings beyond
// MaxSharedStringBytes.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <memory>

namespace table {

class Workbook
{
public:
    ~Workbook();
    // Opens the workbook in a file, or held in memory; null with `error`
    // set when it is not one.
    static std::unique_ptr<Workbook> open(const QString &path, QString *error);
    static std::unique_ptr<Workbook> fromData(const QByteArray &data, QString *error);

    QStringList sheetNames() const;
    // The sheet named `name` (the first when empty) as a table; null with
    // `error` set. The device may outlive the workbook.
    std::unique_ptr<QIODevice> sheet(const QString &name, QString *error) const;

    static constexpr qint64 MaxSharedStringBytes = 256 * 1024 * 1024;

    struct Archive;

private:
    Workbook() = default;
    static std::unique_ptr<Workbook> start(std::shared_ptr<Archive> archive, QString *error);

    std::shared_ptr<Archive> archive;
    QStringList names;
    QStringList parts; // each sheet's part in the container
    QString sharedStringsPart;
    QString stylesPart;
    bool date1904 = false; // serial dates count from 1904, not 1900
};

// Whether a file name says it is a workbook.
bool isWorkbookName(const QString &name);

// How much of a sheet that Workbook::sheet() gave has been read, 0 to 1;
// -1 when that is not known.
double sheetFractionRead(const QIODevice &sheet);

} // namespace table
