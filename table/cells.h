// SPDX-License-Identifier: MIT
// How the cells of a table are read: labels as text, years as the window's
// year box holds them, values as the window reads a typed value.
//
// The decimal comma is accepted unless the comma is the table's delimiter.
// A lone sign or separator is not a value in a table, as it is in the
// window: spreadsheets write "-" for "no data".
#pragma once

#include "table/tablereader.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

namespace table {

QString cellText(QByteArrayView bytes);
// A cell as a message quotes it (see echoed()).
QString echoCell(QByteArrayView bytes);
bool allDigits(QByteArrayView cell);

// The first `count` cells of a record, trimmed, as labels.
QStringList labelsOf(const Record &record, qsizetype count);

// A year the window's year box can show (1900-9999), written in digits.
std::optional<qint32> readYear(QByteArrayView cell);

// Reads one cell as a value: as the window reads a typed value (through
// single precision), and as written (`exact`, double precision). Returns a
// reason when it is not one.
std::optional<QString> readValue(
    QByteArrayView cell, char delimiter, double *value, double *exact = nullptr);

// Why a series of `n` values is not one the window computes, if it is not.
std::optional<QString> lengthReason(qint64 n);

// A name as --cases and --population match it to a header's: in any case,
// and with е for ё.
QString foldedName(const QString &name);

// Rates from counts: the incidence of a year is cases × per / population.
struct Rates {
    QString cases, population; // the two columns' names; empty: values as they are
    double per = 100000;
    bool on() const { return !cases.isEmpty(); }
};

// What a rate is "per", as the summary and a chart's axis say it:
// "на 100 тыс.", "на 1 млн", "на 1000".
QString rateUnit(double per);

// The rate of one year from its cells, the cases' one not empty. Returns a
// reason when there is none; `population` tells which cell is to blame.
// Counts are read as written, not through single precision: populations
// run past what it holds exactly; `counts` receives both.
struct Counts {
    double cases = 0, population = 0;
};
std::optional<QString> readRate(QByteArrayView cases, QByteArrayView populationCell, char delimiter,
    double per, double *value, bool *population, Counts *counts);

} // namespace table
