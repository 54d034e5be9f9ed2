// SPDX-License-Identifier: MIT
// The summary's row model: the columns that follow the labels, each with its
// name and a function that gives its typed value for one computed series.
// Every writer spells the same columns; a new column is one line in
// summaryrow.cpp.
#pragma once

#include "ols.h"
#include "series.h"
#include "trendcore.h"
#include "trendtests.h"

#include <QString>

#include <vector>

namespace summary {

// What one row is made of.
struct RowInput {
    const table::Series &series;
    const trend::TrendResult &result;
    const stats::OlsFit &ols;
    const stats::TrendTests &tests;
};

// Absent: a statistic that does not exist for the series (its note says
// why); an empty cell, null in JSON.
enum class CellType { Text, Integer, Real, Class, Absent };

struct CellValue {
    CellType type = CellType::Real;
    double real = 0;
    qint64 integer = 0;
    trend::TrendClass trendClass = trend::TrendClass::Stable;
    QString text;
};

struct Column {
    const char *name;
    const char *title; // in Russian, for a spreadsheet's header
    CellValue (*value)(const RowInput &row);
};

// The columns after the labels; with `unit`, a last one that says what the
// rates computed from counts are per.
const std::vector<Column> &summaryColumns(bool unit = false);

// Why a statistic is missing, as the summary's note says it; empty when
// it is not.
QString reasonText(stats::Reason reason);

} // namespace summary
