// SPDX-License-Identifier: MIT
// How a typed incidence value becomes a stored number.
//
// Users type the decimal separator of their habit: "12.5" and "12,5" store
// the same 12.5 whatever the system locale. The value goes through single
// precision and is widened to double, as the method's earlier reports were
// computed; group separators are never guessed at.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace trend {

enum class EntryKind {
    Empty, // nothing typed
    Number, // a complete number that single precision holds
    Placeholder, // a lone sign and/or separator ("-", ".", "+,"): stored as 0
    Malformed, // made of number characters but not a number ("1,000.5", "12e")
    OutOfRange, // a number beyond single precision (overflow or underflow to 0)
    Foreign // holds a character that no number has
};

struct Entry {
    EntryKind kind = EntryKind::Empty;
    double value = 0; // meaningful for Number and Placeholder
    double exact = 0; // a Number read at double precision, as written
};

Entry parseEntry(QStringView text);
// The same for text held as bytes (a table cell); any byte outside ASCII
// makes it Foreign.
Entry parseEntry(QByteArrayView text);

// A spreadsheet's column or row as the clipboard holds it: the values
// between line breaks (LF or CRLF), tabs and semicolons, each trimmed, an
// empty one where a cell was empty. The line break after the last value,
// which spreadsheets add, ends it and is no cell.
QStringList pastedValues(const QString &text);

// Whether pasted text is a block of rows and columns, not one column or
// row: years beside values would read, cell by cell, as a believable series.
bool pastedTable(const QString &text);

// The pasted values as the numbers the value field would store, to follow
// `count` values of the series; or, with no numbers, why they cannot all be
// entered, as the window tells it ("значение 4 из 12: «н/д» — не число").
// Each must be a number that the value field takes: a gap, a text, a lone
// sign or separator ("-" is "no data" in a spreadsheet, not 0) and a number
// beyond single precision are not, and the series holds at most MaxValues.
struct PastedNumbers {
    std::vector<double> numbers;
    QString problem;
};
PastedNumbers pastedNumbers(const QStringList &values, int count);

} // namespace trend
