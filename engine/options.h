// SPDX-License-Identifier: MIT
// What a batch run is asked to do: the table and how to read it, what is
// computed of each series, and what is written where. Checked in one
// place, validate(), which the engine calls and each front end may call
// before it starts a run.
#pragma once

#include "analysis/seriesresult.h"
#include "summary/chart.h"
#include "summary/summarywriter.h"
#include "table/cells.h"
#include "table/encoding.h"

#include <QString>

#include <optional>
#include <vector>

namespace engine {

struct Options {
    QString input; // a file name, or "-" for standard input
    QString output; // empty: standard output
    summary::SummaryFormat format = summary::SummaryFormat::Csv;
    bool longLayout = false;
    char delimiter = 0; // 0: detect
    table::Encoding encoding = table::Encoding::Detect;
    // The sheet of a workbook (.xlsx by its name, or any input when this
    // is set); empty: the first.
    QString sheet;
    table::Rates rates; // incidence from cases and population
    // Joinpoints, the reporting year: what is computed of every series.
    analysis::AnalysisOptions analysis;
    // The label column that names the territory: each group's territories
    // are then compared with their region, which is one more row. Empty:
    // none.
    QString territory;

    // The segments table's file, in the summary's format; empty: none. A
    // workbook summary has it as a sheet of its own.
    QString segments;
    // The annual report's chapter (.odt or .pdf); empty: none. With
    // `documentLines`, only the series that start on those lines, in that
    // order (a window's rows as shown); otherwise every series in the
    // table's order.
    QString document;
    std::vector<qint64> documentLines;
    QString documentTitle; // empty: the usual one

    QString reportsDir; // empty: no report files
    QString chartsDir; // empty: no charts (needs a QGuiApplication)
    summary::ChartFormat chartFormat = summary::ChartFormat::Svg;
    int jobs = 0; // threads that compute series; 0: one per core
    qsizetype batchBytes = 1 << 20; // how much of a wide table a thread takes at a time
};

// What keeps options from making a run; each front end names it in its own
// words, the command line by its options, a window by its controls.
enum class Invalid {
    XlsxWithoutFile,
    CasesWithoutPopulation,
    SameColumns,
    PerOutOfRange,
    SegmentsWithoutJoinpoints,
    SegmentsInWorkbook,
    DocumentFormat,
    BaselineOrder,
    BaselineAfterYear,
    PoissonWithoutCounts,
    QuasiPoissonWithoutCounts,
    CountModelWithoutCounts,
    PermutationWithCountModel,
};
std::optional<Invalid> invalid(const Options &options);

// Whether the options make a run; the reason, in Russian and in the command
// line's words, when they do not. Engine::run() checks them, and each front
// end before it starts one.
std::optional<QString> validate(const Options &options);

} // namespace engine
