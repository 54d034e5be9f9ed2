// SPDX-License-Identifier: MIT
// The summary's row model: the columns that follow the labels, each with its
// name and a function that gives its typed value for one computed series.
// Every writer spells the same columns; a new column is one line in
// summaryrow.cpp.
#pragma once

#include "analysis/seriesresult.h"

#include <QString>

#include <variant>
#include <vector>

namespace summary {

// What one row is made of: a series' result, and for the segments table
// one of its joinpoint fit's segments.
struct RowInput {
    const analysis::SeriesResult &result;
    std::size_t segment = 0;
};

// A statistic that does not exist for the series (its note says why): an
// empty cell, null in JSON.
struct Absent {
    bool operator==(const Absent &) const { return true; }
};

// One cell of a row, typed: the writers spell it, each in its own way (the
// class and the verdict by their keys in a CSV, the class in Russian in a
// workbook), and a window reads its value without parsing text back.
using CellValue
    = std::variant<double, qint64, QString, trend::TrendClass, stats::Verdict, bool, Absent>;

// A visitor of lambdas, one for each kind of a variant.
template<typename... Kinds> struct Overloaded : Kinds... {
    using Kinds::operator()...;
};
template<typename... Kinds> Overloaded(Kinds...) -> Overloaded<Kinds...>;

// Every column by an id of its own, so that code that picks a few does
// not depend on their names in the files.
enum class ColumnId {
    FirstYear,
    LastYear,
    N,
    Total,
    Mean,
    Slope,
    AbsoluteChange,
    AverageAbsoluteChange,
    ChangeRate,
    AverageAnnualChangeRate,
    TrendClass,
    TrendClassRu,
    ForecastYear,
    ForecastLevel,
    ReportYear,
    ReportValue,
    PrevValue,
    ChangePrevPct,
    Smu,
    SmuRatio,
    Expected,
    ExpectedLow,
    ExpectedHigh,
    PiReportLow,
    PiReportHigh,
    ReportCi95Low,
    ReportCi95High,
    QpExpected,
    QpLow,
    QpHigh,
    Verdict,
    VerdictRu,
    ReportNote,
    RegionRate,
    RatioToRegion,
    RatioFlag,
    Sir,
    SirCi95Low,
    SirCi95High,
    SirPValue,
    Funnel,
    FunnelRu,
    FunnelNote,
    Risk,
    TerritoryRank,
    OlsSlopePerYear,
    OlsSlopeSe,
    OlsCi95Low,
    OlsCi95High,
    OlsPValue,
    OlsR2,
    OlsForecast,
    OlsPi95Low,
    OlsPi95High,
    OlsDurbinWatson,
    TrendModel,
    Dispersion,
    Apc,
    ApcCi95Low,
    ApcCi95High,
    ApcPValue,
    ApcNote,
    MkS,
    MkZ,
    MkPValue,
    SenSlope,
    SenCi95Low,
    SenCi95High,
    JpCount,
    JpYears,
    Aapc,
    AapcCi95Low,
    AapcCi95High,
    AapcPValue,
    LastSegmentStart,
    LastApc,
    LastApcCi95Low,
    LastApcCi95High,
    LastApcPValue,
    JpNote,
    Unit,
    Segment,
    SegmentStartYear,
    SegmentEndYear,
    SegmentApc,
    SegmentApcCi95Low,
    SegmentApcCi95High,
    SegmentApcPValue,
    SegmentLogSlope,
};

struct Column {
    ColumnId id;
    const char *name;
    const char *title; // in Russian, for a spreadsheet's header
    CellValue (*value)(const RowInput &row);
};

// The columns after the labels; with `territory`, those that compare a
// territory with its region; with `joinpoints`, those of the joinpoint
// fit; with `unit`, a last one that says what the rates computed from
// counts are per.
const std::vector<Column> &summaryColumns(
    bool unit = false, bool joinpoints = false, bool territory = false);

// The segments table: a row per segment of a series' joinpoint fit.
const std::vector<Column> &segmentColumns();

// Why a statistic is missing, as the summary's note says it; empty when
// it is not.
QString reasonText(stats::Reason reason);
// The model as the summary names it: loglinear or quasipoisson.
QString modelKey(analysis::TrendModel model);

// What the joinpoint note says of a fit: why it does not exist, or that
// the series was too long to search for every joinpoint allowed.
QString joinpointNote(const stats::JoinpointFit &fit);

// What the reporting year's note says: why a part of it is missing.
QString reportNote(const stats::ReportYear &report);
// The verdict as the summary writes it: "above" ("" for none), and in
// Russian. Literals: every row of a national table has one, and copies of a
// literal share no counter among the threads that spell rows.
const char *verdictKey(stats::Verdict verdict);
QString verdictText(stats::Verdict verdict);

// The funnel class as the summary writes it: "above99.8", and in Russian.
const char *funnelKey(stats::Funnel funnel);
QString funnelText(stats::Funnel funnel);

// The joinpoints' years as the summary writes them: "2008;2013".
QString joinpointYears(const stats::JoinpointFit &fit);

} // namespace summary
